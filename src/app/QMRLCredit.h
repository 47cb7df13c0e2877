#pragma once
// The maker's credit: the web site (a bare origin; the music station appends its own path) and the
// About window with the program's icon, name, version and a short credit line linking to the site.
#include <QString>
#include <QUrl>

class QWidget;

namespace QMRLCredit {

QUrl website();
// The credits under the version: the credit line, a line break, then the site's domain as a link.
QString creditsHtml();
// Shows the About window (one at a time), centred and brought to the front; returns it.
QWidget* showAbout();

} // namespace QMRLCredit
