#include "app/RuntimeError.h"
#include "office/OfficeRegistry.h"
#include "office/OwnProcesses.h"
#include "support/CliRun.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

// How long the LibreOffice engine keeps what it opens: documents, its soffice,
// the files it leaves beside documents, and its profile.
namespace {

// count copies of one .doc in folder: doc00.doc, doc01.doc ...
QStringList makeDocuments(const QString& folder, int count)
{
    QDir().mkpath(folder);
    const QString first = QDir(folder).filePath("doc00.doc");
    UnoDocuments::writeDocument(first, {{"正文 OLD 一", "第二段 OLD"}, {}, {}, {}, {}});
    QStringList files{first};
    for (int i = 1; i < count; ++i) {
        files << QDir(folder).filePath(QStringLiteral("doc%1.doc").arg(i, 2, 10, QLatin1Char('0')));
        QFile::copy(first, files.last());
    }
    return files;
}

QString lockOf(const QString& path)
{
    const QFileInfo info(path);
    return info.dir().filePath(".~lock." + info.fileName() + "#");
}

} // namespace

class TestEngineLifetime : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void storedDocumentsCloseWhenTheNextOpens();
    void anOutgrownSofficeMakesWayBetweenDocuments();
    void killedRunEndsItsSofficeAndTheNextCleansUp();

private:
    QTemporaryDir m_dir;
};

void TestEngineLifetime::storedDocumentsCloseWhenTheNextOpens()
{
    const QStringList files = makeDocuments(m_dir.filePath("close"), 3);
    word::ApplicationPtr word = OfficeRegistry::system().createWordProcessor("Word.Application");

    // A replacement that holds the text it replaces is not searched again.
    word::DocumentPtr first = word->documentsOpen(files[0]);
    first->content()->replaceAll("OLD", "xOLDx");
    first->save();
    QVERIFY(QFile::exists(lockOf(files[0])));

    // The stored one closes when the next opens; its handle says so.
    word::DocumentPtr second = word->documentsOpen(files[1]);
    QVERIFY(!QFile::exists(lockOf(files[0])));
    QCOMPARE(word->documents().size(), 1);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, first->content());

    // One with changes not stored stays open until Quit, which drops them.
    second->content()->replaceAll("OLD", "NEW");
    const QByteArray secondBytes = bytes(files[1]);
    word::DocumentPtr third = word->documentsOpen(files[2]);
    QCOMPARE(word->documents().size(), 2);
    QVERIFY(second->content()->text().contains("NEW"));
    // One letter inside its own replacement, and an empty replacement.
    third->content()->replaceAll("o", "xOx");
    third->content()->replaceAll("LD", "");
    QCOMPARE(third->content()->text().count("xOx"), 2);
    QVERIFY(!third->content()->text().contains("LD"));
    word->quit();
    QCOMPARE(bytes(files[1]), secondBytes);
    QCOMPARE(leftovers(m_dir.filePath("close")), QStringList());

    word = OfficeRegistry::system().createWordProcessor("Word.Application");
    const QString text = word->documentsOpen(files[0])->content()->text();
    QCOMPARE(text.count("xOLDx"), 2);
    QCOMPARE(text.count("OLD"), 2);
    word->quit();
}

void TestEngineLifetime::anOutgrownSofficeMakesWayBetweenDocuments()
{
    // Every soffice is too big at 1 MiB: each is ended between two documents
    // and a new one takes over, unless it holds changes not stored.
    const QStringList files = makeDocuments(m_dir.filePath("outgrown"), 4);
    qputenv("YANHE_OFFICE_RECYCLE_MIB", "1");
    const auto restore = qScopeGuard([] { qunsetenv("YANHE_OFFICE_RECYCLE_MIB"); });
    const QList<qint64> others = OwnProcesses::all();
    const auto engine = [&] {
        QList<qint64> own = OwnProcesses::all();
        own.removeIf([&](qint64 pid) { return others.contains(pid); });
        return own.size() == 1 ? own.first() : -1;
    };
    word::ApplicationPtr word = OfficeRegistry::system().createWordProcessor("Word.Application");

    word::DocumentPtr first = word->documentsOpen(files[0]);
    first->content()->replaceAll("OLD", "一");
    first->save();
    const qint64 firstOffice = engine();
    QVERIFY(firstOffice > 0);

    word::DocumentPtr second = word->documentsOpen(files[1]);
    const qint64 secondOffice = engine();
    QVERIFY(secondOffice > 0 && secondOffice != firstOffice);
    QTRY_VERIFY_WITH_TIMEOUT(!processRuns(firstOffice), 10000);
    QVERIFY(!QFile::exists(lockOf(files[0])));
    // Changes not stored keep their soffice for the documents after them.
    second->content()->replaceAll("OLD", "二");
    word::DocumentPtr third = word->documentsOpen(files[2]);
    QCOMPARE(engine(), secondOffice);
    third->content()->replaceAll("OLD", "三");
    third->save();
    word->quit();
    QCOMPARE(leftovers(m_dir.filePath("outgrown")), QStringList());

    word = OfficeRegistry::system().createWordProcessor("Word.Application");
    QCOMPARE(word->documentsOpen(files[0])->content()->text().count("一"), 3);
    QCOMPARE(word->documentsOpen(files[1])->content()->text().count("OLD"), 2);
    QCOMPARE(word->documentsOpen(files[2])->content()->text().count("三"), 2);
    word->quit();
}

void TestEngineLifetime::killedRunEndsItsSofficeAndTheNextCleansUp()
{
    const QString folder = m_dir.filePath("killed");
    const QStringList files = makeDocuments(folder, 40);
    QTemporaryDir app;
    QProcessEnvironment environment;
    environment.insert("YANHE_ENGINE", "libreoffice");
    // One office process, a child of the run.
    const QStringList arguments =
        QStringList{"word-replace", "--jobs", "1", "--old", "OLD", "--new", "NEW"} + files;
    QProcess run;
    CliRun::start(run, arguments, app.path(), environment);
    QVERIFY(run.waitForStarted());
    // Killed in the middle, once soffice has done a few documents.
    QByteArray lines;
    readFirstLine(run, lines, 180000);
    QCOMPARE(run.state(), QProcess::Running);
    const QList<qint64> soffices = sofficesOf(run.processId());
    QVERIFY(!soffices.isEmpty());
    ::kill(pid_t(run.processId()), SIGKILL);
    QVERIFY(run.waitForFinished(10000));
    for (const qint64 pid : soffices)
        QTRY_VERIFY_WITH_TIMEOUT(!processRuns(pid), 10000);

    // Elsewhere, what a soffice killed in the middle of a store leaves, as its record names it.
    const QString elsewhere = m_dir.filePath("leftovers");
    const QStringList stored = makeDocuments(elsewhere, 2);
    const QString root =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)).filePath("yanhe");
    QVERIFY(QDir().mkpath(root));
    const QString profile = QDir(root).filePath("yanhe-office-profile-40");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    writeFile(profile + ".documents", QByteArray::number(now - 60000) + '\t' +
                                          QByteArray::number(now - 10000) + '\t' + stored[0].toUtf8() + '\n');
    writeFile(lockOf(stored[0]), "yanhe,host,yanhe,01.12.2026 10:00,file://" + profile.toUtf8() + ";\n");
    writeFile(lockOf(stored[1]),
              "王 五,other,wang,01.12.2026 10:00,file:///home/wang/.config/libreoffice/4;\n");
    writeFile(QDir(elsewhere).filePath("lu5sr2k9.tmp"), "half a store");
    writeFile(QDir(elsewhere).filePath("lu0old.tmp"), "older than the store");
    QFile old(QDir(elsewhere).filePath("lu0old.tmp"));
    QVERIFY(old.open(QIODevice::ReadWrite));
    QVERIFY(old.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    old.close();
    writeFile(QDir(elsewhere).filePath("notes.tmp"), "the user's");

    // The next run cleans up what the killed one left and does every file; as any run that starts
    // a soffice, it cleans up elsewhere too, whatever files it works on.
    const CliRun again = CliRun::of(arguments, app.path(), environment);
    QCOMPARE(again.code, 0);
    QCOMPARE(again.out.size(), files.size());
    for (const QString& line : again.out)
        QVERIFY2(line.endsWith(" 已替换内容") || line.endsWith(" 没找到替换的内容"), qPrintable(line));
    // The killed run's locks and soffice's temporary files are gone.
    QCOMPARE(leftovers(folder).filter(QRegularExpression("/(\\.~lock\\..*#|lu.*\\.tmp)$")), QStringList());
    QVERIFY(!QFile::exists(profile + ".documents"));
    QStringList left = QDir(elsewhere).entryList(QDir::Files | QDir::Hidden);
    left.sort();
    QCOMPARE(left, QStringList({".~lock.doc01.doc#", "doc00.doc", "doc01.doc", "lu0old.tmp", "notes.tmp"}));
}

QTEST_GUILESS_MAIN(TestEngineLifetime)
#include "tst_enginelifetime.moc"
