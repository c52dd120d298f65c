#include "Geturl.h"

#include "UpdateReply.h"
#include "app/AppVersion.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <algorithm>

namespace update {

namespace {

constexpr int kMaxRedirects = 10;

// Only a request that goes straight to its host resolves the name first; through
// a proxy the proxy does.
bool resolvesFirst(const QUrl& url)
{
    return QHostAddress(url.host()).isNull() && !QNetworkProxyFactory::usesSystemConfiguration() &&
           QNetworkProxy::applicationProxy().type() == QNetworkProxy::NoProxy;
}

} // namespace

HttpResult httpRequest(const QUrl& url, const QByteArray& method, int timeoutMs, qint64 maxBody)
{
    HttpResult result;
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        result.error = QStringLiteral("不是 http 或 https 地址：") + url.toString();
        return result;
    }
    const qint64 t = std::max(1, timeoutMs);
    QElapsedTimer clock;
    clock.start();
    // What is left of a phase's budget within the whole request's.
    const auto budget = [&](qint64 phase) {
        return static_cast<int>(std::clamp<qint64>(std::min(phase, 6 * t - clock.elapsed()), 0, 6 * t));
    };

    // Made first: it switches on the host cache that the lookup below fills for the connection.
    QNetworkAccessManager manager;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);

    bool resolved = false;
    if (resolvesFirst(url)) {
        QHostInfo found;
        bool answered = false;
        {
            // The lookup's answer goes to this context; destroying it drops an answer that comes too late.
            QObject context;
            QHostInfo::lookupHost(url.host(), &context, [&](const QHostInfo& info) {
                found = info;
                answered = true;
                loop.quit();
            });
            if (!answered) {
                deadline.start(budget(t));
                loop.exec(QEventLoop::ExcludeUserInputEvents);
            }
        }
        if (!answered) {
            result.error = QStringLiteral("解析主机名超时：") + url.host();
            return result;
        }
        if (found.error() != QHostInfo::NoError || found.addresses().isEmpty()) {
            result.error = QStringLiteral("无法解析主机名：") + url.host();
            return result;
        }
        resolved = true; // the connection finds it in the host cache
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    // A redirect loop ends here, well within the time-outs.
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    // HTTP/1.1 only: its request-sent signal is what starts the receiving time-out.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray("yanhe/") + AppVersion::text().toLatin1());
    QNetworkReply* reply = manager.sendCustomRequest(request, method);

    bool timedOut = false;
    bool tooLarge = false;
    const auto drain = [&] {
        const QByteArray chunk = reply->readAll();
        if (result.body.size() + chunk.size() > maxBody) {
            tooLarge = true;
            reply->abort();
            return;
        }
        result.body += chunk;
    };
    QObject::connect(&deadline, &QTimer::timeout, reply, [&] {
        timedOut = true;
        reply->abort();
    });
    // Connection and sending, then receiving: each phase restarts the clock of its own time-out.
    QObject::connect(reply, &QNetworkReply::requestSent, reply, [&] { deadline.start(budget(3 * t)); });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        deadline.start(budget(3 * t));
        drain();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(budget(resolved ? 2 * t : 3 * t));
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    deadline.stop();
    if (!reply->isFinished()) {
        timedOut = true;
        reply->abort();
    }
    if (!tooLarge && !timedOut)
        drain();

    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.contentType = reply->rawHeader("Content-Type");
    if (timedOut)
        result.error = QStringLiteral("请求超时：") + url.toString();
    else if (tooLarge)
        result.error = QStringLiteral("回复过大：") + url.toString();
    else if (reply->error() != QNetworkReply::NoError) {
        result.error = networkErrorText(reply->error());
        result.detail = reply->errorString();
    }
    reply->disconnect();
    delete reply;
    return result;
}

QString networkErrorText(int networkError)
{
    switch (QNetworkReply::NetworkError(networkError)) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("连接被拒绝");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("服务器提前关闭了连接");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("找不到服务器");
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyTimeoutError:
        return QStringLiteral("连接超时");
    case QNetworkReply::OperationCanceledError:
        return QStringLiteral("连接被中止");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("安全连接失败");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        return QStringLiteral("网络不通");
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
    case QNetworkReply::UnknownProxyError:
        return QStringLiteral("代理服务器出错");
    case QNetworkReply::ContentAccessDenied:
    case QNetworkReply::AuthenticationRequiredError:
        return QStringLiteral("服务器拒绝访问");
    case QNetworkReply::ContentNotFoundError:
        return QStringLiteral("服务器上没有这个文件");
    case QNetworkReply::InternalServerError:
    case QNetworkReply::ServiceUnavailableError:
    case QNetworkReply::UnknownServerError:
        return QStringLiteral("服务器出错");
    case QNetworkReply::ProtocolUnknownError:
        return QStringLiteral("不支持的地址类型");
    default:
        return QStringLiteral("网络错误（代码 %1）").arg(networkError);
    }
}

QVariant Geturl(const QString& address, const QString& method, int kind, int timeoutMs)
{
    const HttpResult result = httpRequest(QUrl(address), method.toLatin1(), timeoutMs);
    if (!result.ok())
        return {};
    if (kind == 0)
        return decodeReply(result.body, result.contentType);
    return result.body;
}

} // namespace update
