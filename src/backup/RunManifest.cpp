#include "RunManifest.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

int RunManifest::fileCount() const
{
    QSet<QString> files;
    for (const Entry& entry : entries)
        files.insert(entry.kind == Entry::Kind::Renamed ? entry.to : entry.path);
    return int(files.size());
}

RunManifest RunManifest::read(const QString& folder)
{
    RunManifest run;
    const QDir dir(folder);
    QFile record(dir.filePath(QStringLiteral("run.json")));
    if (!record.open(QIODevice::ReadOnly))
        return run;
    const QJsonObject object = QJsonDocument::fromJson(record.readAll()).object();
    if (object.value(QStringLiteral("id")).toString() != dir.dirName())
        return run;
    run.id = dir.dirName();
    run.folder = dir.absolutePath();
    run.start = QDateTime::fromString(object.value(QStringLiteral("start")).toString(), Qt::ISODateWithMs);
    run.job = object.value(QStringLiteral("job")).toString();
    for (const QJsonValue& input : object.value(QStringLiteral("inputs")).toArray())
        run.inputs << input.toString();

    for (const QString& name : dir.entryList({QStringLiteral("files-*.jsonl")}, QDir::Files, QDir::Name)) {
        QFile manifest(dir.filePath(name));
        if (!manifest.open(QIODevice::ReadOnly))
            continue;
        QHash<QString, qsizetype> replaced; // path -> its entry, within this process's file
        for (const QByteArray& line : manifest.readAll().split('\n')) {
            const QJsonObject fields = QJsonDocument::fromJson(line).object();
            if (fields.isEmpty())
                continue;
            Entry entry;
            entry.size = qint64(fields.value(QStringLiteral("size")).toDouble());
            entry.mtimeNs = fields.value(QStringLiteral("mtime")).toString().toLongLong();
            if (fields.contains(QStringLiteral("renamed"))) {
                entry.kind = Entry::Kind::Renamed;
                entry.path = fields.value(QStringLiteral("renamed")).toString();
                entry.to = fields.value(QStringLiteral("to")).toString();
                run.entries << entry;
                continue;
            }
            entry.path = fields.value(QStringLiteral("path")).toString();
            entry.written = fields.value(QStringLiteral("written")).toString().toLatin1();
            if (!fields.contains(QStringLiteral("copy"))) {
                // A later save of a file kept before.
                if (const auto found = replaced.constFind(entry.path); found != replaced.constEnd())
                    run.entries[*found].written = entry.written;
                continue;
            }
            entry.copy = dir.filePath(fields.value(QStringLiteral("copy")).toString());
            entry.sha256 = fields.value(QStringLiteral("sha256")).toString().toLatin1();
            replaced.insert(entry.path, run.entries.size());
            run.entries << entry;
        }
    }
    return run;
}

QList<RunManifest> RunManifest::all(const QString& backupFolder)
{
    QList<RunManifest> runs;
    const QDir dir(backupFolder);
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        RunManifest run = read(dir.filePath(name));
        if (!run.id.isEmpty() && !run.entries.isEmpty())
            runs << run;
    }
    return runs;
}
