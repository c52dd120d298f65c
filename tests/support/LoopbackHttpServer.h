#pragma once

#include <QHash>
#include <QMutex>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>

// An HTTP/1.1 server on 127.0.0.1, on its own thread so that the code under test may block its caller
// (or run in another process) while it answers. Each path answers with its responses in turn, the last
// one for every later request, and answers Range requests unless told not to.
class LoopbackHttpServer final : public QThread
{
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
        QByteArray body = {};
        Kind kind = Kind::Whole;
        qint64 bytes = 0;
        bool ranges = true;
        QByteArray etag = "\"v1\"";
        QByteArray location = {}; // a Location header (with a 3xx status: a redirect), a path on this server
    };
    struct Request
    {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
    };

    LoopbackHttpServer()
    {
        start();
        m_listening.acquire();
    }
    ~LoopbackHttpServer() override
    {
        quit();
        wait();
    }

    // Also forgets the requests recorded for the path.
    void serve(const QByteArray& path, QList<Response> responses)
    {
        QMutexLocker lock(&m_mutex);
        m_routes.insert(path, std::move(responses));
        m_served.remove(path);
        m_requests.removeIf([&](const Request& request) { return request.path == path; });
    }
    QString url(const QByteArray& path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(QString::fromUtf8(path));
    }
    QList<Request> requestsFor(const QByteArray& path) const
    {
        QMutexLocker lock(&m_mutex);
        QList<Request> matching = m_requests;
        matching.removeIf([&](const Request& request) { return request.path != path; });
        return matching;
    }

    // An address on this machine where nothing listens: a connection to it is refused.
    static QString refusedUrl(const QByteArray& path = "/")
    {
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        return QStringLiteral("http://127.0.0.1:%1%2").arg(closed.serverPort()).arg(QString::fromUtf8(path));
    }
    // A path that redirects to itself was asked more than once, and given up after at most 10 redirects
    // (Qt may send a request again on a new connection when the server closed the one before).
    void checkRedirectLoop(const QByteArray& path) const
    {
        const qsizetype loops = requestsFor(path).size();
        QVERIFY2(loops > 1 && loops <= 22, qPrintable(QString::number(loops)));
    }

private:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        m_port = server.serverPort();
        connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket,
                        [this, socket, head = QByteArray()]() mutable {
                            if (head.endsWith("\r\n\r\n"))
                                return; // answered already; ignore anything more
                            head.append(socket->readAll());
                            if (head.contains("\r\n\r\n")) {
                                head.truncate(head.indexOf("\r\n\r\n") + 4);
                                answer(socket, head);
                            }
                        });
            }
        });
        m_listening.release();
        exec();
    }

    void answer(QTcpSocket* socket, const QByteArray& head)
    {
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        Request request{first.value(0), first.value(1), {}};
        for (const QByteArray& line : lines.mid(1)) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }

        Response response{.status = 404, .body = "not found"};
        {
            QMutexLocker lock(&m_mutex);
            m_requests << request;
            const QList<Response> responses = m_routes.value(request.path);
            if (!responses.isEmpty())
                response = responses.at(std::min<qsizetype>(m_served[request.path]++, responses.size() - 1));
        }
        if (response.kind == Response::Kind::Silent)
            return;

        int status = response.status;
        QByteArray body = response.body;
        QByteArray extra;
        const QByteArray range = request.headers.value("range");
        const QByteArray ifRange = request.headers.value("if-range");
        if (status == 200 && response.ranges && range.startsWith("bytes=") && range.endsWith('-') &&
            (ifRange.isEmpty() || ifRange == response.etag)) {
            const qint64 from = range.mid(6).chopped(1).toLongLong();
            status = from >= body.size() ? 416 : 206;
            extra =
                "Content-Range: bytes " +
                (status == 416 ? "*" : QByteArray::number(from) + '-' + QByteArray::number(body.size() - 1)) +
                '/' + QByteArray::number(body.size()) + "\r\n";
            body = body.mid(from);
        }
        // The reason phrase is free text: no client reads it.
        QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + " Status\r\n";
        if (!response.contentType.isEmpty())
            out += "Content-Type: " + response.contentType + "\r\n";
        if (response.kind != Response::Kind::Endless)
            out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        if (!response.etag.isEmpty())
            out += "ETag: " + response.etag + "\r\n";
        if (response.ranges)
            out += "Accept-Ranges: bytes\r\n";
        if (!response.location.isEmpty())
            out += "Location: " + url(response.location).toUtf8() + "\r\n";
        out += extra + "Connection: close\r\n\r\n";
        switch (response.kind) {
        case Response::Kind::Drip: {
            socket->write(out);
            auto* drip = new QTimer(socket);
            connect(drip, &QTimer::timeout, socket, [socket, body, sent = qsizetype(0)]() mutable {
                if (sent < body.size())
                    socket->write(body.mid(sent++, 1));
            });
            drip->start(static_cast<int>(response.bytes));
            return;
        }
        case Response::Kind::Endless:
            socket->write(out + body);
            // More whenever the client has taken most of what was sent, until it goes.
            connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
                if (socket->bytesToWrite() < 256 * 1024)
                    socket->write(QByteArray(256 * 1024, '\0'));
            });
            return;
        case Response::Kind::Whole:
            socket->write(out + body);
            break;
        default:
            socket->write(out + body.left(response.bytes));
        }
        if (response.kind != Response::Kind::StallAfter)
            socket->disconnectFromHost();
    }

    mutable QMutex m_mutex;
    QHash<QByteArray, QList<Response>> m_routes;
    QHash<QByteArray, int> m_served;
    QList<Request> m_requests;
    QSemaphore m_listening;
    quint16 m_port = 0;
};
