#pragma once

#include "support/ZipFiles.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

// Files, journals and processes as the tests look at them.

// A file's bytes; empty when it cannot be read.
inline QByteArray bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes a file whole, its folder made first; a failure fails the test.
inline void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

// Every entry under a folder, hidden ones too, by path: a file with its bytes and modification time,
// a folder as such.
using FileStates = QMap<QString, std::pair<QByteArray, QDateTime>>;
inline FileStates fileStates(const QString& folder)
{
    FileStates states;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        states.insert(path, it.fileInfo().isDir() ? std::pair(QByteArray("<dir>"), QDateTime())
                                                  : std::pair(bytes(path), it.fileInfo().lastModified()));
    }
    return states;
}

// The folder holds the entries it held, each file with its bytes and time; except (a path) may differ.
inline void checkUnchanged(const FileStates& before, const QString& folder, const QString& except = {})
{
    const FileStates now = fileStates(folder);
    QCOMPARE(now.keys(), before.keys());
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QVERIFY2(it.key() == except || now.value(it.key()) == *it, qPrintable(it.key()));
}

// One data row per file format, named by its suffix, in the column "suffix".
inline void suffixes(const QStringList& list)
{
    QTest::addColumn<QString>("suffix");
    for (const QString& suffix : list)
        QTest::newRow(qPrintable(suffix)) << suffix;
}

// The locks, results and temporary files that the tool or the office program may leave in a folder
// tree (".~" names, LibreOffice's lu*.tmp), sorted.
inline QStringList leftovers(const QString& root)
{
    QStringList found;
    static const QRegularExpression temporary(QStringLiteral("^lu.*\\.tmp$"));
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName().startsWith(".~") || temporary.match(it.fileName()).hasMatch())
            found << path;
    }
    found.sort();
    return found;
}

// The messages of every journal file under the journal folder, in order, without their time.
inline QStringList journalMessages(const QString& journalFolder)
{
    QStringList files;
    QDirIterator it(journalFolder, {"*.txt"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    static const QRegularExpression time("\\d:\\d\\d "); // the end of "时间：date h:mm:ss "
    QStringList messages;
    for (const QString& file : std::as_const(files)) {
        for (const QString& line : QString::fromUtf8(bytes(file)).split("\r\n", Qt::SkipEmptyParts))
            messages << line.mid(line.indexOf(time) + 5);
    }
    return messages;
}

// What the lines that name path say after it: those that start with it and a blank or a dash.
inline QStringList linesOf(const QStringList& out, const QString& path)
{
    QStringList lines;
    for (const QString& line : out) {
        if (line.startsWith(path + ' ') || line.startsWith(path + '-'))
            lines << line.mid(path.size());
    }
    return lines;
}

// The text of a package's XML parts, tags dropped: runs may split a text anywhere.
inline QString packageText(const QString& path)
{
    static const QRegularExpression tag("<[^>]*>");
    QString text;
    const QMap<QString, QByteArray> parts = ZipFiles::read(path);
    for (auto it = parts.cbegin(); it != parts.cend(); ++it) {
        if (it.key().endsWith(".xml"))
            text += QString::fromUtf8(it.value()).remove(tag);
    }
    return text;
}

// A process as /proc shows it.
struct ProcessEntry
{
    qint64 pid = 0;
    QString name; // what stat shows in parentheses, at most 15 characters
    qint64 parent = 0;
    bool zombie = false;
    QByteArray commandLine; // arguments separated by NUL
};

// Every process there is now, zombies included.
inline QList<ProcessEntry> processTable()
{
    QList<ProcessEntry> table;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        const QString stat = QString::fromLatin1(bytes("/proc/" + entry + "/stat"));
        const qsizetype open = stat.indexOf('(');
        const qsizetype close = stat.lastIndexOf(')');
        if (!number || open < 0 || close < open)
            continue;
        const QStringList fields = stat.mid(close + 2).split(' ');
        table.append({pid, stat.mid(open + 1, close - open - 1), fields.value(1).toLongLong(),
                      fields.value(0) == "Z", bytes("/proc/" + entry + "/cmdline")});
    }
    return table;
}

// Whether pid runs and is not a zombie.
inline bool processRuns(qint64 pid)
{
    const QString stat = QString::fromLatin1(bytes(QStringLiteral("/proc/%1/stat").arg(pid)));
    return !stat.isEmpty() && !stat.mid(stat.lastIndexOf(')') + 2).startsWith('Z');
}

// The soffice.bin processes whose parent is pid (this test, unless told), zombies left out.
inline QList<qint64> sofficesOf(qint64 parent = QCoreApplication::applicationPid())
{
    QList<qint64> found;
    for (const ProcessEntry& process : processTable()) {
        if (process.name == "soffice.bin" && process.parent == parent && !process.zombie)
            found << process.pid;
    }
    return found;
}

// Reads process's standard output into out until out holds a whole line, the process ends or ms
// pass; whether it holds one.
inline bool readFirstLine(QProcess& process, QByteArray& out, int ms)
{
    for (QDeadlineTimer deadline(ms);
         !out.contains('\n') && !deadline.hasExpired() && process.state() == QProcess::Running;) {
        process.waitForReadyRead(500);
        out += process.readAllStandardOutput();
    }
    return out.contains('\n');
}
