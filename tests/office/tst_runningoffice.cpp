#include "office/OwnProcesses.h"
#include "office/SystemRunningOffice.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// A second LibreOffice, started as a user would start it, holding a document open.
class TestRunningOffice : public QObject
{
    Q_OBJECT
private slots:
    void findsAndEndsTheUsersOffice();
};

void TestRunningOffice::findsAndEndsTheUsersOffice()
{
    const QString soffice = QStandardPaths::findExecutable("soffice");
    if (soffice.isEmpty())
        QSKIP("LibreOffice is not installed");
    QTemporaryDir dir;
    const QString document = dir.filePath("open.rtf");
    {
        QFile file(document);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\\rtf1\\ansi Hello}");
    }
    const std::unique_ptr<RunningOffice> office = createSystemRunningOffice();
    QVERIFY(!office->openDocuments("Word.Application").has_value());

    QProcess user;
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
    // The same program runs, but holds no workbook.
    const std::optional<QStringList> workbooks = office->openDocuments("Excel.Application");
    QVERIFY(workbooks.has_value() && workbooks->isEmpty());

    // The tool's own office processes (and their children) are not the user's.
    OwnProcesses::add(user.processId());
    QVERIFY(!office->openDocuments("Word.Application").has_value());
    OwnProcesses::remove(user.processId());

    QVERIFY(office->endAllProcesses("winword.EXE") >= 1);
    QVERIFY(user.waitForFinished(30000));
    QVERIFY(!office->openDocuments("Word.Application").has_value());
    QVERIFY(!QFile::exists(dir.filePath(".~lock.open.rtf#")));
    QVERIFY(QFile::exists(document));
}

QTEST_GUILESS_MAIN(TestRunningOffice)
#include "tst_runningoffice.moc"
