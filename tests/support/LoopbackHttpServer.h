#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QSemaphore>
#include <QThread>

class QTcpSocket;

// An HTTP/1.1 server on 127.0.0.1, on its own thread so that the code under test may block its caller
// (or run in another process) while it answers. Each path answers with its responses in turn, the last
// one for every later request, and answers Range requests unless told not to.
class LoopbackHttpServer final : public QThread
{
    Q_OBJECT
public:
    struct Response
    {
        enum class Kind {
            Whole,      // the whole response, then the connection closes
            Silent,     // reads the request and never answers
            CutAfter,   // the headers and `bytes` of the body, then the connection closes
            StallAfter, // the headers and `bytes` of the body, then nothing more
            Drip,       // the headers, then one byte of the body every `bytes` milliseconds
            Endless,    // the headers without a length, the body, then zero bytes for ever
        };
        int status = 200;
        QByteArray contentType = "text/plain; charset=utf-8";
        QByteArray body;
        Kind kind = Kind::Whole;
        qint64 bytes = 0;
        bool ranges = true;
        QByteArray etag = "\"v1\"";
        QByteArray location; // a Location header (with a 3xx status: a redirect), a path on this server
    };
    struct Request
    {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
    };

    LoopbackHttpServer();
    ~LoopbackHttpServer() override;

    // Also forgets the requests recorded for the path.
    void serve(const QByteArray& path, QList<Response> responses);
    QString url(const QByteArray& path) const;
    QList<Request> requestsFor(const QByteArray& path) const;

    static Response text(const QByteArray& body, const QByteArray& contentType = "text/plain; charset=utf-8");

protected:
    void run() override;

private:
    void answer(QTcpSocket* socket, const QByteArray& head);

    mutable QMutex m_mutex;
    QHash<QByteArray, QList<Response>> m_routes;
    QHash<QByteArray, int> m_served;
    QList<Request> m_requests;
    QSemaphore m_listening;
    quint16 m_port = 0;
};
