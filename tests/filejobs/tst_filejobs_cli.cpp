#include "support/CliRun.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// yanhe-cli rename and delete on folders they have never seen.
namespace {

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

// Hidden as the platform hides a file: POSIX by the "." its name begins with, Windows by
// its attribute.
void hide(const QString& path)
{
#ifdef Q_OS_WIN
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    QVERIFY(SetFileAttributesW(name.c_str(), GetFileAttributesW(name.c_str()) | FILE_ATTRIBUTE_HIDDEN));
#else
    QVERIFY(QFileInfo(path).fileName().startsWith('.'));
#endif
}

// A path as the user gives it, with the platform's separators, which the lines name the files by.
QString inDir(const QTemporaryDir& dir, const char* name)
{
    return QDir::toNativeSeparators(dir.filePath(QString::fromUtf8(name)));
}

} // namespace

class TestFileJobsCli : public QObject
{
    Q_OBJECT
private slots:
    void renameReportsTakenNamesOnStdout();
    void deleteNeedsUnlock();

private:
    CliRun cli(const QStringList& arguments) { return CliRun::of(arguments, m_app.path()); }
    // The journal's messages, without the time in front. The journal is in the system's
    // code page (on a Chinese Windows, 936).
    QStringList journal()
    {
        QStringList files;
        QDirIterator it(m_app.filePath("Journal"), {"*.txt"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        files.sort();
        QStringList lines;
        const QRegularExpression time("\\d:\\d\\d ");
        for (const QString& file : files) {
            for (const QString& line : QString::fromLocal8Bit(bytes(file)).split("\r\n", Qt::SkipEmptyParts))
                lines << line.mid(line.indexOf(time) + 5);
        }
        return lines;
    }

    QTemporaryDir m_app;
};

void TestFileJobsCli::renameReportsTakenNamesOnStdout()
{
    QTemporaryDir dir;
    const QString a = inDir(dir, "甲.doc");
    const QString b = inDir(dir, "乙.doc");
    write(a, "A");
    write(b, "B");

    // The second file finds the first one's new name taken; no name boxes are printed.
    CliRun run = cli({"rename", "--text", "新", "--step", "-2", "--position", "0", a, b});
    QCOMPARE(run.out, (QStringList{a + " 已改名为 新-2.doc", b + " 文件存在"}));
    QCOMPARE(run.code, 1);
    QVERIFY(run.err.isEmpty());
    QCOMPARE(bytes(dir.filePath("新-2.doc")), QByteArray("A"));
    QCOMPARE(bytes(b), QByteArray("B"));
    QCOMPARE(journal(), QStringList{a + " 已改名为 新-2.doc"});

    run = cli({"rename", "--text", "新", "--position", "5", b});
    QCOMPARE(run.out, QStringList{b + " 已改名为 乙.doc新1"});
    QCOMPARE(run.code, 0);
}

void TestFileJobsCli::deleteNeedsUnlock()
{
    QTemporaryDir dir;
    const QString plain = inDir(dir, "a.doc");
    const QString hidden = inDir(dir, ".b.doc");
    write(plain, "A");
    write(hidden, "B");
    hide(hidden);

    CliRun run = cli({"delete", plain});
    QCOMPARE(run.code, 2);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.err.count('\n'), 0);
    QVERIFY2(run.err.startsWith("yanhe-cli: ") && run.err.contains("--unlock"), qPrintable(run.err));
    QCOMPARE(bytes(plain), QByteArray("A"));

    // The hidden file, a folder and a missing file are not deleted, each with its line saying
    // why; they are left, so the exit code is 1.
    const QString folder = inDir(dir, "folder.doc");
    QVERIFY(QDir().mkpath(folder));
    const QString gone = inDir(dir, "gone.doc");
    run = cli({"delete", "--unlock", plain, hidden, folder, gone});
    const QStringList lines{gone + " 删除失败，未修改：文件不存在", folder + " 删除失败，未修改：这是文件夹",
                            hidden + " 删除失败，未修改：这是隐藏文件", plain + " 已删除文件"};
    QCOMPARE(run.out, lines);
    QCOMPARE(run.code, 1);
    QVERIFY(!QFileInfo::exists(plain));
    QCOMPARE(bytes(hidden), QByteArray("B"));
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(journal().mid(journal().size() - lines.size()), lines);

    write(plain, "A");
    run = cli({"delete", "--unlock", plain});
    QCOMPARE(run.code, 0);
    QVERIFY(!QFileInfo::exists(plain));

    // A file name that begins with "-" is read as options and nothing is deleted; the error says
    // that -- ends the options, and after -- the file is deleted.
    const QString lead = dir.filePath("-lead.docx");
    write(lead, "L");
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    run = cli({"delete", "--unlock", "-lead.docx"});
    const CliRun ended = cli({"delete", "--unlock", "--", "-lead.docx"});
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(run.code, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains("-- ends the options") && run.err.contains("-- -lead.docx"),
             qPrintable(run.err));
    QCOMPARE(ended.out, QStringList{QDir::toNativeSeparators(lead) + " 已删除文件"});
    QCOMPARE(ended.code, 0);
    QVERIFY(!QFileInfo::exists(lead));
}

QTEST_GUILESS_MAIN(TestFileJobsCli)
#include "tst_filejobs_cli.moc"
