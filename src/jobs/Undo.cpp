#include "Undo.h"

#include "app/AppFolders.h"
#include "app/FailureText.h"
#include "app/JobHost.h"
#include "app/RuntimeError.h"
#include "backup/BackupStore.h"
#include "filejobs/FileOps.h"
#include "office/SafeReplace.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace jobs {

namespace {

void line(JobHost& host, const QString& text)
{
    host.appendLog(text);
    host.journal(text);
}

void setMtime(const QString& path, qint64 mtimeNs)
{
#ifdef Q_OS_UNIX
    if (mtimeNs <= 0)
        return;
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {time_t(mtimeNs / 1000000000), long(mtimeNs % 1000000000)}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
#else
    QFile file(path);
    if (file.open(QIODevice::ReadWrite))
        file.setFileTime(QDateTime::fromMSecsSinceEpoch(mtimeNs / 1000000),
                         QFileDevice::FileModificationTime);
#endif
}

// Why a file is left: empty when it was given back (or was as before already).
QString restore(const RunManifest::Entry& entry, bool& restored)
{
    restored = false;
    const QString& path = entry.path;
    const SafeReplace::Identity before = SafeReplace::Identity::of(path);
    if (!before.known())
        return FailureText::missing();
    const QByteArray now = BackupStore::sha256(path);
    if (now == entry.sha256)
        return {};
    if (now != entry.written)
        return QStringLiteral("文件在该次操作之后又被改动");
    if (BackupStore::sha256(entry.copy) != entry.sha256)
        return QStringLiteral("备份已损坏");
    try {
        const SafeReplace::DocumentLock lock(path);
        SafeReplace::Result result(path);
        QFile::remove(result.path());
        QString why;
        if (!BackupStore::copyFile(entry.copy, result.path(), why))
            throw RuntimeError(RuntimeError::PathFileAccess, FailureText::notWritten(), why);
        result.place(
            [&](const QString& written) {
                if (BackupStore::sha256(written) != entry.sha256)
                    SafeReplace::refuse(QStringLiteral("the copy of %1 differs from its backup").arg(path));
            },
            before);
    } catch (const RuntimeError& error) {
        return error.description();
    }
    setMtime(path, entry.mtimeNs);
    restored = true;
    return {};
}

QString renameBack(const RunManifest::Entry& entry, FileKeeper* keeper)
{
    const QFileInfo now(entry.to);
    if (!now.exists())
        return FailureText::missing();
    if (now.size() != entry.size || BackupStore::mtimeNs(entry.to) != entry.mtimeNs)
        return QStringLiteral("文件在该次操作之后又被改动");
    if (QFileInfo::exists(entry.path) || QFileInfo(entry.path).isSymLink())
        return QStringLiteral("原文件名已被别的文件占用");
    try {
        FileOps::renameFile(entry.to, entry.path);
    } catch (const RuntimeError& error) {
        return error.description();
    }
    if (keeper)
        keeper->renamed(entry.to, entry.path);
    return {};
}

} // namespace

QList<RunManifest> undoableRuns(const AppFolders& folders)
{
    return RunManifest::all(BackupStore::backupFolder(folders));
}

QString runSummary(const RunManifest& run)
{
    return QStringLiteral("%1 的操作（%2，%3 个文件）")
        .arg(run.start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), run.job)
        .arg(run.fileCount());
}

UndoResult undoRun(JobHost& host, const AppFolders& folders, const RunManifest& run)
{
    UndoResult outcome;
    QStringList files;
    for (const RunManifest::Entry& entry : run.entries) {
        if (entry.kind == RunManifest::Entry::Kind::Replaced)
            files << entry.path;
    }
    line(host, QStringLiteral("撤销 ") + runSummary(run));
    QString notice;
    const std::unique_ptr<BackupStore> store =
        BackupStore::begin(folders, QStringLiteral("undo"), {run.id}, files, notice, run.id);
    if (!notice.isEmpty())
        line(host, notice);
    FileKeeper* const previous = FileKeeper::current();
    FileKeeper::setCurrent(store.get());
    for (auto it = run.entries.crbegin(); it != run.entries.crend(); ++it) {
        const RunManifest::Entry& entry = *it;
        bool restored = true;
        const bool renamed = entry.kind == RunManifest::Entry::Kind::Renamed;
        const QString why = renamed ? renameBack(entry, store.get()) : restore(entry, restored);
        // As the jobs name files (Windows: with backslashes), whatever way the manifest holds it.
        const QString name = QDir::toNativeSeparators(renamed ? entry.to : entry.path);
        if (!why.isEmpty()) {
            ++outcome.left;
            line(host, name + QStringLiteral(" 未恢复：") + why);
        } else if (restored) {
            ++outcome.restored;
            line(host, renamed ? name + QStringLiteral(" 已改回 ") + QFileInfo(entry.path).fileName()
                               : name + QStringLiteral(" 已恢复"));
        }
    }
    FileKeeper::setCurrent(previous);
    store->finish(BackupBound::read(folders));
    QString closing = QStringLiteral("撤销完成：恢复 %1 个文件").arg(outcome.restored);
    if (outcome.left > 0)
        closing += QStringLiteral("，%1 个文件未恢复，详见上方").arg(outcome.left);
    line(host, closing);
    return outcome;
}

} // namespace jobs
