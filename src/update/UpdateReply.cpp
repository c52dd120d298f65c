#include "UpdateReply.h"

#include <QList>
#include <QStringDecoder>

#ifdef Q_OS_WIN
#include <climits>
#include <string>
#include <windows.h>
#endif

namespace update {

namespace {

// The charset parameter of a Content-Type value, unquoted; empty when there is none.
QByteArray charsetOf(const QByteArray& contentType)
{
    const QList<QByteArray> parameters = contentType.split(';');
    for (qsizetype i = 1; i < parameters.size(); ++i) {
        const QByteArray parameter = parameters.at(i).trimmed();
        const qsizetype equals = parameter.indexOf('=');
        if (equals < 0 || parameter.left(equals).trimmed().toLower() != "charset")
            continue;
        QByteArray value = parameter.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value.trimmed();
    }
    return {};
}

#ifdef Q_OS_WIN
// Qt for Windows is built without ICU: it decodes only the Unicode forms and
// Latin-1 by name. Chinese pages come from Windows' own code pages.
std::optional<QString> decodeByCodePage(const QByteArray& body, const QByteArray& charset)
{
    const QByteArray name = charset.toLower();
    UINT page = 0;
    if (name == "gbk" || name == "gb2312" || name == "cp936" || name == "x-gbk")
        page = 936;
    else if (name == "gb18030")
        page = 54936;
    else if (name == "big5")
        page = 950;
    if (page == 0 || body.size() > INT_MAX)
        return std::nullopt;
    const int length = MultiByteToWideChar(page, 0, body.constData(), int(body.size()), nullptr, 0);
    if (length <= 0)
        return body.isEmpty() ? std::optional<QString>(QString()) : std::nullopt;
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(page, 0, body.constData(), int(body.size()), wide.data(), length);
    return QString::fromStdWString(wide);
}
#endif

} // namespace

QString decodeReply(const QByteArray& body, const QByteArray& contentType)
{
    const QByteArray charset = charsetOf(contentType);
    if (!charset.isEmpty() && charset.size() < 64) {
        QStringDecoder named(charset.constData());
        if (named.isValid())
            return named.decode(body);
#ifdef Q_OS_WIN
        if (const std::optional<QString> decoded = decodeByCodePage(body, charset))
            return *decoded;
#endif
    }
    // Without a charset a byte-order mark still says what the bytes are.
    QStringConverter::Encoding encoding = QStringConverter::Utf8;
    if (body.startsWith("\xFF\xFE"))
        encoding = QStringConverter::Utf16LE;
    else if (body.startsWith("\xFE\xFF"))
        encoding = QStringConverter::Utf16BE;
    QStringDecoder decoder(encoding);
    return decoder.decode(body);
}

std::optional<QString> latestVersion(const QString& reply)
{
    const qsizetype marker = reply.indexOf(kVersionMarker, 0, Qt::CaseSensitive);
    if (marker < 0)
        return std::nullopt;
    return reply.mid(marker + kVersionMarker.size(), 5);
}

std::optional<QString> markedField(const QString& reply, const QString& start, const QString& end)
{
    if (start.isEmpty() || end.isEmpty())
        return std::nullopt;
    const qsizetype last = reply.indexOf(end, 0, Qt::CaseSensitive);
    if (last < start.size())
        return std::nullopt;
    // The last start marker wholly before the end marker.
    const qsizetype first = QStringView(reply).left(last).lastIndexOf(start, -1, Qt::CaseSensitive);
    if (first < 0)
        return std::nullopt;
    const qsizetype from = first + start.size() - 1;
    return reply.mid(from, last - from);
}

ReplyFields parseReply(const QString& reply)
{
    return {
        latestVersion(reply),
        markedField(reply, kAddressAStart, kAddressAEnd),
        markedField(reply, kAddressBStart, kAddressBEnd),
        markedField(reply, kContactStart, kContactEnd),
    };
}

} // namespace update
