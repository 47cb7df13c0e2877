#pragma once
// The covered SOS button as assistive technology sees it: two elements, the safety cover (a button
// whose press lifts it) and the round SOS button, beside the real "Cancel SOS" and "Close cover" keys.
class QAccessibleInterface;
class QObject;
class QString;

QAccessibleInterface* sosAccessibleFactory(const QString& className, QObject* object);
