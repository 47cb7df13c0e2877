#pragma once
// Catches the addresses the program hands to the desktop for one scheme, while it lives, so tests see
// what would have opened without opening anything.
#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    explicit UrlCatcher(const QString& scheme) : scheme_(scheme) {
        QDesktopServices::setUrlHandler(scheme_, this, "open");
    }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(scheme_); }
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }

private:
    QString scheme_;
};
