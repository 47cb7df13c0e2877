#pragma once
// Device-owner authentication for the privacy lock. The system one asks PAM on a worker thread.
#include <QString>
#include <functional>
#include <memory>

class Authenticator {
public:
    enum class Result { success, failed, cannotEvaluate };
    virtual ~Authenticator() = default;
    // Calls `done` exactly once, on the thread that called authenticate (through its event loop).
    virtual void authenticate(const QString& reason, std::function<void(Result)> done) = 0;
};

std::shared_ptr<Authenticator> makeSystemAuthenticator();
