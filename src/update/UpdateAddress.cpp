#include "UpdateAddress.h"

#include <QByteArray>
#include <cctype>

namespace UpdateAddress {

namespace {

constexpr char kKey[] = "yanhe-yanhe";

char keyAt(qsizetype i)
{
    const auto k = static_cast<unsigned char>(kKey[i % (sizeof(kKey) - 1)]);
    return static_cast<char>(k ^ static_cast<unsigned char>((i * 37 + 11) & 0xFF));
}

QByteArray mix(QByteArray bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ keyAt(i));
    return bytes;
}

} // namespace

QString defaultAddress()
{
    return QStringLiteral("https://update.yanhe.example/yanhe/latest.txt");
}

QString scramble(const QString& address)
{
    return QString::fromLatin1(mix(address.toUtf8()).toHex().toUpper());
}

QString unscramble(const QString& line)
{
    const QByteArray hex = line.trimmed().toLatin1();
    if (hex.isEmpty() || hex.size() % 2 != 0)
        return {};
    for (const char c : hex) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return {};
    }
    return QString::fromUtf8(mix(QByteArray::fromHex(hex)));
}

} // namespace UpdateAddress
