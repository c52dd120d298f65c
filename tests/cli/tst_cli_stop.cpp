#include "support/ChildProcess.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <csignal>

// yanhe-cli told to stop by SIGINT or SIGTERM in the middle of a run, on one
// office process and on several: no worker and no office process stays.
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

} // namespace

class TestCliStop : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void stopMidRun_data();
    void stopMidRun();

private:
    QTemporaryDir m_made;
    QStringList m_names;
};

void TestCliStop::initTestCase()
{
    for (int i = 0; i < 10; ++i) {
        m_names << QString("s%1.doc").arg(i);
        UnoDocuments::writeDocument(m_made.filePath(m_names.last()),
                                    {{QString("第 %1 篇 OLD").arg(i)}, {}, {}, {}, {}});
    }
    UnoDocuments::shutdown();
}

void TestCliStop::stopMidRun_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QStringList>("extra");
    QTest::newRow("SIGINT") << int(SIGINT) << QStringList();
    QTest::newRow("SIGTERM") << int(SIGTERM) << QStringList();
    QTest::newRow("SIGINT, two workers") << int(SIGINT) << QStringList{"--jobs", "2"};
    QTest::newRow("SIGTERM, two workers") << int(SIGTERM) << QStringList{"--jobs", "2"};
}

void TestCliStop::stopMidRun()
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
    endsWithTheTest(run);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("YANHE_APP_FOLDER", app.path());
    environment.insert("YANHE_ENGINE", "libreoffice");
    run.setProcessEnvironment(environment);
    run.start(YANHE_CLI, QStringList{"word-replace", "--old", "OLD", "--new", "NEW"} + extra + files);
    QVERIFY(run.waitForStarted());

    // Told to stop once the first file is reported.
    QByteArray out;
    for (QDeadlineTimer deadline(180000); !out.contains('\n') && !deadline.hasExpired();) {
        if (run.waitForReadyRead(1000))
            out += run.readAllStandardOutput();
        else if (run.state() != QProcess::Running)
            break;
    }
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

QTEST_GUILESS_MAIN(TestCliStop)
#include "tst_cli_stop.moc"
