#include "BoundedReply.h"

#include <QNetworkReply>
#include <QTimer>

namespace {

const QString guardName = QStringLiteral("boundedReplyGuard");

// Lives as the reply's child: what came so far, and why the reply was ended.
class Guard : public QObject {
public:
    Guard(QNetworkReply* reply, qint64 maxBytes) : QObject(reply), reply_(reply), maxBytes_(maxBytes) {
        setObjectName(guardName);
    }

    void take() {
        // Read as it comes, so the count is exact whatever Qt buffers; the limit plus one read at most.
        while (refusal.isEmpty() && reply_->bytesAvailable() > 0) {
            body += reply_->read(std::min<qint64>(reply_->bytesAvailable(), maxBytes_ + 1 - body.size()));
            if (body.size() > maxBytes_) tooLarge();
        }
    }
    void checkDeclared() {
        const QVariant declared = reply_->header(QNetworkRequest::ContentLengthHeader);
        if (declared.isValid() && declared.toLongLong() > maxBytes_) tooLarge();
    }
    void tooLarge() { refuse(QStringLiteral("the answer is larger than %1 KiB").arg(maxBytes_ / 1024)); }

    void refuse(const QString& why) {
        // Also once the reply has finished: the rest of a body that came whole is still refused.
        if (!refusal.isEmpty()) return;
        refusal = why;
        body.clear();
        if (reply_->isFinished()) return;
        // Aborting finishes the reply at once: not from inside the signal that brought the news.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!reply_->isFinished()) reply_->abort();
            },
            Qt::QueuedConnection);
    }

    QByteArray body;
    QString refusal;

private:
    QNetworkReply* reply_;
    qint64 maxBytes_;
};

int defaultPort(const QString& scheme) {
    return scheme == QLatin1String("https") ? 443 : scheme == QLatin1String("http") ? 80 : -1;
}

// The same server: scheme, host and port (another port is another server, and https to http drops the
// encryption).
bool sameOrigin(const QUrl& a, const QUrl& b) {
    const QString scheme = a.scheme().toLower();
    return defaultPort(scheme) > 0 && scheme == b.scheme().toLower() &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
           a.port(defaultPort(scheme)) == b.port(defaultPort(scheme));
}

} // namespace

namespace BoundedReply {

void prepare(QNetworkRequest& request) {
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
}

void guard(QNetworkReply* reply, qint64 maxBytes, int deadlineMs) {
    auto* g = new Guard(reply, maxBytes);
    // Qt reads no further ahead than this while the guard has not taken what came.
    reply->setReadBufferSize(64 * 1024);
    QObject::connect(reply, &QNetworkReply::metaDataChanged, g, &Guard::checkDeclared);
    QObject::connect(reply, &QIODevice::readyRead, g, &Guard::take);

    const QUrl origin = reply->url();
    QObject::connect(reply, &QNetworkReply::redirected, g, [reply, g, origin](const QUrl& to) {
        if (sameOrigin(origin, to))
            emit reply->redirectAllowed();
        else
            g->refuse(QStringLiteral("redirected away from %1").arg(origin.adjusted(QUrl::RemovePath |
                                                                                     QUrl::RemoveQuery |
                                                                                     QUrl::RemoveFragment |
                                                                                     QUrl::RemoveUserInfo)
                                                                        .toString()));
    });

    auto* deadline = new QTimer(g);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, g, [reply, g, deadlineMs] {
        if (reply->isFinished()) return; // whole in time
        g->refuse(QStringLiteral("no whole answer within %1 s").arg(deadlineMs / 1000.0));
    });
    deadline->start(deadlineMs);
}

Result result(QNetworkReply* reply) {
    auto* g = static_cast<Guard*>(reply->findChild<QObject*>(guardName, Qt::FindDirectChildrenOnly));
    if (!g) return {{}, QStringLiteral("not guarded")}; // never read a reply without its bounds
    g->take();
    return {std::exchange(g->body, {}), g->refusal};
}

} // namespace BoundedReply
