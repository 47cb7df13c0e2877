#pragma once
// The request to open the connection self-test, posted by menus and the settings sheet; the main window
// is its one receiver. It carries no object.
#include <QObject>
#include <QString>
#include <functional>

namespace SelfTest {

// "qmrl.trk.openSelfTest"
const QString& openSelfTestName();

// Calls `receive` for every open-self-test request posted while `context` lives.
QMetaObject::Connection onOpenSelfTest(QObject* context, std::function<void()> receive);

} // namespace SelfTest

// Asks for the self-test window.
void openSelfTest();
