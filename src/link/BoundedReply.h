#pragma once
// Bounds one web request against a careless or hostile server. Qt's own transfer time-out fires only
// while nothing arrives and readAll() takes a body of any size, so the guard takes the body as it
// arrives and ends the request past its limit, gives the whole transfer a deadline, and follows a
// redirect only to the same server (scheme, host and port).
#include <QByteArray>
#include <QNetworkRequest>
#include <QString>

class QNetworkReply;

namespace BoundedReply {
// Lets the guard judge each redirect; call on the request before it is sent.
void prepare(QNetworkRequest& request);
// Watches `reply` (sent with a prepared request) until it finishes: past `maxBytes` of body, after
// `deadlineMs` in all, or at a redirect elsewhere, the reply is aborted and its refusal set. The body
// is read by the guard: take it with result(), not from the reply.
void guard(QNetworkReply* reply, qint64 maxBytes, int deadlineMs);

struct Result {
    QByteArray body;
    QString refusal; // why the guard ended the reply, for the log; empty when it did not
};
// Once the reply has finished.
Result result(QNetworkReply* reply);
} // namespace BoundedReply
