#pragma once
// Opening the program at login: the seam between the open-at-login switch and the desktop. The real
// service writes an XDG autostart entry; tests put a fake behind the same interface.
#include <QString>

class TRLoginItemService {
public:
    // The registration as the desktop sees it; the numbers are part of the interface.
    enum class Status { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

    virtual ~TRLoginItemService() = default;
    virtual Status status() const = 0;
    // Both throw std::runtime_error on failure; its text is the description shown to the user.
    virtual void registerItem() = 0;
    virtual void unregisterItem() = 0;
};

// The program's own entry in the autostart folder ($XDG_CONFIG_HOME/autostart/qmrl-tessrook.desktop).
// Its command line carries the marker that tells a launch at login from one by hand.
class TRMainAppLoginService : public TRLoginItemService {
public:
    // `program` empty = the running program; `folder` empty = autostartFolder().
    explicit TRMainAppLoginService(const QString& program = {}, const QString& folder = {});

    Status status() const override;
    void registerItem() override;
    void unregisterItem() override; // a missing entry is no error

    QString program() const { return program_; }
    QString folder() const { return folder_; }
    QString entryPath() const;
    // The entry's text for this program (what registerItem() writes).
    QString entryText() const;

    static QString autostartFolder();       // where desktops look for startup programs
    static QString ensureAutostartFolder(); // the same, made when missing
    static QString entryFileName() { return QStringLiteral("qmrl-tessrook.desktop"); }
    // Passed only by the autostart entry's command line.
    static QString loginMarker() { return QStringLiteral("--opened-at-login"); }

    // Desktop Entry quoting of one Exec argument, and the string escaping readers undo first.
    static QString quoteExecArgument(const QString& argument);
    static QString escapeString(const QString& value);

private:
    QString program_;
    QString folder_;
};
