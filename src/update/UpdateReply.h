#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The update endpoint's reply: text that carries the latest version and the
// download addresses between fixed markers. This is the one piece that reads
// what a stranger sends, so every function here takes any input.
namespace update {

// The body as text: by the charset of the Content-Type header ("text/plain;
// charset=GBK"), else by a byte-order mark, else UTF-8. A charset this
// platform cannot decode is read as UTF-8; malformed bytes become U+FFFD.
QString decodeReply(const QByteArray& body, const QByteArray& contentType);

// The 5 characters after the first "版 " (fewer at the end of the text);
// nothing without the marker.
std::optional<QString> latestVersion(const QString& reply);

// The text between the last `start` that ends before the first `end`, and that
// `end`, beginning with the last character of `start` (its blank). Nothing when
// `end` is absent or no `start` ends before it. Comparison is exact.
std::optional<QString> markedField(const QString& reply, const QString& start, const QString& end);

struct ReplyFields
{
    std::optional<QString> latestVersion;
    std::optional<QString> addressA;
    std::optional<QString> addressB;
    std::optional<QString> contact;
};
ReplyFields parseReply(const QString& reply);

// The markers, exactly as the endpoint writes them.
inline const QString kVersionMarker = QStringLiteral("版 ");
inline const QString kAddressAStart = QStringLiteral("地A ");
inline const QString kAddressAEnd = QStringLiteral("址A结");
inline const QString kAddressBStart = QStringLiteral("地B ");
inline const QString kAddressBEnd = QStringLiteral("址B结");
inline const QString kContactStart = QStringLiteral("联系 ");
inline const QString kContactEnd = QStringLiteral("方式结");

} // namespace update
