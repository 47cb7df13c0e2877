#pragma once
// The covered SOS button as assistive technology sees it: two elements, the safety cover (a button
// whose press lifts it) and the round SOS button, beside the real "Cancel SOS" and "Close cover" keys.
class GuardedSOSButton;
class QAccessibleInterface;
class QObject;
class QString;

QAccessibleInterface* sosAccessibleFactory(const QString& className, QObject* object);

// Tells assistive technology which part has the keyboard: the cover while it is closed, the button
// once it is lifted (the widget itself is only their group).
void sosAccessibleFocus(GuardedSOSButton* button);
