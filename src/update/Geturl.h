#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVariant>

// One HTTP request, waited for on the calling thread (a nested event loop that
// leaves user input queued) and bounded by time-outs derived from one value t:
// name resolution t, connection t, sending t, receiving 3t without data, and the
// whole request at most their sum (6t), so a server that never answers costs
// at most that.
namespace update {

struct HttpResult
{
    int status = 0; // 0 when no reply came
    QByteArray body;
    QByteArray contentType;
    QString error;  // why there is no complete reply, in Chinese; empty when there is one
    QString detail; // the network library's own text for it, for a log

    bool ok() const { return status == 200 && error.isEmpty(); }
};

// What a failed request's QNetworkReply::NetworkError means, in the words a user reads.
QString networkErrorText(int networkError);

// A body larger than maxBody is not read: the result is an error.
HttpResult httpRequest(const QUrl& url, const QByteArray& method, int timeoutMs, qint64 maxBody = 1 << 20);

// The reply of a complete request with status 200, by kind: 0 its text (decoded
// by its charset, see decodeReply), any other kind its body's bytes. Null
// otherwise.
QVariant Geturl(const QString& address, const QString& method, int kind, int timeoutMs);

} // namespace update
