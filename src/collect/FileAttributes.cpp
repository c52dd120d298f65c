#include "FileAttributes.h"

#ifdef Q_OS_WIN
#include <QDir>

#include <windows.h>
#endif

namespace FileAttributes {

int of(const QString& path)
{
#ifdef Q_OS_WIN
    const DWORD raw = GetFileAttributesW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()));
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

} // namespace FileAttributes
