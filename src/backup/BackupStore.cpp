#include "BackupStore.h"

#include "app/AppFolders.h"
#include "app/RuntimeError.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

namespace {

constexpr qint64 kMiB = 1024 * 1024;

QString boundFile(const AppFolders& folders)
{
    return AppFolders::join(folders.toconfigure(), QStringLiteral("backup.ini"));
}

// A run's folder name: when it began, to the millisecond, and the process that began it.
const QRegularExpression& runName()
{
    static const QRegularExpression pattern(QStringLiteral("^\\d{8}-\\d{6}-\\d{3}-\\d+$"));
    return pattern;
}

qint64 folderSize(const QString& folder)
{
    qint64 total = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        total += it.fileInfo().size();
    }
    return total;
}

// Drops the oldest runs of backup, spare aside, until room is left for one more of estimate bytes.
void prune(const QString& backup, const BackupBound& bound, const QString& spare, qint64 estimate)
{
    QDir(backup).mkpath(QStringLiteral("."));
    QStringList runs = QDir(backup).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    runs.removeIf([&](const QString& name) { return name == spare || !runName().match(name).hasMatch(); });
    QList<qint64> sizes;
    qint64 total = 0;
    for (const QString& run : std::as_const(runs)) {
        sizes << folderSize(QDir(backup).filePath(run));
        total += sizes.last();
    }
    while (!runs.isEmpty() && (runs.size() + 1 > bound.runs || total + estimate > bound.bytes)) {
        QDir(QDir(backup).filePath(runs.takeFirst())).removeRecursively();
        total -= sizes.takeFirst();
    }
}

QString mib(qint64 bytes)
{
    return QString::number(double(bytes) / double(kMiB), 'f', 1);
}

} // namespace

// ---------------------------------------------------------------- BackupBound

BackupBound BackupBound::read(const AppFolders& folders)
{
    BackupBound bound;
    const QSettings settings(boundFile(folders), QSettings::IniFormat);
    bool ok = false;
    const int runs = settings.value(QStringLiteral("runs")).toInt(&ok);
    if (ok && runs >= 0)
        bound.runs = runs;
    const qint64 size = settings.value(QStringLiteral("mib")).toLongLong(&ok);
    if (ok && size >= 0)
        bound.bytes = size * kMiB;
    return bound;
}

bool BackupBound::write(const AppFolders& folders) const
{
    QDir().mkpath(folders.toconfigure());
    QSettings settings(boundFile(folders), QSettings::IniFormat);
    settings.setValue(QStringLiteral("runs"), runs);
    settings.setValue(QStringLiteral("mib"), bytes / kMiB);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

// ---------------------------------------------------------------- BackupStore

BackupStore::BackupStore(QString id, QString folder, bool keeping)
    : m_id(std::move(id))
    , m_folder(std::move(folder))
    , m_keeping(keeping)
{}

BackupStore::~BackupStore() = default;

QString BackupStore::backupFolder(const AppFolders& folders)
{
    return AppFolders::join(folders.applicationFolder(), QStringLiteral("backup"));
}

QString BackupStore::overBoundText(qint64 bytes, qint64 bound)
{
    return QStringLiteral("本次操作的文件共 %1 MiB，超过备份上限 %2 MiB，不保留备份")
        .arg(mib(bytes), mib(bound));
}

std::unique_ptr<BackupStore> BackupStore::begin(const AppFolders& folders, const QString& job,
                                                const QStringList& inputs, const QStringList& files,
                                                QString& notice, const QString& spare)
{
    notice.clear();
    const BackupBound bound = BackupBound::read(folders);
    qint64 estimate = 0;
    for (const QString& file : files)
        estimate += QFileInfo(file).size();
    const QDateTime start = QDateTime::currentDateTime();
    const QString id = start.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz-")) +
                       QString::number(QCoreApplication::applicationPid());
    const QString backup = backupFolder(folders);
    if (bound.runs < 1 || estimate > bound.bytes) {
        notice = bound.runs < 1 ? QStringLiteral("备份上限为 0 次操作，不保留备份")
                                : overBoundText(estimate, bound.bytes);
        return std::unique_ptr<BackupStore>(new BackupStore(id, QString(), false));
    }
    prune(backup, bound, spare, estimate);
    const QString folder = QDir(backup).filePath(id);
    auto store = std::unique_ptr<BackupStore>(new BackupStore(id, folder, true));
    // A folder that cannot be made: every file's keep fails, and no file is changed.
    if (!QDir().mkpath(folder))
        return store;
    QJsonArray inputList;
    for (const QString& input : inputs)
        inputList.append(input);
    const QJsonObject run{{QStringLiteral("id"), id},
                          {QStringLiteral("start"), start.toString(Qt::ISODateWithMs)},
                          {QStringLiteral("job"), job},
                          {QStringLiteral("inputs"), inputList}};
    QFile record(QDir(folder).filePath(QStringLiteral("run.json")));
    if (record.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        record.write(QJsonDocument(run).toJson());
    return store;
}

std::unique_ptr<BackupStore> BackupStore::join(const QString& runFolder)
{
    const QString runId = QFileInfo(runFolder).fileName();
    if (runFolder.isEmpty() || !QFileInfo(runFolder).isAbsolute() || !runName().match(runId).hasMatch())
        return nullptr;
    // Without the folder (the run could not make it) every keep fails, as it fails for the run.
    return std::unique_ptr<BackupStore>(new BackupStore(runId, QDir::cleanPath(runFolder), true));
}

void BackupStore::append(const QByteArray& line)
{
    if (!m_manifest.isOpen()) {
        m_manifest.setFileName(QDir(m_folder).filePath(
            QStringLiteral("files-%1.jsonl").arg(QCoreApplication::applicationPid())));
        if (!m_manifest.open(QIODevice::WriteOnly | QIODevice::Append))
            throw RuntimeError(
                RuntimeError::PathFileAccess, cannotKeepText(),
                QStringLiteral("manifest %1: %2").arg(m_manifest.fileName(), m_manifest.errorString()));
    }
    if (m_manifest.write(line + '\n') != line.size() + 1 || !m_manifest.flush())
        throw RuntimeError(
            RuntimeError::PathFileAccess, cannotKeepText(),
            QStringLiteral("manifest %1: %2").arg(m_manifest.fileName(), m_manifest.errorString()));
}

void BackupStore::keep(const QString& target, const QString& result)
{
    if (!m_keeping)
        return;
    const QMutexLocker lock(&m_mutex);
    const QByteArray written = sha256(result);
    if (m_kept.contains(target)) {
        // Saved again in the same run: the original is kept already.
        append(QJsonDocument(QJsonObject{{QStringLiteral("path"), target},
                                         {QStringLiteral("written"), QString::fromLatin1(written)}})
                   .toJson(QJsonDocument::Compact));
        return;
    }
    const QString copy = QStringLiteral("%1-%2").arg(QCoreApplication::applicationPid()).arg(m_copies + 1);
    const QString copyPath = QDir(m_folder).filePath(copy);
    QString why;
    if (!copyFile(target, copyPath, why))
        throw RuntimeError(RuntimeError::PathFileAccess, cannotKeepText(),
                           QStringLiteral("keeping %1 in %2: %3").arg(target, m_folder, why));
    const QJsonObject entry{{QStringLiteral("path"), target},
                            {QStringLiteral("copy"), copy},
                            {QStringLiteral("size"), QFileInfo(copyPath).size()},
                            {QStringLiteral("sha256"), QString::fromLatin1(sha256(copyPath))},
                            {QStringLiteral("mtime"), QString::number(mtimeNs(target))},
                            {QStringLiteral("written"), QString::fromLatin1(written)}};
    try {
        append(QJsonDocument(entry).toJson(QJsonDocument::Compact));
    } catch (...) {
        QFile::remove(copyPath);
        throw;
    }
    ++m_copies;
    m_kept.insert(target);
}

void BackupStore::renamed(const QString& from, const QString& to)
{
    if (!m_keeping)
        return;
    const QMutexLocker lock(&m_mutex);
    const QJsonObject entry{{QStringLiteral("renamed"), from},
                            {QStringLiteral("to"), to},
                            {QStringLiteral("size"), QFileInfo(to).size()},
                            {QStringLiteral("mtime"), QString::number(mtimeNs(to))}};
    try {
        append(QJsonDocument(entry).toJson(QJsonDocument::Compact));
    } catch (const RuntimeError& error) {
        // The file has its new name already; the run cannot be undone for it.
        qWarning("backup: %s", qUtf8Printable(error.detail()));
    }
}

void BackupStore::finish()
{
    if (m_manifest.isOpen())
        m_manifest.close();
    if (m_folder.isEmpty() || !QFileInfo(m_folder).isDir())
        return;
    QDir folder(m_folder);
    for (const QFileInfo& manifest : folder.entryInfoList({QStringLiteral("files-*.jsonl")}, QDir::Files)) {
        if (manifest.size() > 0)
            return;
    }
    folder.removeRecursively();
    m_folder.clear();
}

void BackupStore::finish(const BackupBound& bound)
{
    finish();
    // The run an undo spared may go now, this one kept.
    if (!m_folder.isEmpty())
        prune(QFileInfo(m_folder).absolutePath(), bound, m_id, folderSize(m_folder));
}

QByteArray BackupStore::sha256(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return hash.result().toHex();
}

qint64 BackupStore::mtimeNs(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat status
    {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return 0;
    return qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
#else
    const QFileInfo info(path);
    return info.exists() ? info.lastModified().toMSecsSinceEpoch() * 1000000 : 0;
#endif
}

bool BackupStore::copyFile(const QString& from, const QString& to, QString& why)
{
#ifdef Q_OS_UNIX
    const int source = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (source < 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const int target =
        ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (target < 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        ::close(source);
        return false;
    }
    bool done = false;
#ifdef Q_OS_LINUX
    // A clone shares the blocks until either file changes: no room taken, no bytes read.
    done = ::ioctl(target, FICLONE, source) == 0;
#endif
    int error = 0;
    if (!done) {
        char buffer[1 << 16];
        done = true;
        while (true) {
            const ssize_t got = ::read(source, buffer, sizeof buffer);
            if (got == 0)
                break;
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                error = errno;
                done = false;
                break;
            }
            ssize_t put = 0;
            while (put < got) {
                const ssize_t n = ::write(target, buffer + put, size_t(got - put));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    error = n < 0 ? errno : ENOSPC;
                    done = false;
                    break;
                }
                put += n;
            }
            if (!done)
                break;
        }
    }
    if (done && ::fsync(target) != 0) {
        error = errno;
        done = false;
    }
    ::close(source);
    if (::close(target) != 0 && done) {
        error = errno;
        done = false;
    }
    if (!done) {
        why = QString::fromLocal8Bit(std::strerror(error));
        ::unlink(QFile::encodeName(to).constData());
    }
    return done;
#else
    if (QFile::copy(from, to))
        return true;
    why = QStringLiteral("copy failed");
    return false;
#endif
}
