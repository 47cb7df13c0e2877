#pragma once
// The desktop ending its session, a service manager or `kill` asks a program to end with SIGTERM (a
// terminal with SIGINT or SIGHUP). Those signals become a request to quit, delivered on the event loop,
// so the program shuts down as its own Quit does. A second one while that shutdown runs ends the
// process at once, as if nothing handled it.
#include <QObject>

class QSocketNotifier;

class QuitSignals : public QObject {
    Q_OBJECT
public:
    // Takes the signals over as early as possible; what arrives before a QuitSignals exists waits for it.
    // False when they could not be taken over (they then end the program as before).
    static bool catchEarly();
    // One per process, made once the application object exists.
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;
    static const char* signalName(int signal);

signals:
    void quitRequested(int signal);

private:
    void readPending();
    QSocketNotifier* notifier_ = nullptr;
};
