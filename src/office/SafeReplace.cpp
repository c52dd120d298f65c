#include "SafeReplace.h"

#include "app/DryRun.h"
#include "app/FailureText.h"
#include "app/FileKeeper.h"
#include "app/RuntimeError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHostInfo>
#include <QMutex>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <atomic>
#include <pugixml.hpp>
#include <zip.h>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/xattr.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace SafeReplace {

namespace {

std::atomic<bool> s_breakNext{false};
// Files made before this moment are no part of this run.
const qint64 s_runStart = QDateTime::currentMSecsSinceEpoch();

[[maybe_unused]] const char kEngineMark[] = "yanhe-engine:";

[[maybe_unused]] QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

[[maybe_unused]] QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[maybe_unused]] RuntimeError notWritten(const QString& detail)
{
    return {RuntimeError::PathFileAccess, FailureText::notWritten(), detail};
}

// The lock files this process holds, and for how many documents each: a
// document opened twice in one run is one holder, not another program.
QMutex s_heldMutex;
struct Held
{
    int count = 0;
    quint64 inode = 0;
};
QHash<QString, Held> s_held;

RuntimeError locked(const QString& detail)
{
    return {RuntimeError::PathFileAccess, FailureText::lockedBy(QString()), detail};
}

// A name beside target for a result: ".~NAME.XXXXXX.EXT", NAME shortened so
// that the whole stays within a file name's 255 bytes. The extension stays
// last: type detection reads it as a hint (an .xls without it is taken for a template).
QString resultName(const QString& fileName)
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString name = fileName;
    while (QFile::encodeName(name).size() > 200)
        name.chop(1);
    QString random;
    for (int i = 0; i < 6; ++i)
        random += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(62)]);
    const QString suffix = QFileInfo(fileName).suffix();
    return QStringLiteral(".~%1.%2").arg(name, random) +
           (suffix.isEmpty() || suffix.size() > 8 ? QString() : QLatin1Char('.') + suffix);
}

#ifdef Q_OS_LINUX
// The start of process pid in clock ticks since boot; empty when there is no such process.
QByteArray processStart(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return {};
    // After the command's name: state (field 3) ... starttime (field 22).
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    return fields.size() > 19 ? fields.at(19) : QByteArray();
}

#endif

[[maybe_unused]] QString userName()
{
    QString name = qEnvironmentVariable("USER");
    if (name.isEmpty())
        name = qEnvironmentVariable("USERNAME");
    return name.remove(QLatin1Char(',')).remove(QLatin1Char(';'));
}

[[maybe_unused]] QString hostName()
{
    return QHostInfo::localHostName().remove(QLatin1Char(',')).remove(QLatin1Char(';'));
}

// Reads the whole of one entry of archive, streamed to sink; false with the reason when it does not read
// back.
bool readEntry(zip_t* archive, zip_uint64_t index, zip_flags_t flags,
               const std::function<void(const char*, zip_int64_t)>& sink, QString& why)
{
    zip_file_t* file = zip_fopen_index(archive, index, flags);
    if (!file) {
        why = QString::fromLocal8Bit(zip_strerror(archive));
        return false;
    }
    char buffer[65536];
    while (true) {
        const zip_int64_t got = zip_fread(file, buffer, sizeof buffer);
        if (got < 0) {
            why = QString::fromLocal8Bit(zip_file_strerror(file));
            zip_fclose(file);
            return false;
        }
        if (got == 0)
            break;
        sink(buffer, got);
    }
    // The checksum is compared as the last bytes are read.
    zip_fclose(file);
    return true;
}

bool isXmlPart(const QString& name)
{
    return name.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".rels"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".vml"), Qt::CaseInsensitive);
}

} // namespace

// ---------------------------------------------------------------- Identity

Identity Identity::of(const QString& path)
{
    Identity identity;
#ifdef Q_OS_UNIX
    struct stat status
    {};
    if (::stat(native(path).constData(), &status) != 0)
        return identity;
    identity.device = quint64(status.st_dev);
    identity.inode = quint64(status.st_ino);
    identity.size = qint64(status.st_size);
    identity.mtimeNs = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
#else
    const QFileInfo info(path);
    if (!info.exists())
        return identity;
    identity.size = info.size();
    identity.mtimeNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
#endif
    return identity;
}

QString resolved(const QString& path)
{
    const QFileInfo info(path);
    return info.isSymLink() ? info.canonicalFilePath() : info.absoluteFilePath();
}

[[noreturn]] void refuse(const QString& detail)
{
    throw RuntimeError(RuntimeError::PathFileAccess, FailureText::resultUnreadable(), detail);
}

#ifdef Q_OS_LINUX
bool heldOpen(const QString& path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!pid.front().isDigit())
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QString& fd : fds.entryList(QDir::Files | QDir::System)) {
            if (QFile::symLinkTarget(fds.filePath(fd)) == target)
                return true;
        }
    }
    return false;
}
#endif

QByteArray zipPath(const QString& path)
{
#ifdef Q_OS_WIN
    return QDir::toNativeSeparators(path).toUtf8();
#else
    return QFile::encodeName(path);
#endif
}

void breakNextResult()
{
    s_breakNext = true;
}

// ---------------------------------------------------------------- Result

Result::Result(const QString& target)
    : m_target(resolved(target))
{
    const QFileInfo info(m_target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = info.dir().filePath(resultName(info.fileName()));
#ifdef Q_OS_UNIX
        const int fd = ::open(native(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            m_path = candidate;
            return;
        }
        if (errno != EEXIST)
            throw notWritten(QStringLiteral("result beside %1: %2").arg(m_target, systemError(errno)));
#else
        QFile file(candidate);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            m_path = candidate;
            return;
        }
#endif
    }
    throw notWritten(QStringLiteral("no free result name beside %1").arg(m_target));
}

Result::~Result()
{
    if (!m_placed && !m_path.isEmpty())
        QFile::remove(m_path);
}

void Result::place(const std::function<void(const QString&)>& check, const Identity& expected)
{
    if (s_breakNext.exchange(false)) {
        QFile spoilt(m_path);
        if (spoilt.open(QIODevice::WriteOnly | QIODevice::Truncate))
            spoilt.write(QByteArray("This is no document: the writer failed.\n").repeated(100));
    }
    try {
        check(m_path);
    } catch (const RuntimeError&) {
        throw;
    } catch (const std::exception& error) {
        refuse(QString::fromLocal8Bit(error.what()));
    }
    const auto unchanged = [&] {
        const Identity now = Identity::of(m_target);
        if (!now.known())
            throw RuntimeError(RuntimeError::FileNotFound, FailureText::missing(), m_target);
        if (expected.known() && now != expected)
            throw RuntimeError(RuntimeError::PathFileAccess, FailureText::changedMeanwhile(),
                               QStringLiteral("%1 changed since it was read (size %2 -> %3)")
                                   .arg(m_target)
                                   .arg(expected.size)
                                   .arg(now.size));
    };
    unchanged();
    // The original kept before anything can touch it; a keeper that cannot keep it leaves the file as it is.
    if (FileKeeper* keeper = FileKeeper::current())
        keeper->keep(m_target, m_path);
#ifdef Q_OS_UNIX
    struct stat target
    {};
    if (::stat(native(m_target).constData(), &target) != 0)
        throw notWritten(QStringLiteral("stat %1: %2").arg(m_target, systemError(errno)));
    if (target.st_nlink > 1) {
        writeThrough();
        QFile::remove(m_path);
        m_placed = true;
        return;
    }
    keepAttributes(m_target);
    const int fd = ::open(native(m_path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        throw notWritten(QStringLiteral("fsync %1: %2").arg(m_path, systemError(error)));
    }
    ::close(fd);
    unchanged();
    if (::rename(native(m_path).constData(), native(m_target).constData()) != 0)
        throw notWritten(QStringLiteral("rename over %1: %2").arg(m_target, systemError(errno)));
    m_placed = true;
    const int folder = ::open(native(QFileInfo(m_target).absolutePath()).constData(), O_RDONLY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
#elif defined(Q_OS_WIN)
    // One step that keeps the file's attributes, security and creation time;
    // when it fails the file is as it was.
    const std::wstring target = QDir::toNativeSeparators(m_target).toStdWString();
    const std::wstring made = QDir::toNativeSeparators(m_path).toStdWString();
    if (!::ReplaceFileW(target.c_str(), made.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                        nullptr))
        throw notWritten(QStringLiteral("replace %1: Windows error %2").arg(m_target).arg(::GetLastError()));
    m_placed = true;
#else
    if (!QFile::rename(m_path, m_target))
        throw notWritten(QStringLiteral("rename over %1").arg(m_target));
    m_placed = true;
#endif
}

void Result::keepAttributes(const QString& from)
{
#ifdef Q_OS_UNIX
    const QByteArray source = native(from);
    const QByteArray result = native(m_path);
    struct stat original
    {};
    struct stat made
    {};
    if (::stat(source.constData(), &original) != 0 || ::stat(result.constData(), &made) != 0)
        throw notWritten(QStringLiteral("stat %1: %2").arg(m_path, systemError(errno)));
    if ((original.st_uid != made.st_uid || original.st_gid != made.st_gid) &&
        ::chown(result.constData(), original.st_uid, original.st_gid) != 0)
        throw RuntimeError(RuntimeError::PermissionDenied, FailureText::ownerNotKept(),
                           QStringLiteral("chown %1 to %2:%3: %4")
                               .arg(m_path)
                               .arg(original.st_uid)
                               .arg(original.st_gid)
                               .arg(systemError(errno)));
    // After the owner: a change of owner clears the set-id bits.
    if (::chmod(result.constData(), original.st_mode & 07777) != 0)
        throw notWritten(QStringLiteral("chmod %1: %2").arg(m_path, systemError(errno)));
#ifdef Q_OS_LINUX
    const auto names = [](const QByteArray& path) {
        QList<QByteArray> found;
        const ssize_t size = ::listxattr(path.constData(), nullptr, 0);
        if (size <= 0)
            return found;
        QByteArray list(size, '\0');
        const ssize_t got = ::listxattr(path.constData(), list.data(), size_t(list.size()));
        if (got > 0)
            found = list.left(got).split('\0');
        found.removeAll(QByteArray());
        return found;
    };
    const auto value = [](const QByteArray& path, const QByteArray& name, bool& ok) {
        ok = false;
        const ssize_t size = ::getxattr(path.constData(), name.constData(), nullptr, 0);
        if (size < 0)
            return QByteArray();
        QByteArray bytes(size, '\0');
        const ssize_t got =
            ::getxattr(path.constData(), name.constData(), bytes.data(), size_t(bytes.size()));
        ok = got >= 0;
        return bytes.left(std::max<ssize_t>(got, 0));
    };
    const QList<QByteArray> wanted = names(source);
    // What the new file got from its folder (a default ACL) and the original did not have.
    for (const QByteArray& name : names(result)) {
        if (!wanted.contains(name))
            ::removexattr(result.constData(), name.constData());
    }
    for (const QByteArray& name : wanted) {
        bool ok = false;
        const QByteArray bytes = value(source, name, ok);
        if (!ok)
            continue;
        if (::setxattr(result.constData(), name.constData(), bytes.constData(), size_t(bytes.size()), 0) == 0)
            continue;
        const int error = errno;
        bool same = false;
        if (value(result, name, same) == bytes && same)
            continue;
        throw RuntimeError(
            RuntimeError::PermissionDenied, FailureText::attributesNotKept(),
            QStringLiteral("setxattr %1 on %2: %3").arg(QString::fromUtf8(name), m_path, systemError(error)));
    }
#endif
#else
    Q_UNUSED(from);
#endif
}

void Result::writeThrough()
{
#ifdef Q_OS_UNIX
    // The original's bytes are kept beside until the new ones are all in: a
    // write that fails half-way puts them back.
    const QByteArray target = native(m_target);
    // Named so that no later run takes it for a leftover: a run killed while
    // writing through leaves the only whole copy of the file in it.
    QFile backup(QFileInfo(m_target).dir().filePath(resultName(QFileInfo(m_target).fileName()) +
                                                    QStringLiteral(".kept-original")));
    const auto copy = [](int from, int to, QString& why) {
        char buffer[65536];
        off_t at = 0;
        for (ssize_t got; (got = ::pread(from, buffer, sizeof buffer, at)) != 0;) {
            if (got < 0) {
                why = systemError(errno);
                return false;
            }
            for (ssize_t put = 0; put < got;) {
                const ssize_t n = ::pwrite(to, buffer + put, size_t(got - put), at + put);
                if (n < 0) {
                    why = systemError(errno);
                    return false;
                }
                put += n;
            }
            at += got;
        }
        if (::ftruncate(to, at) != 0 || ::fsync(to) != 0) {
            why = systemError(errno);
            return false;
        }
        return true;
    };
    const int original = ::open(target.constData(), O_RDWR | O_CLOEXEC);
    if (original < 0)
        throw notWritten(QStringLiteral("open %1: %2").arg(m_target, systemError(errno)));
    const int saved =
        ::open(native(backup.fileName()).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const int result = ::open(native(m_path).constData(), O_RDONLY | O_CLOEXEC);
    QString why;
    const auto closeAll = [&] {
        for (const int fd : {original, saved, result}) {
            if (fd >= 0)
                ::close(fd);
        }
        backup.remove();
    };
    if (saved < 0 || result < 0 || !copy(original, saved, why)) {
        if (why.isEmpty())
            why = systemError(errno);
        closeAll();
        throw notWritten(QStringLiteral("keeping %1 before writing it through: %2").arg(m_target, why));
    }
    struct stat made
    {};
    ::fstat(result, &made);
#ifdef Q_OS_LINUX
    // Room for the new bytes before the first of them is written.
    if (::fallocate(original, FALLOC_FL_KEEP_SIZE, 0, made.st_size) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS) {
        why = systemError(errno);
        closeAll();
        throw notWritten(QStringLiteral("room for %1: %2").arg(m_target, why));
    }
#endif
    if (!copy(result, original, why)) {
        QString restored;
        const bool back = copy(saved, original, restored);
        closeAll();
        throw notWritten(
            QStringLiteral("writing through %1: %2%3")
                .arg(m_target, why, back ? QString() : QStringLiteral("; restoring it failed: ") + restored));
    }
    closeAll();
#endif
}

// ---------------------------------------------------------------- checks

void checkPackage(const QString& result, const QString& original, const QStringList& untouched)
{
    int code = 0;
    zip_t* made = zip_open(zipPath(result).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!made) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const QString why = QString::fromLocal8Bit(zip_error_strerror(&error));
        zip_error_fini(&error);
        refuse(QStringLiteral("result %1 is no sound zip: %2").arg(result, why));
    }
    zip_t* before = nullptr;
    if (!original.isEmpty() && !untouched.isEmpty()) {
        before = zip_open(zipPath(original).constData(), ZIP_RDONLY, &code);
        if (!before) {
            zip_discard(made);
            refuse(QStringLiteral("original %1 no longer reads").arg(original));
        }
    }
    QSet<QString> same;
    for (const QString& name : untouched)
        same.insert(name.toLower());
    QString failure;
    const zip_int64_t count = zip_get_num_entries(made, 0);
    for (zip_int64_t i = 0; i < count && failure.isEmpty(); ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(made, zip_uint64_t(i), 0, &stat) != 0) {
            failure = QStringLiteral("entry %1 unreadable").arg(i);
            break;
        }
        const QString name = QString::fromUtf8(stat.name);
        if (name.endsWith(QLatin1Char('/')))
            continue;
        QString why;
        if (before && same.contains(name.toLower())) {
            // Copied as stored: the same stored bytes as the original's entry.
            const zip_int64_t at = zip_name_locate(before, stat.name, ZIP_FL_ENC_RAW);
            zip_stat_t was;
            zip_stat_init(&was);
            if (at < 0 || zip_stat_index(before, zip_uint64_t(at), 0, &was) != 0) {
                failure = QStringLiteral("%1 is not in the original").arg(name);
                break;
            }
            const bool raw = was.comp_method == stat.comp_method && was.comp_size == stat.comp_size;
            const zip_flags_t flags = raw ? ZIP_FL_COMPRESSED : 0;
            QByteArray wasBytes;
            QByteArray nowBytes;
            if (!readEntry(
                    before, zip_uint64_t(at), flags,
                    [&](const char* data, zip_int64_t n) { wasBytes.append(data, qsizetype(n)); }, why) ||
                !readEntry(
                    made, zip_uint64_t(i), flags,
                    [&](const char* data, zip_int64_t n) { nowBytes.append(data, qsizetype(n)); }, why)) {
                failure = QStringLiteral("%1: %2").arg(name, why);
                break;
            }
            if (wasBytes != nowBytes || was.crc != stat.crc)
                failure = QStringLiteral("%1 differs from the original, though it was not changed").arg(name);
            continue;
        }
        const bool xml = isXmlPart(name);
        QByteArray bytes;
        if (!readEntry(
                made, zip_uint64_t(i), 0,
                [&](const char* data, zip_int64_t n) {
                    if (xml)
                        bytes.append(data, qsizetype(n));
                },
                why)) {
            failure = QStringLiteral("%1: %2").arg(name, why);
            break;
        }
        if (xml) {
            pugi::xml_document document;
            const pugi::xml_parse_result parsed =
                document.load_buffer(bytes.constData(), size_t(bytes.size()), pugi::parse_minimal);
            if (!parsed || !document.document_element())
                failure = QStringLiteral("%1 is not well-formed XML: %2 at offset %3")
                              .arg(name, QString::fromUtf8(parsed.description()))
                              .arg(parsed.offset);
        }
    }
    if (before)
        zip_discard(before);
    zip_discard(made);
    if (!failure.isEmpty())
        refuse(failure);
}

// ---------------------------------------------------------------- locks

DocumentLock::DocumentLock(const QString& document)
{
    const QFileInfo info(resolved(document));
    const QString name = info.fileName();
    QStringList owners = {QStringLiteral("~$") + name};
    // Word shortens the owner file's name of a long one.
    if (name.size() > 2)
        owners << QStringLiteral("~$") + name.mid(2) << QStringLiteral("~$") + name.mid(1);
    for (const QString& owner : std::as_const(owners)) {
        if (QFileInfo::exists(info.dir().filePath(owner)))
            throw locked(QStringLiteral("owner file %1").arg(owner));
    }
#ifdef Q_OS_UNIX
    const QString lock = info.dir().filePath(QStringLiteral(".~lock.") + name + QLatin1Char('#'));
    const QMutexLocker held(&s_heldMutex);
    if (const auto it = s_held.find(lock); it != s_held.end()) {
        ++it->count;
        m_lockFile = lock;
        return;
    }
    const QByteArray path = native(lock);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0 && errno == EEXIST) {
            if (attempt == 0 && isStaleLock(lock)) {
                QFile::remove(lock);
                continue;
            }
            throw locked(QStringLiteral("lock file %1").arg(lock));
        }
        // A folder the user may not write, a name too long for a lock beside it:
        // the document is read without a lock, and a save there fails on its own.
        if (fd < 0)
            return;
#ifdef Q_OS_LINUX
        const QByteArray start = processStart(::getpid());
#else
        const QByteArray start = "0";
#endif
        // LibreOffice's format: who, login, machine, since when, and where from.
        const QByteArray content =
            QStringLiteral("yanhe,%1,%2,%3,")
                .arg(userName(), hostName(),
                     QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")))
                .toUtf8() +
            kEngineMark + QByteArray::number(::getpid()) + ':' + start + ';';
        const bool written = ::write(fd, content.constData(), size_t(content.size())) == content.size();
        struct stat status
        {};
        ::fstat(fd, &status);
        ::close(fd);
        if (!written) {
            // A lock nobody could read as one: the document is read without it.
            QFile::remove(lock);
            return;
        }
        m_lockFile = lock;
        s_held.insert(lock, {1, quint64(status.st_ino)});
        return;
    }
#endif
}

DocumentLock::~DocumentLock()
{
#ifdef Q_OS_UNIX
    if (m_lockFile.isEmpty())
        return;
    const QMutexLocker held(&s_heldMutex);
    const auto it = s_held.find(m_lockFile);
    if (it == s_held.end() || --it->count > 0)
        return;
    const quint64 inode = it->inode;
    s_held.erase(it);
    // Only the lock this process made: one another program made since is theirs.
    struct stat status
    {};
    if (::lstat(native(m_lockFile).constData(), &status) == 0 && quint64(status.st_ino) == inode)
        ::unlink(native(m_lockFile).constData());
#endif
}

bool isStaleLock(const QString& lockFile)
{
#ifdef Q_OS_LINUX
    QFile file(lockFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = file.read(4096);
    const qsizetype mark = content.indexOf(kEngineMark);
    if (mark < 0)
        return false;
    const QList<QByteArray> fields = content.left(mark).split(',');
    if (fields.size() < 3 || QString::fromUtf8(fields.at(2)) != hostName())
        return false; // another machine's: nothing here tells whether it runs
    QByteArray owner = content.mid(mark + qsizetype(sizeof kEngineMark) - 1);
    owner.truncate(owner.indexOf(';'));
    const QList<QByteArray> parts = owner.split(':');
    if (parts.size() != 2)
        return false;
    bool ok = false;
    const qint64 pid = parts.at(0).toLongLong(&ok);
    if (!ok || pid <= 0)
        return false;
    return processStart(pid) != parts.at(1);
#else
    Q_UNUSED(lockFile);
    return false;
#endif
}

// ---------------------------------------------------------------- leftovers

void removeLeftovers(const QString& folder)
{
    // A dry run changes nothing on disk, not even what earlier runs left.
    if (DryRun::active())
        return;
#ifdef Q_OS_LINUX
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    {
        static QMutex mutex;
        static QSet<QString> done;
        const QMutexLocker lock(&mutex);
        if (done.contains(clean))
            return;
        done.insert(clean);
    }
    static const QRegularExpression own(
        QStringLiteral("^\\.~(.+?)\\.[A-Za-z0-9]{6}(\\.[A-Za-z0-9]+)?(\\.[A-Za-z0-9]{6})?$"));
    const QDir dir(clean);
    const QStringList hidden =
        dir.entryList({QStringLiteral(".~*")}, QDir::Files | QDir::Hidden | QDir::System);
    if (hidden.isEmpty())
        return;
    const QStringList all = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : hidden) {
        const QString path = dir.filePath(name);
        if (name.startsWith(QLatin1String(".~lock.")) && name.endsWith(QLatin1Char('#'))) {
            const QString locked = name.mid(7).chopped(1);
            if (isStaleLock(path)) {
                QFile::remove(path);
            } else if (own.match(locked).hasMatch()) {
                // LibreOffice's lock of a result it was storing when it was killed.
                struct stat status
                {};
                const QString result = dir.filePath(locked);
                if (::lstat(native(path).constData(), &status) == 0 && S_ISREG(status.st_mode) &&
                    status.st_uid == ::getuid() &&
                    qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000 < s_runStart &&
                    (!QFileInfo::exists(result) || !heldOpen(result)))
                    QFile::remove(path);
            }
            continue;
        }
        const QRegularExpressionMatch match = own.match(name);
        if (!match.hasMatch())
            continue;
        const QString document = match.captured(1);
        // Beside the document it was made for (its name may be shortened).
        const bool beside = std::any_of(all.cbegin(), all.cend(), [&](const QString& other) {
            return !other.startsWith(QLatin1String(".~")) && other.startsWith(document);
        });
        if (!beside)
            continue;
        struct stat status
        {};
        if (::lstat(native(path).constData(), &status) != 0 || !S_ISREG(status.st_mode) ||
            status.st_uid != ::getuid())
            continue;
        const qint64 modified = qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000;
        if (modified >= s_runStart)
            continue;
        // A save in progress holds the document's lock.
        const QString lock = dir.filePath(QStringLiteral(".~lock.") + document + QLatin1Char('#'));
        if (QFileInfo::exists(lock) && !isStaleLock(lock))
            continue;
        if (heldOpen(path))
            continue;
        QFile::remove(path);
    }
#else
    Q_UNUSED(folder);
#endif
}

} // namespace SafeReplace
