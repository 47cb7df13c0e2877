#pragma once
// The safety-code preview of the join and edit sheets: after a pause of 0.35 s without an edit, the key
// of the typed name and passphrase is derived once on a worker thread and its code shown. A derivation
// whose fields moved on is skipped (shared edit counter) or its result dropped (the fields compared again
// on the main thread, which alone decides). A preview deleted mid-derivation never hears the result.
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class SafetyPreview : public QObject {
    Q_OBJECT
public:
    // Runs on a worker thread: must touch no shared state. None when no code can be made.
    using Derive = std::function<std::optional<QString>(const QString& name, const QString& passphrase)>;
    // How the passphrase goes into the key: as typed (joining) or trimmed (re-keying a channel).
    enum class Passphrase { asTyped, trimmed };

    explicit SafetyPreview(Passphrase use, QObject* parent = nullptr);
    ~SafetyPreview() override;

    static Derive standardDerive(); // Channel::fromPassphrase(...)->safetyCode()
    void setDerive(Derive derive);  // tests make it slow
    static constexpr int pauseMs = 350;

    // Every edit: the fields as they now stand and whether they can make a key. Clears the code at once;
    // when derivable, (re)starts the pause.
    void edited(const QString& name, const QString& passphrase, bool derivable);
    const std::optional<QString>& code() const { return code_; }
    bool pending() const { return timer_.isActive() || running_ > 0; }

signals:
    void codeChanged();

private:
    void start();
    Passphrase use_;
    Derive derive_;
    QTimer timer_;
    QString name_, pass_;
    bool derivable_ = false;
    std::optional<QString> code_;
    std::shared_ptr<std::atomic<quint64>> edits_ = std::make_shared<std::atomic<quint64>>(0);
    int running_ = 0;
};
