#include "support/CliRun.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>

// yanhe-cli --jobs: the same job on several office processes at once prints,
// journals and changes exactly what a run on one does. Told to stop by SIGINT or
// SIGTERM in the middle of a run, on one office process and on several: no worker
// and no office process stays.
namespace {

// The live descendants of pid: its workers and office processes.
QList<ProcessEntry> processesUnder(qint64 pid)
{
    const QList<ProcessEntry> table = processTable();
    QMap<qint64, qint64> parents;
    for (const ProcessEntry& process : table)
        parents[process.pid] = process.parent;
    QList<ProcessEntry> found;
    for (const ProcessEntry& process : table) {
        for (qint64 up = process.parent; up > 1 && !process.zombie; up = parents.value(up, 0)) {
            if (up == pid) {
                found << process;
                break;
            }
        }
    }
    return found;
}

// Two copies of the same files, one for each run.
struct Twins
{
    QTemporaryDir one;
    QTemporaryDir many;
    QTemporaryDir oneApp;
    QTemporaryDir manyApp;
    QStringList names;

    QStringList files(const QTemporaryDir& dir) const
    {
        QStringList paths;
        for (const QString& name : names)
            paths << QDir::toNativeSeparators(dir.filePath(name));
        return paths;
    }
    // What the run over `many` printed, as if it had been over `one`.
    QStringList asOne(QStringList lines) const
    {
        for (QString& line : lines)
            line.replace(QDir::toNativeSeparators(many.path()), QDir::toNativeSeparators(one.path()));
        return lines;
    }
    void copy() const
    {
        for (const QString& name : names)
            writeFile(many.filePath(name), bytes(one.filePath(name)));
    }
    // The job over `one` on one office process and over `many` with `jobs` (the default when empty):
    // the runs print and journal the same. The first run's result.
    void run(const QStringList& job, const QString& jobs, CliRun& single) const
    {
        single = CliRun::of(job + QStringList{"--jobs", "1"} + files(one), oneApp.path());
        const CliRun several =
            CliRun::of(job + (jobs.isEmpty() ? QStringList() : QStringList{"--jobs", jobs}) + files(many),
                       manyApp.path());
        QCOMPARE(asOne(several.out), single.out);
        QCOMPARE(several.err, single.err);
        QCOMPARE(several.code, single.code);
        QCOMPARE(asOne(journalMessages(manyApp.path() + "/Journal")),
                 journalMessages(oneApp.path() + "/Journal"));
    }
};

} // namespace

class TestCliJobs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void documentsAsWithOneEngine();
    void workbooksAsWithOneEngine();
    void killedWorkerCostsOnlyItsFile();
    void stopMidRun_data();
    void stopMidRun();

private:
    QTemporaryDir m_made; // the documents the stopped runs work on
    QStringList m_names;
};

void TestCliJobs::documentsAsWithOneEngine()
{
    Twins twins;
    const UnoDocuments::WordContent with{{"正文 OLD 一", "第二段 OLD"}, {}, {"页眉 OLD"}, {"页脚"}, {}};
    const UnoDocuments::WordContent without{{"正文 一", "第二段"}, {}, {"页眉"}, {"页脚"}, {}};
    // Documents with and without the text, of both formats, mixed in list order; one broken file.
    const QList<std::pair<QString, bool>> made = {
        {"a1.doc", true},   {"a2.docx", false}, {"b/a3.doc", false}, {"a4.docx", true},
        {"b/a5.doc", true}, {"a6.doc", false},  {"a8.docx", true},
    };
    QDir(twins.one.path()).mkpath("b");
    for (const auto& [name, hasText] : made) {
        UnoDocuments::writeDocument(twins.one.filePath(name), hasText ? with : without);
        twins.names << name;
    }
    writeFile(twins.one.filePath("a7 坏.doc"), "\xD0\xCF\x11\xE0 not really a document\r\n");
    twins.names.insert(6, "a7 坏.doc");
    twins.copy();
    QMap<QString, QByteArray> before;
    for (const QString& name : std::as_const(twins.names))
        before.insert(name, bytes(twins.one.filePath(name)));

    // The default: one office process per core (the workbooks below name a number).
    CliRun one;
    twins.run({"word-replace", "--old", "OLD", "--new", "新\r\n文", "--scope", "headers-footers"}, {}, one);
    QCOMPARE(one.out.size(), twins.names.size());
    QVERIFY2(one.out.at(6).contains("失败，未修改"), qPrintable(one.out.at(6)));
    QCOMPARE(one.err, QString("已完成 8 个文件！ 全部操作已完成"));
    QCOMPARE(one.code, 1);
    QVERIFY(journalMessages(twins.oneApp.path() + "/Journal").size() >= twins.names.size());

    for (const auto& [name, hasText] : made) {
        const QString oneFile = twins.one.filePath(name);
        const QString manyFile = twins.many.filePath(name);
        QCOMPARE(bytes(oneFile) != before.value(name), hasText);
        QCOMPARE(bytes(manyFile) != before.value(name), hasText);
        if (hasText)
            QCOMPARE(UnoDocuments::stories(manyFile), UnoDocuments::stories(oneFile));
    }
    QCOMPARE(bytes(twins.many.filePath("a7 坏.doc")), before.value("a7 坏.doc"));
}

void TestCliJobs::workbooksAsWithOneEngine()
{
    Twins twins;
    const QList<UnoDocuments::SheetContent> with = {{"表一", {{1, 1, "OLD 甲"}, {2, 3, "乙"}}},
                                                    {"表二", {{4, 2, "x OLD y"}}}};
    const QList<UnoDocuments::SheetContent> without = {{"表一", {{1, 1, "甲"}}}};
    twins.names = {"w1.xls", "w2.xlsx", "w3.xls", "w4.xlsx"};
    for (const QString& name : std::as_const(twins.names))
        UnoDocuments::writeWorkbook(twins.one.filePath(name),
                                    name == "w1.xls" || name == "w4.xlsx" ? with : without);
    twins.copy();

    // More office processes asked for than there are files: one per file.
    CliRun one;
    twins.run({"sheet-replace", "--old", "OLD", "--new", "NEW"}, "9", one);
    QCOMPARE(one.code, 0);
    // One line per worksheet: a file's lines stay together.
    const QStringList files = twins.files(twins.one);
    QCOMPARE(one.out, (QStringList{files[0] + "-表一已替换内容", files[0] + "-表二已替换内容",
                                   files[1] + "-表一没找到替换的内容", files[2] + "-表一没找到替换的内容",
                                   files[3] + "-表一已替换内容", files[3] + "-表二已替换内容"}));
    QCOMPARE(one.err, QString("已完成 4 个文件！ 全部操作已完成"));
    for (const char* name : {"w1.xls", "w4.xlsx"}) {
        const QStringList cells = UnoDocuments::stories(twins.many.filePath(name)).value("cells");
        QVERIFY2(cells.join(' ').contains("NEW 甲") && !cells.join(' ').contains("OLD"),
                 qPrintable(cells.join(' ')));
    }
}

void TestCliJobs::killedWorkerCostsOnlyItsFile()
{
    // Documents the lossless engine edits: no office process is left behind by the worker killed.
    QTemporaryDir dir;
    QTemporaryDir app;
    const UnoDocuments::WordContent content{{"正文 OLD"}, {}, {}, {}, {}};
    QStringList files;
    for (int i = 0; i < 7; ++i) {
        files << QDir::toNativeSeparators(dir.filePath(QString("d%1.docx").arg(i)));
        UnoDocuments::writeDocument(files.last(), content);
    }
    const QByteArray original = bytes(files.at(2));
    // A name with what the workers' records must carry through: backslashes, line breaks.
    const QString odd = dir.filePath("d3 \\n \\\\ \n \r x.docx");
    QVERIFY(QFile::rename(files.at(3), odd));
    files[3] = odd;

    // The worker of rows 0, 2, 4 and 6 dies in the middle of row 2 (the tests' build of yanhe-cli).
    QProcessEnvironment kill;
    kill.insert("YANHE_CLI_TEST_KILL_AT_ROW", "3");
    const CliRun run =
        CliRun::of(QStringList{"word-replace", "--old", "OLD", "--new", "NEW", "--jobs", "2"} << files,
                   app.path(), kill, YANHE_CLI_FAULTY);
    QCOMPARE(run.code, 1);
    QStringList expected;
    for (const QString& file : std::as_const(files))
        expected << file + " 已替换内容";
    expected[2] = files.at(2) + " 处理失败，未修改：处理此文件的进程意外退出";
    // stdout shows the line breaks of a name its own way; the journal holds the name as it is.
    QCOMPARE(run.out.first(3), expected.first(3));
    QCOMPARE(run.out.last(3), expected.last(3));
    QCOMPARE(run.err, QString("已完成 7 个文件！ 全部操作已完成"));
    const QStringList lines = journalMessages(app.path() + "/Journal");
    QCOMPARE(lines.size(), 7);
    QVERIFY2(lines.at(2).startsWith(expected.at(2) + "（"), qPrintable(lines.at(2)));
    QCOMPARE(lines.at(3), expected.at(3));
    QCOMPARE(bytes(files.at(2)), original);
    for (int i : {0, 1, 3, 4, 5, 6})
        QVERIFY2(bytes(files.at(i)) != original, qPrintable(files.at(i)));
}

void TestCliJobs::initTestCase()
{
    for (int i = 0; i < 10; ++i) {
        m_names << QString("s%1.doc").arg(i);
        UnoDocuments::writeDocument(m_made.filePath(m_names.last()),
                                    {{QString("第 %1 篇 OLD").arg(i)}, {}, {}, {}, {}});
    }
}

void TestCliJobs::stopMidRun_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QStringList>("extra");
    QTest::newRow("SIGINT") << int(SIGINT) << QStringList();
    QTest::newRow("SIGTERM") << int(SIGTERM) << QStringList();
    QTest::newRow("SIGINT, two workers") << int(SIGINT) << QStringList{"--jobs", "2"};
    QTest::newRow("SIGTERM, two workers") << int(SIGTERM) << QStringList{"--jobs", "2"};
}

void TestCliJobs::stopMidRun()
{
    QFETCH(int, signal);
    QFETCH(QStringList, extra);
    QTemporaryDir dir;
    QStringList files;
    for (const QString& name : std::as_const(m_names)) {
        files << dir.filePath(name);
        QVERIFY(QFile::copy(m_made.filePath(name), files.last()));
    }
    QTemporaryDir app;
    QProcess run;
    QProcessEnvironment engine;
    engine.insert("YANHE_ENGINE", "libreoffice");
    CliRun::start(run, QStringList{"word-replace", "--old", "OLD", "--new", "NEW"} + extra + files,
                  app.path(), engine);
    QVERIFY(run.waitForStarted());

    // Told to stop once the first file is reported.
    QByteArray out;
    readFirstLine(run, out, 180000);
    QCOMPARE(run.state(), QProcess::Running);
    const QList<ProcessEntry> under = processesUnder(run.processId());
    QVERIFY(std::any_of(under.cbegin(), under.cend(),
                        [](const ProcessEntry& process) { return process.name.startsWith("soffice"); }));
    ::kill(pid_t(run.processId()), signal);
    QVERIFY(run.waitForFinished(120000));
    out += run.readAllStandardOutput();

    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), 128 + signal);
    const QStringList lines = QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts);
    const QRegularExpressionMatch stopped =
        QRegularExpression("^ 用户停止，未处理 (\\d+) 个文件$").match(lines.last());
    QVERIFY2(stopped.hasMatch(), qPrintable(lines.join('\n')));
    const int left = stopped.captured(1).toInt();
    QVERIFY2(left > 0 && left < files.size(), qPrintable(lines.join('\n')));
    QCOMPARE(journalMessages(app.path() + "/Journal").last(), lines.last());
    // One line per file worked on, in list order, then the stop; every file done
    // or left byte for byte as it was.
    QStringList reported;
    for (const QString& line : lines.mid(0, lines.size() - 1)) {
        QVERIFY2(line.endsWith(" 已替换内容"), qPrintable(line));
        reported << line.chopped(QString(" 已替换内容").size());
    }
    QCOMPARE(reported.size(), files.size() - left);
    int from = 0;
    for (int i = 0; i < files.size(); ++i) {
        const int at = reported.indexOf(QDir::toNativeSeparators(files.at(i)));
        if (at < 0) {
            QCOMPARE(bytes(files.at(i)), bytes(m_made.filePath(m_names.at(i))));
            continue;
        }
        QVERIFY(at >= from);
        from = at;
        QVERIFY(UnoDocuments::rendered(files.at(i)).contains(QString("第 %1 篇 NEW").arg(i)));
    }
    // No worker and no soffice stays.
    for (const ProcessEntry& process : under)
        QTRY_VERIFY_WITH_TIMEOUT(!processRuns(process.pid), 10000);
}

QTEST_GUILESS_MAIN(TestCliJobs)
#include "tst_cli_jobs.moc"
