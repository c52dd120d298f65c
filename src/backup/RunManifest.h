#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// What one run kept, read back from its folder in the application folder's
// backup folder: the run's own record (run.json) and the files every process
// of the run recorded (files-PID.jsonl, one JSON object a line).
struct RunManifest
{
    // One file the run changed: replaced (path, the copy of its original, its
    // size, SHA-256 and modification time, the SHA-256 of what the run wrote)
    // or renamed (from, to, and the size and modification time it had then).
    struct Entry
    {
        enum class Kind { Replaced, Renamed } kind = Kind::Replaced;
        QString path; // Replaced: the file; Renamed: the old name
        QString to;   // Renamed: the new name
        QString copy; // Replaced: the kept original, in the run's folder
        qint64 size = 0;
        QByteArray sha256;  // hex of the original's bytes
        QByteArray written; // hex of the bytes the run wrote
        qint64 mtimeNs = 0; // the original's modification time
    };

    QString id;
    QString folder;
    QDateTime start;
    QString job;
    QStringList inputs;
    QList<Entry> entries; // in the order the run made the changes, process by process

    // The files the run changed, each counted once.
    int fileCount() const;

    // The run in folder; an id left empty when the folder holds no run.
    static RunManifest read(const QString& folder);
    // The runs of the backup folder, oldest first, those that changed nothing left out.
    static QList<RunManifest> all(const QString& backupFolder);
};
