#include "UpdateReply.h"

#include <QList>
#include <QStringDecoder>

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

} // namespace

QString decodeReply(const QByteArray& body, const QByteArray& contentType)
{
    const QByteArray charset = charsetOf(contentType);
    if (!charset.isEmpty() && charset.size() < 64) {
        QStringDecoder named(charset.constData());
        if (named.isValid())
            return named.decode(body);
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
