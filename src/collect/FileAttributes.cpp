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

namespace {

QString nameOf(const std::filesystem::path& path)
{
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.filename().native());
#else
    return QFile::decodeName(path.filename().native().c_str());
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
        const QString name = nameOf(it->path());
#ifdef Q_OS_WIN
        const int bits = of(QDir(folder).filePath(name));
#else
        const int bits = attributesOf(*it, name);
#endif
        if (bits >= 0 && listingReturns(bits, mask))
            keyed.append({name.toUpper(), {name, bits}});
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
