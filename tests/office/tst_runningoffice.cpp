#include "office/OwnProcesses.h"
#include "office/SystemRunningOffice.h"
#include "support/ChildProcess.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_LINUX
#include <csignal>
#endif

// A second LibreOffice, started as a user would start it, holding a document
// open. The service under test is narrowed to this test's own process tree:
// the test sees and ends only the soffice it started, never anybody else's.
class TestRunningOffice : public QObject
{
    Q_OBJECT
private slots:
    void findsAndEndsTheUsersOffice();
};

void TestRunningOffice::findsAndEndsTheUsersOffice()
{
#ifndef Q_OS_LINUX
    QSKIP("the LibreOffice process list is read on Linux");
#else
    const QString soffice = QStandardPaths::findExecutable("soffice");
    if (soffice.isEmpty())
        QSKIP("LibreOffice is not installed");
    QTemporaryDir dir;
    const QString document = dir.filePath("open.rtf");
    writeFile(document, "{\\rtf1\\ansi Hello}");
    // soffice.bin among pid and its children, read independently of the service under test.
    const auto officeProcessesAt = [](qint64 pid) {
        QList<qint64> found;
        for (const ProcessEntry& process : processTable()) {
            if (process.name == "soffice.bin" && (process.pid == pid || process.parent == pid))
                found << process.pid;
        }
        return found;
    };
    const std::unique_ptr<RunningOffice> office =
        createSystemRunningOfficeUnder(QCoreApplication::applicationPid());
    QVERIFY(!office->openDocuments("Word.Application").has_value());

    QProcess user;
    endsWithTheTest(user);
    // Whatever fails below, the soffice started here ends (a killed launcher alone would leave
    // soffice.bin running); its children are looked up while it runs, so no pid was reused.
    const auto endStarted = qScopeGuard([&] {
        OwnProcesses::remove(user.processId());
        if (user.state() == QProcess::NotRunning)
            return;
        for (const qint64 pid : officeProcessesAt(user.processId()))
            ::kill(pid_t(pid), SIGKILL);
        user.waitForFinished(10000);
    });
    user.start(soffice, {"--headless", "--norestore", "--nologo",
                         "-env:UserInstallation=file://" + dir.filePath("profile"), document});
    QVERIFY(user.waitForStarted());
    std::optional<QStringList> open;
    for (QDeadlineTimer deadline(90000); !deadline.hasExpired(); QTest::qWait(200)) {
        open = office->openDocuments("word.application");
        if (open && open->contains(document))
            break;
    }
    QVERIFY2(open && open->contains(document), "LibreOffice did not show the document as open");
    QCOMPARE(officeProcessesAt(user.processId()).size(), 1);
    // The same program runs, but holds no workbook.
    const std::optional<QStringList> workbooks = office->openDocuments("Excel.Application");
    QVERIFY(workbooks.has_value() && workbooks->isEmpty());
    // The tool as the user runs it sees every LibreOffice of the user, this one too
    // (only looked at here: ending is left to the narrowed service).
    const std::optional<QStringList> seenByTheTool =
        createSystemRunningOffice()->openDocuments("Word.Application");
    QVERIFY(seenByTheTool && seenByTheTool->contains(document));

    // Outside the tree it is narrowed to, the service sees and ends nothing.
    QProcess other;
    endsWithTheTest(other);
    const auto endOther = qScopeGuard([&] {
        other.kill();
        other.waitForFinished(10000);
    });
    other.start("sleep", {"600"});
    QVERIFY(other.waitForStarted());
    const std::unique_ptr<RunningOffice> elsewhere = createSystemRunningOfficeUnder(other.processId());
    QVERIFY(!elsewhere->openDocuments("Word.Application").has_value());
    QCOMPARE(elsewhere->endAllProcesses("winword.EXE"), 0);
    QCOMPARE(user.state(), QProcess::Running);

    // The tool's own office processes (and their children) are not the user's.
    OwnProcesses::add(user.processId());
    QVERIFY(!office->openDocuments("Word.Application").has_value());
    QCOMPARE(office->endAllProcesses("winword.EXE"), 0);
    QCOMPARE(user.state(), QProcess::Running);
    OwnProcesses::remove(user.processId());

    QCOMPARE(office->endAllProcesses("winword.EXE"), 1);
    QVERIFY(user.waitForFinished(30000));
    QVERIFY(!office->openDocuments("Word.Application").has_value());
    QVERIFY(!QFile::exists(dir.filePath(".~lock.open.rtf#")));
    QVERIFY(QFile::exists(document));
#endif
}

QTEST_GUILESS_MAIN(TestRunningOffice)
#include "tst_runningoffice.moc"
