#pragma once
// What assistive technology sees of a zoom host. Its content sits in a graphics scene, where Qt would show
// it as a window of its own beside the real one, at its unscaled place and size. Here the host is an
// unannounced, never focused container inside its window that holds the content, and every element of
// the content reports the place and size it is drawn at, scrolled and zoomed. Pickers (combo boxes), here
// or in any window, keep the name they were given rather than their current entry's.

class QMZoomHost;

namespace ZoomAccessible {

// Called by each host once its content is in place. Puts this face ahead of any other interface
// factory, so the content's own interfaces (painted lamps, rows, buttons) are wrapped too.
void attach(QMZoomHost* host);

} // namespace ZoomAccessible
