#include "FileAttributes.h"

#include <QDir>
#include <algorithm>
#include <filesystem>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace FileAttributes {

int of(const QString& path)
{
#ifdef Q_OS_WIN
    const DWORD raw =
        GetFileAttributesW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()));
    if (raw == INVALID_FILE_ATTRIBUTES)
        return -1;
    return static_cast<int>(raw & (ReadOnly | Hidden | System | Directory));
#else
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return -1;
    int bits = Normal;
    if (info.isDir())
        bits |= Directory;
    else if (!info.isFile())
        bits |= System;
    if (info.fileName().startsWith(QLatin1Char('.')))
        bits |= Hidden;
    if (info.exists() && !(info.permissions() & QFileDevice::WriteOwner))
        bits |= ReadOnly;
    return bits;
#endif
}

bool plainListingFindsFile(const QString& path)
{
    const int bits = of(path);
    return bits >= 0 && listingReturns(bits, Normal);
}

QString readableName(const QByteArray& bytes)
{
    QString text;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size;) {
        const unsigned char lead = data[i];
        const int length = lead < 0x80             ? 1
                           : (lead & 0xE0) == 0xC0 ? 2
                           : (lead & 0xF0) == 0xE0 ? 3
                           : (lead & 0xF8) == 0xF0 ? 4
                                                   : 0;
        bool valid = length > 0 && i + length <= size;
        for (int k = 1; valid && k < length; ++k)
            valid = (data[i + k] & 0xC0) == 0x80;
        if (valid && length > 1) {
            // Overlong forms, surrogates and code points past U+10FFFF are not text either.
            const QString decoded = QString::fromUtf8(bytes.mid(i, length));
            valid = decoded.toUtf8() == bytes.mid(i, length);
            if (valid)
                text += decoded;
        } else if (valid) {
            text += QLatin1Char(char(lead));
        }
        if (!valid) {
            text += QStringLiteral("\\x") +
                    QString::number(lead, 16).toUpper().rightJustified(2, QLatin1Char('0'));
            i += 1;
        } else {
            i += length;
        }
    }
    return text;
}

namespace {

// The entry's name, and whether a path made of it reaches the file.
QString nameOf(const std::filesystem::path& path, bool& unusable)
{
#ifdef Q_OS_WIN
    unusable = false;
    return QString::fromStdWString(path.filename().native());
#else
    const QByteArray raw(path.filename().native().c_str());
    const QString name = QFile::decodeName(raw);
    unusable = QFile::encodeName(name) != raw;
    return unusable ? readableName(raw) : name;
#endif
}

#ifndef Q_OS_WIN
// The type comes with the directory entry; only links need a look at their target.
int attributesOf(const std::filesystem::directory_entry& entry, const QString& name)
{
    std::error_code error;
    int bits = Normal;
    if (entry.is_directory(error))
        bits |= Directory;
    else if (!entry.is_regular_file(error))
        bits |= System;
    if (name.startsWith(QLatin1Char('.')))
        bits |= Hidden;
    return bits;
}
#endif

} // namespace

QList<Entry> list(const QString& folder, int mask)
{
#ifdef Q_OS_WIN
    const std::filesystem::path root(QDir::toNativeSeparators(folder).toStdWString());
#else
    const std::filesystem::path root(QFile::encodeName(folder).toStdString());
#endif
    struct Keyed
    {
        QString key;
        Entry entry;
    };
    QList<Keyed> keyed;
    std::error_code error;
    std::filesystem::directory_iterator it(root, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        bool unusable = false;
        const QString name = nameOf(it->path(), unusable);
#ifdef Q_OS_WIN
        const int bits = of(QDir(folder).filePath(name));
#else
        const int bits = attributesOf(*it, name);
#endif
        if (bits >= 0 && listingReturns(bits, mask))
            keyed.append({name.toUpper(), {name, bits, unusable}});
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        const int upper = QString::compare(a.key, b.key, Qt::CaseSensitive);
        return upper != 0 ? upper < 0 : QString::compare(a.entry.name, b.entry.name, Qt::CaseSensitive) < 0;
    });
    QList<Entry> entries;
    entries.reserve(keyed.size());
    for (Keyed& k : keyed)
        entries.append(std::move(k.entry));
    return entries;
}

} // namespace FileAttributes
