#pragma once

#include "app/FileKeeper.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>

class AppFolders;

// How much the backup folder keeps: the last `runs` runs and no more than
// `bytes` in all, the oldest runs going first. Read from the application
// folder's toconfigure/backup.ini (keys runs, mib), where a user may change it.
struct BackupBound
{
    int runs = 20;
    qint64 bytes = qint64(2048) * 1024 * 1024;

    static BackupBound read(const AppFolders& folders);
    // False when the file cannot be written.
    bool write(const AppFolders& folders) const;
};

// The backups of one run: the application folder's backup/RUN/, one folder
// for every process of the run. Each process appends its own manifest
// (files-PID.jsonl); the process that began the run wrote run.json.
class BackupStore final : public FileKeeper
{
public:
    // The environment variable that hands a run's id to its worker processes.
    static constexpr char kRunVariable[] = "YANHE_BACKUP_RUN";

    // A new run of job with its inputs over files: its folder made, older runs
    // dropped to keep within the bound. A run whose files alone exceed the
    // bound keeps nothing; notice then says so (empty otherwise). The run
    // spare (the one an undo reads from) is not dropped.
    static std::unique_ptr<BackupStore> begin(const AppFolders& folders, const QString& job,
                                              const QStringList& inputs, const QStringList& files,
                                              QString& notice, const QString& spare = {});
    // The run another process of it began, by the run's folder (a worker's, whose
    // application folder may differ from the run's); null when it names no run.
    static std::unique_ptr<BackupStore> join(const QString& runFolder);

    ~BackupStore() override;

    const QString& runId() const { return m_id; }
    const QString& folder() const { return m_folder; }
    bool keeping() const { return m_keeping; }

    // RuntimeError "无法写入备份" when the copy or its line cannot be written.
    void keep(const QString& target, const QString& result) override;
    void renamed(const QString& from, const QString& to) override;

    // The run is over: a run that kept nothing leaves no folder behind.
    void finish();
    // The same, then older runs dropped until this one is within bound.
    void finish(const BackupBound& bound);

    // The application folder's backup folder.
    static QString backupFolder(const AppFolders& folders);
    // The SHA-256 of a file's bytes in hex; empty when it cannot be read.
    static QByteArray sha256(const QString& path);
    // A file's modification time in nanoseconds; 0 when there is no such file.
    static qint64 mtimeNs(const QString& path);
    // Copies from to a new file to, as a clone where the file system can, else byte for
    // byte; false with the reason otherwise (nothing left at to).
    static bool copyFile(const QString& from, const QString& to, QString& why);

    static QString cannotKeepText() { return QStringLiteral("无法写入备份"); }
    static QString overBoundText(qint64 bytes, qint64 bound);

private:
    BackupStore(QString id, QString folder, bool keeping);
    void append(const QByteArray& line);

    QString m_id;
    QString m_folder;
    bool m_keeping;
    QMutex m_mutex;
    QFile m_manifest;
    QSet<QString> m_kept;
    int m_copies = 0;
};
