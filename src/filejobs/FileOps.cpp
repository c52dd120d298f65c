#include "FileOps.h"

#include "FileJobTexts.h"
#include "app/RuntimeError.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_WIN
#include <algorithm>
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace FileOps {

namespace {

const QString kReadOnlyFile = FileJobTexts::readOnlyFile();
const QString kFolder = FileJobTexts::folder();

RuntimeError taken(const QString& to)
{
    return RuntimeError(RuntimeError::FileAlreadyExists, FileJobTexts::taken(split(to).name));
}

#ifdef Q_OS_WIN

std::wstring native(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// Whether Windows takes the name for a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to
// LPT9), whatever follows its first dot and with blanks before that dot.
bool isDeviceName(const QString& name)
{
    QString base = name.section(QLatin1Char('.'), 0, 0);
    while (base.endsWith(QLatin1Char(' ')))
        base.chop(1);
    base = base.toUpper();
    static const QStringList devices{QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                     QStringLiteral("NUL")};
    if (devices.contains(base))
        return true;
    return base.size() == 4 &&
           (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))) &&
           base.at(3) >= QLatin1Char('1') && base.at(3) <= QLatin1Char('9');
}

RuntimeError lastError(const QString& to = QString())
{
    const DWORD code = GetLastError();
    const QString detail = QStringLiteral("Windows 错误 %1").arg(code);
    switch (code) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return taken(to);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return RuntimeError(RuntimeError::FileNotFound, RuntimeError::nameOf(RuntimeError::FileNotFound),
                            detail);
    case ERROR_ACCESS_DENIED:
        return RuntimeError(RuntimeError::PermissionDenied,
                            RuntimeError::nameOf(RuntimeError::PermissionDenied), detail);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return RuntimeError(RuntimeError::PermissionDenied, FileJobTexts::inUse(), detail);
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return RuntimeError(RuntimeError::PathFileAccess, FileJobTexts::nameInvalidOrTooLong(), detail);
    default:
        return RuntimeError(RuntimeError::PathFileAccess, RuntimeError::nameOf(RuntimeError::PathFileAccess),
                            detail);
    }
}

// The entry's own attributes (a link's, not its target's); -1 when it is gone.
long attributes(const QString& path)
{
    const DWORD raw = GetFileAttributesW(native(path).c_str());
    return raw == INVALID_FILE_ATTRIBUTES ? -1 : long(raw);
}

#else

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

RuntimeError errnoError(int code, const QString& to = QString())
{
    const QString detail = QString::fromLocal8Bit(std::strerror(code));
    switch (code) {
    case EEXIST:
    case ENOTEMPTY:
        return taken(to);
    case ENOENT:
        return RuntimeError(RuntimeError::FileNotFound, RuntimeError::nameOf(RuntimeError::FileNotFound),
                            detail);
    case EACCES:
    case EPERM:
    case EROFS:
        return RuntimeError(RuntimeError::PermissionDenied,
                            RuntimeError::nameOf(RuntimeError::PermissionDenied), detail);
    case EBUSY:
    case ETXTBSY:
        return RuntimeError(RuntimeError::PermissionDenied, FileJobTexts::inUse(), detail);
    case ENAMETOOLONG:
        return RuntimeError(RuntimeError::PathFileAccess, FileJobTexts::nameTooLong(), detail);
    case EISDIR:
        return RuntimeError(RuntimeError::PathFileAccess, kFolder, detail);
    default:
        return RuntimeError(RuntimeError::PathFileAccess, RuntimeError::nameOf(RuntimeError::PathFileAccess),
                            detail);
    }
}

// Owner permissions, so that root is refused what the owner would be. (A
// read-only folder on Windows still takes renames and deletions.)
void refuseReadOnlyFolder(const QString& path)
{
    static const QString kReadOnlyFolder = FileJobTexts::readOnlyFolder();
    struct stat folder
    {};
    const QString name = split(path).folder;
    if (::stat(native(name.isEmpty() ? QStringLiteral(".") : name).constData(), &folder) == 0 &&
        !(folder.st_mode & S_IWUSR))
        throw RuntimeError(RuntimeError::PermissionDenied, kReadOnlyFolder);
}

// The entry itself, a link not followed.
struct stat entryOf(const QString& path)
{
    struct stat entry
    {};
    if (::lstat(native(path).constData(), &entry) != 0)
        throw errnoError(errno);
    return entry;
}

#endif

} // namespace

PathParts split(const QString& path)
{
    qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
#ifdef Q_OS_WIN
    cut = std::max(cut, path.lastIndexOf(QLatin1Char('\\')));
#endif
    return {path.left(cut + 1), path.mid(cut + 1)};
}

void checkName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        throw RuntimeError(RuntimeError::PathFileAccess, FileJobTexts::nameInvalid(name));
#ifdef Q_OS_WIN
    static const QString refused = QStringLiteral("\\/:*?\"<>|");
#else
    static const QString refused = QStringLiteral("/");
#endif
    for (const QChar c : name) {
        if (refused.contains(c) || c.unicode() == 0
#ifdef Q_OS_WIN
            || c.unicode() < 32
#endif
        )
            throw RuntimeError(RuntimeError::PathFileAccess, FileJobTexts::nameHasForbidden(c));
    }
#ifdef Q_OS_WIN
    // Windows drops a name's trailing dots and blanks, and opens the device for a device
    // name: neither names the file the job's line would give.
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')) || isDeviceName(name))
        throw RuntimeError(RuntimeError::PathFileAccess, FileJobTexts::nameInvalid(name));
#endif
}

void renameFile(const QString& from, const QString& to)
{
#ifdef Q_OS_WIN
    const long bits = attributes(from);
    if (bits < 0)
        throw lastError();
    if (bits & FILE_ATTRIBUTE_DIRECTORY)
        throw RuntimeError(RuntimeError::PathFileAccess, kFolder);
    // Without MOVEFILE_REPLACE_EXISTING an existing target of any kind fails the move.
    if (!MoveFileExW(native(from).c_str(), native(to).c_str(), 0))
        throw lastError(to);
#else
    if (S_ISDIR(entryOf(from).st_mode))
        throw RuntimeError(RuntimeError::PathFileAccess, kFolder);
    refuseReadOnlyFolder(from);
    const QByteArray source = native(from);
    const QByteArray target = native(to);
#ifdef Q_OS_LINUX
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS)
        throw errnoError(errno, to);
#endif
    // A file system without the no-replace rename (some network ones): a second
    // name, which fails on any existing entry, then the old name removed.
    if (::link(source.constData(), target.constData()) != 0)
        throw errnoError(errno, to);
    if (::unlink(source.constData()) != 0) {
        const int code = errno;
        ::unlink(target.constData());
        throw errnoError(code);
    }
#endif
}

void deleteFile(const QString& path)
{
#ifdef Q_OS_WIN
    const long bits = attributes(path);
    if (bits < 0)
        throw lastError();
    if (bits & FILE_ATTRIBUTE_DIRECTORY)
        throw RuntimeError(RuntimeError::PathFileAccess, kFolder);
    if (bits & FILE_ATTRIBUTE_READONLY)
        throw RuntimeError(RuntimeError::PermissionDenied, kReadOnlyFile);
    // DeleteFileW removes a link itself and never a folder.
    if (!DeleteFileW(native(path).c_str()))
        throw lastError();
#else
    const struct stat entry = entryOf(path);
    if (S_ISDIR(entry.st_mode))
        throw RuntimeError(RuntimeError::PathFileAccess, kFolder);
    if (!S_ISLNK(entry.st_mode) && !(entry.st_mode & S_IWUSR))
        throw RuntimeError(RuntimeError::PermissionDenied, kReadOnlyFile);
    refuseReadOnlyFolder(path);
    // unlink() removes a link itself and fails on a folder that appeared meanwhile.
    if (::unlink(native(path).constData()) != 0)
        throw errnoError(errno);
#endif
}

} // namespace FileOps
