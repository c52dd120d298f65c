#include "support/CliRun.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

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

} // namespace

class TestFileJobsCli : public QObject
{
    Q_OBJECT
private slots:
    void renameReportsTakenNamesOnStdout();
    void deleteNeedsUnlock();

private:
    CliRun cli(const QStringList& arguments) { return CliRun::of(arguments, m_app.path()); }
    // The journal's messages, without the time in front.
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
            for (const QString& line : QString::fromUtf8(bytes(file)).split("\r\n", Qt::SkipEmptyParts))
                lines << line.mid(line.indexOf(time) + 5);
        }
        return lines;
    }

    QTemporaryDir m_app;
};

void TestFileJobsCli::renameReportsTakenNamesOnStdout()
{
    QTemporaryDir dir;
    const QString a = dir.filePath("甲.doc");
    const QString b = dir.filePath("乙.doc");
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
    const QString plain = dir.filePath("a.doc");
    const QString hidden = dir.filePath(".b.doc");
    write(plain, "A");
    write(hidden, "B");

    CliRun run = cli({"delete", plain});
    QCOMPARE(run.code, 2);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.err.count('\n'), 0);
    QVERIFY2(run.err.startsWith("yanhe-cli: ") && run.err.contains("--unlock"), qPrintable(run.err));
    QCOMPARE(bytes(plain), QByteArray("A"));

    // The hidden file is neither deleted nor reported; it is left, so the exit code is 1.
    run = cli({"delete", "--unlock", plain, hidden});
    QCOMPARE(run.out, QStringList{plain + " 已删除文件"});
    QCOMPARE(run.code, 1);
    QVERIFY(!QFileInfo::exists(plain));
    QCOMPARE(bytes(hidden), QByteArray("B"));
    QVERIFY(journal().endsWith(plain + " 已删除文件"));

    write(plain, "A");
    run = cli({"delete", "--unlock", plain});
    QCOMPARE(run.code, 0);
    QVERIFY(!QFileInfo::exists(plain));
}

QTEST_GUILESS_MAIN(TestFileJobsCli)
#include "tst_filejobs_cli.moc"
