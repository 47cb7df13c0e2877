#pragma once
// The open-self-test request: the Help menu and the Setup sheet post it; the main window is the one
// receiver, which closes Setup and opens the connection self-test. With the window closed nobody hears it.
#include <QMetaObject>
#include <QObject>
#include <QString>

#include <functional>

namespace SelfTest {

const QString& openSelfTestName(); // "qmrl.trk.openSelfTest"

// Calls `receive` for every open-self-test request posted while `context` lives.
QMetaObject::Connection onOpenSelfTest(QObject* context, std::function<void()> receive);

} // namespace SelfTest

// Asks for the connection self-test (no object).
void openSelfTest();
