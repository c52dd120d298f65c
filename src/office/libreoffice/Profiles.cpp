#include "Profiles.h"

#include "UnoOffice.h"
#include "app/FailureText.h"
#include "app/RuntimeError.h"
#include "office/OwnProcesses.h"
#include "office/SafeReplace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

namespace unooffice {

namespace {

// More than any machine runs at once; the search for a free one ends here.
constexpr int kMaxProfiles = 64;
const QString kRecordSuffix = QStringLiteral(".documents");

#ifdef Q_OS_LINUX
// A pipe of a soffice that is gone: no socket of this machine is bound to it
// (the kernel's list of Unix sockets names the bound ones). Looked up, not
// connected to, since a connection would start a bridge in a live soffice. One
// made moments ago counts as live.
bool isDeadPipe(const QString& path, const QByteArray& boundSockets)
{
    const QFileInfo info(path);
    if (info.lastModified().msecsTo(QDateTime::currentDateTime()) < 60000)
        return false;
    return !boundSockets.contains(' ' + QFile::encodeName(path) + '\n');
}
#endif

} // namespace

Profiles& Profiles::instance()
{
    static Profiles profiles;
    return profiles;
}

Profiles::Profiles()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    m_root = QDir(cache).filePath(QStringLiteral("yanhe"));
    if (cache.isEmpty() || !QDir().mkpath(m_root))
        useTemporaryFolder();
}

Profiles::~Profiles() = default;

bool Profiles::useTemporaryFolder()
{
    if (m_temporary)
        return false;
    m_temporary = std::make_unique<QTemporaryDir>(QDir::temp().filePath(QStringLiteral("yanhe-XXXXXX")));
    if (!m_temporary->isValid())
        return false;
    m_root = m_temporary->path();
    return true;
}

int Profiles::take()
{
    const QMutexLocker lock(&m_mutex);
    for (;;) {
        QString problem;
        for (int index = 0; index < kMaxProfiles && problem.isEmpty(); ++index) {
            if (m_locks.contains(index))
                continue;
            auto held = std::make_unique<QLockFile>(folder(index) + QStringLiteral(".lock"));
            held->setStaleLockTime(0); // stale only when its process is gone
            if (held->tryLock(0)) {
                // A tool that ended without ending its soffice leaves a stale lock and a
                // soffice still on the profile: a new one there would hand over to it and exit.
                if (sofficeRunsOn(folder(index)))
                    continue;
                m_locks.emplace(index, std::move(held));
                // A run that ended without cleaning up left its record here.
                const QString record = folder(index) + kRecordSuffix;
                if (QFileInfo::exists(record))
                    cleanUpProfile(folder(index), record);
                return index;
            }
            if (held->error() != QLockFile::LockFailedError)
                problem = QStringLiteral("cannot write %1").arg(QDir::toNativeSeparators(m_root));
        }
        if (problem.isEmpty())
            problem = QStringLiteral("all %1 profiles in %2 are in use").arg(kMaxProfiles).arg(m_root);
        // The cache folder cannot be written: profiles made afresh in a temporary folder.
        if (m_locks.empty() && useTemporaryFolder())
            continue;
        throw RuntimeError(RuntimeError::CannotCreateObject, FailureText::cannotStart(), problem);
    }
}

void Profiles::give(int index)
{
    const QMutexLocker lock(&m_mutex);
    QFile::remove(folder(index) + kRecordSuffix);
    m_locks.erase(index);
}

bool Profiles::isFree(const QString& profile)
{
    {
        const QMutexLocker lock(&m_mutex);
        for (const auto& [index, held] : m_locks) {
            if (QDir::cleanPath(folder(index)) == QDir::cleanPath(profile))
                return false;
        }
    }
    QLockFile probe(profile + QStringLiteral(".lock"));
    probe.setStaleLockTime(0);
    if (!probe.tryLock(0))
        return false;
    probe.unlock();
    return true;
}

QString Profiles::folder(int index) const
{
    return QDir(m_root).filePath(
        QStringLiteral("%1-%2").arg(QLatin1String(OwnProcesses::kProfileMarker)).arg(index));
}

void Profiles::record(int index, const QList<LoadedDocument>& documents)
{
    const QString path = folder(index) + kRecordSuffix;
    if (documents.isEmpty()) {
        QFile::remove(path);
        return;
    }
    QByteArray lines;
    for (const LoadedDocument& document : documents)
        lines += QByteArray::number(document.since) + '\t' + QByteArray::number(document.storing) + '\t' +
                 document.path.toUtf8() + '\n';
    // Best effort: a record that cannot be written only leaves more for the user to clean.
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(lines);
}

void Profiles::cleanUpAfterEndedRuns()
{
    QString root;
    {
        const QMutexLocker lock(&m_mutex);
        if (m_cleanedUp)
            return;
        m_cleanedUp = true;
        root = m_root;
    }
    const QString marker = QLatin1String(OwnProcesses::kProfileMarker);
    for (const QString& name :
         QDir(root).entryList({marker + QStringLiteral("-*") + kRecordSuffix}, QDir::Files)) {
        const QString record = QDir(root).filePath(name);
        const QString profile = record.chopped(kRecordSuffix.size());
        if (!isFree(profile))
            continue;
        // Held while cleaning, so that no other run takes the profile meanwhile
        // and has its live lock files taken for leftovers.
        QLockFile held(profile + QStringLiteral(".lock"));
        held.setStaleLockTime(0);
        if (held.tryLock(0) && !sofficeRunsOn(profile))
            cleanUpProfile(profile, record);
    }
#ifdef Q_OS_LINUX
    // LibreOffice's pipes are sockets in /tmp named after the user's id and the pipe's name.
    const QString prefix = QStringLiteral("OSL_PIPE_%1_yanhe-").arg(::getuid());
    const QDir temporary(QStringLiteral("/tmp"));
    const QStringList pipes = temporary.entryList({prefix + QLatin1Char('*')}, QDir::System | QDir::Hidden);
    QFile unixSockets(QStringLiteral("/proc/net/unix"));
    if (pipes.isEmpty() || !unixSockets.open(QIODevice::ReadOnly))
        return;
    const QByteArray bound = unixSockets.readAll();
    for (const QString& name : pipes) {
        const QString pipe = temporary.filePath(name);
        if (isDeadPipe(pipe, bound))
            QFile::remove(pipe);
    }
#endif
}

void Profiles::cleanUpProfile(const QString& profile, const QString& record)
{
    QFile file(record);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QList<LoadedDocument> documents;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() >= 3)
            documents.append({QString::fromUtf8(line.mid(fields[0].size() + fields[1].size() + 2)),
                              fields[0].toLongLong(), fields[1].toLongLong()});
    }
    file.close();
    removeLeftovers(profile, documents);
    QFile::remove(record);
}

void removeLeftovers(const QString& profile, const QList<LoadedDocument>& documents)
{
    const QString clean = QDir::cleanPath(profile);
    for (const LoadedDocument& document : documents) {
        const QString lock = lockFileOf(document.path);
        if (QFileInfo::exists(lock) && lockingProfile(lock) == clean)
            QFile::remove(lock);
#ifdef Q_OS_LINUX
        // A store writes a temporary file beside the document, then puts it in the document's place.
        if (document.storing <= 0)
            continue;
        const QDir folder = QFileInfo(document.path).dir();
        for (const QFileInfo& temporary :
             folder.entryInfoList({QStringLiteral("lu*.tmp")}, QDir::Files | QDir::Hidden)) {
            if (temporary.ownerId() == ::getuid() &&
                temporary.lastModified().toMSecsSinceEpoch() + 2000 >= document.storing &&
                !SafeReplace::heldOpen(temporary.filePath()))
                QFile::remove(temporary.filePath());
        }
#endif
    }
}

QString lockFileOf(const QString& path)
{
    const QFileInfo info(path);
    return info.dir().filePath(QStringLiteral(".~lock.") + info.fileName() + QLatin1Char('#'));
}

QString lockingProfile(const QString& lockFile)
{
    QFile file(lockFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString content = QString::fromUtf8(file.read(4096));
    const qsizetype at = content.indexOf(QLatin1String(OwnProcesses::kProfileMarker));
    if (at < 0)
        return {};
    const qsizetype start = content.lastIndexOf(QLatin1String("file://"), at);
    const qsizetype end = content.indexOf(QLatin1Char(';'), at);
    return QDir::cleanPath(QUrl(content.mid(start, end < 0 ? -1 : end - start)).toLocalFile());
}

bool isStaleOwnLock(const QString& lockFile)
{
    const QString profile = lockingProfile(lockFile);
    return !profile.isEmpty() && (!QFileInfo::exists(profile) || Profiles::instance().isFree(profile));
}

bool sofficeRunsOn(const QString& profile)
{
#ifdef Q_OS_LINUX
    const QByteArray option = "-env:UserInstallation=" + fileUrl(profile).toUtf8();
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!entry.front().isDigit())
            continue;
        QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!commandLine.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> arguments = commandLine.readAll().split('\0');
        if (arguments.contains(option))
            return true;
    }
#else
    Q_UNUSED(profile);
#endif
    return false;
}

} // namespace unooffice
