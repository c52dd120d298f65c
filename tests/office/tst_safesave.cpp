#include "app/RuntimeError.h"
#include "office/OfficeRegistry.h"
#include "office/SafeReplace.h"
#include "sheet/WorkbookReplace.h"
#include "support/CliRun.h"
#include "support/MemoryJobHost.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"
#include "support/ZipFiles.h"
#include "word/SingleTextReplace.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHostInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/xattr.h>
#include <unistd.h>

// Saves on both engines never damage, lose or re-own a user's file: a result
// that does not check out is thrown away, a file another program holds or
// changed is left alone, owner, mode, extended attributes and hard links
// survive, and what a killed save left is cleaned up by the next run (two runs
// at once: tst_hostile).
namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;
constexpr uid_t kDaemon = 1;

// What a user sees of a file: its package text for .docx/.xlsx, its rendered pages otherwise.
QString seen(const QString& path)
{
    return path.endsWith("x") ? packageText(path) : UnoDocuments::rendered(path);
}

QStringList hiddenLeftovers(const QString& folder)
{
    return QDir(folder).entryList({".~*"}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// OLD replaced by NEW in the files by yanhe-cli, to the run's end, on the engine chosen per file;
// optionally as another user (setpriv), with extra environment. The run's stdout lines.
QStringList replace(const QString& command, const QStringList& files, const QString& appFolder,
                    QProcessEnvironment extra = {}, uid_t asUser = uid_t(-1))
{
    extra.insert("YANHE_ENGINE", QString());
    const QStringList arguments = QStringList{command, "--old", "OLD", "--new", "NEW"} + files;
    const QStringList as{QStringLiteral("--reuid=%1").arg(asUser), QStringLiteral("--regid=%1").arg(kNogroup),
                         "--clear-groups", "--", YANHE_CLI};
    return asUser == uid_t(-1) ? CliRun::of(arguments, appFolder, extra).out
                               : CliRun::of(as + arguments, appFolder, extra, "/usr/bin/setpriv").out;
}

QByteArray xattrOf(const QString& path)
{
    char value[256];
    const ssize_t got =
        ::getxattr(QFile::encodeName(path).constData(), "user.yanhe.note", value, sizeof value);
    return got < 0 ? QByteArray("(none)") : QByteArray(value, got);
}

struct stat statOf(const QString& path)
{
    struct stat status
    {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status;
}

} // namespace

class TestSafeSave : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void brokenResultNeverReplacesTheFile_data();
    void brokenResultNeverReplacesTheFile();
    void fileChangedMeanwhileIsNotOverwritten();
    void documentsOthersHoldAreRefused();
    void savesKeepOwnerModeAttributesAndLinks();
    void whatAKilledSaveLeftIsRemoved();

private:
    QString make(const QString& folder, const QString& name);
    QTemporaryDir m_dir;
    QString m_app;
    QMap<QString, QString> m_originals; // extension -> a document holding "OLD"
};

void TestSafeSave::initTestCase()
{
    QVERIFY(m_dir.isValid());
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
    m_app = m_dir.filePath("app");
    QDir().mkpath(m_app);
    ::chmod(QFile::encodeName(m_app).constData(), 0777);
    for (const QString extension : {"doc", "docx", "xls", "xlsx"}) {
        const QString path = m_dir.filePath("made/original." + extension);
        QDir().mkpath(m_dir.filePath("made"));
        if (extension.startsWith("doc"))
            UnoDocuments::writeDocument(path, {{"Before OLD after.", "Second OLD line."}, {}, {}, {}, {}});
        else
            UnoDocuments::writeWorkbook(path, {{"Sheet1", {{1, 1, "cell OLD here"}, {2, 1, "ALPHA BETA"}}}});
        m_originals[extension] = path;
    }
    // soffice of the test support holds none of them open.
    UnoDocuments::shutdown();
}

QString TestSafeSave::make(const QString& folder, const QString& name)
{
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(name);
    QFile::remove(path);
    QFile::copy(m_originals.value(QFileInfo(name).suffix()), path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return path;
}

void TestSafeSave::brokenResultNeverReplacesTheFile_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("name");
    for (const auto& [engine, name] : {std::pair{"lossless", "a.docx"},
                                       {"lossless", "b.xlsx"},
                                       {"libreoffice", "c.doc"},
                                       {"libreoffice", "d.xls"},
                                       {"libreoffice", "e.docx"}})
        QTest::addRow("%s %s", engine, name + 2) << QString(engine) << QString(name);
}

void TestSafeSave::brokenResultNeverReplacesTheFile()
{
    QFETCH(QString, engine);
    QFETCH(QString, name);
    const QString folder = m_dir.filePath("broken");
    const QString path = make(folder, name);
    const QByteArray before = bytes(path);
    qputenv("YANHE_ENGINE", engine.toUtf8());
    const auto unset = qScopeGuard([] { qunsetenv("YANHE_ENGINE"); });
    const auto runOnce = [&] {
        MemoryJobHost host;
        host.tick({path}, {0});
        if (name.contains(".xls"))
            WorkbookReplace::ExcelReplace(host, OfficeRegistry::system(), "OLD", "NEW");
        else
            SingleTextReplace::WordReplace(host, OfficeRegistry::system(), "OLD", "NEW", {});
        return host;
    };

    // The writer spoils its result: the file keeps every byte, the line says why
    // and that the line before it is void, the journal has the detail.
    SafeReplace::breakNextResult();
    const MemoryJobHost failed = runOnce();
    QCOMPARE(bytes(path), before);
    QCOMPARE(failed.log.last(), path + " 保存失败，未修改：保存结果无法打开（此文件前面的行作废）");
    QVERIFY2(failed.log.first().endsWith("已替换内容"), qPrintable(failed.log.first()));
    QVERIFY2(failed.journalLines.last().startsWith(failed.log.last() + "（"),
             qPrintable(failed.journalLines.last()));
    QCOMPARE(hiddenLeftovers(folder), QStringList());

    // The same save without the fault goes through, and the file shows it.
    const MemoryJobHost saved = runOnce();
    QVERIFY2(!saved.log.join('\n').contains("失败"), qPrintable(saved.journalLines.join('\n')));
    const QString text = seen(path);
    QVERIFY2(text.contains("NEW") && !text.contains("OLD"), qPrintable(text));
    QCOMPARE(hiddenLeftovers(folder), QStringList());
}

void TestSafeSave::fileChangedMeanwhileIsNotOverwritten()
{
    const QString folder = m_dir.filePath("meanwhile");
    const QString path = make(folder, "a.docx");
    const QString other = make(folder, "b.docx");
    qputenv("YANHE_ENGINE", "lossless");
    const auto unset = qScopeGuard([] { qunsetenv("YANHE_ENGINE"); });
    word::ApplicationPtr word = OfficeRegistry::system().createWordProcessor("Word.Application");
    word::DocumentPtr document = word->documentsOpen(path);
    document->content()->replaceAll("OLD", "NEW");
    // Another program, heedless of the lock, puts other content in its place.
    QFile::remove(path);
    QFile::copy(other, path);
    const QByteArray theirs = bytes(path);
    try {
        document->save();
        QFAIL("a file changed since it was read was overwritten");
    } catch (const RuntimeError& error) {
        QCOMPARE(error.description(), QStringLiteral("文件在处理期间被别的程序改动"));
    }
    word->quit();
    QCOMPARE(bytes(path), theirs);
    QCOMPARE(hiddenLeftovers(folder), QStringList());
}

void TestSafeSave::documentsOthersHoldAreRefused()
{
    const QString folder = m_dir.filePath("held");
    const QString owned = make(folder, "owned.docx");
    const QString inOffice = make(folder, "open.docx");
    const QString book = make(folder, "book.xlsx");
    // Word's owner file beside a document and a workbook.
    writeFile(QDir(folder).filePath("~$owned.docx"), QByteArray(162, 'x'));
    writeFile(QDir(folder).filePath("~$book.xlsx"), QByteArray(165, 'x'));

    // LibreOffice has the document open (the LibreOffice engine of this test process, its soffice).
    qputenv("YANHE_ENGINE", "libreoffice");
    word::ApplicationPtr office = OfficeRegistry::system().createWordProcessor("Word.Application");
    qunsetenv("YANHE_ENGINE");
    const auto end = qScopeGuard([&] { office->quit(); });
    word::DocumentPtr held = office->documentsOpen(inOffice);
    const QString lock = QDir(folder).filePath(".~lock.open.docx#");
    QVERIFY2(QFileInfo::exists(lock), "LibreOffice did not open the document");
    QMap<QString, QByteArray> before;
    for (const QString& path : {owned, inOffice, book})
        before[path] = bytes(path);

    const QStringList out =
        replace("word-replace", {owned, inOffice}, m_app) + replace("sheet-replace", {book}, m_app);
    for (const QString& path : {owned, inOffice, book}) {
        QCOMPARE(linesOf(out, path), QStringList{" 打开失败，未修改：文件被别人锁定"});
        QCOMPARE(bytes(path), before[path]);
    }
    // The other programs' lock and owner files are theirs: still there.
    QVERIFY(QFileInfo::exists(lock));
    QVERIFY(QFileInfo::exists(QDir(folder).filePath("~$owned.docx")));
}

void TestSafeSave::savesKeepOwnerModeAttributesAndLinks()
{
    const bool root = ::geteuid() == 0;
    // Without root, only the run as the user the tests run as.
    for (const bool asNobody : root ? QList<bool>{false, true} : QList<bool>{false}) {
        const QString tag = asNobody ? "-nobody" : "-root";
        const QString folder = m_dir.filePath("kept" + tag);
        QDir().mkpath(folder);
        // A world-writable folder, as shared folders are.
        ::chmod(QFile::encodeName(folder).constData(), 01777);
        const uid_t owner = root ? kNobody : ::getuid();
        const gid_t group = root ? kNogroup : ::getgid();
        // Every kind on its engine, written through its hard link, and a file with one link, replaced.
        QStringList files;
        for (const QString name : {"a.docx", "b.doc", "c.xlsx", "d.xls", "single.docx"}) {
            const QByteArray path = QFile::encodeName(make(folder, name));
            QVERIFY(::chown(path, owner, group) == 0 && ::chmod(path, 0664) == 0);
            QVERIFY(::setxattr(path, "user.yanhe.note", "kept", 4, 0) == 0);
            QVERIFY(name == "single.docx" || ::link(path, path + ".link") == 0);
            files << QFile::decodeName(path);
        }
        // A document of another user that the run may not give back to them.
        const QString foreign = root && asNobody ? make(folder, "daemon.docx") : QString();
        QStringList documents{files[0], files[1], files[4]};
        if (!foreign.isEmpty()) {
            QVERIFY(::chown(QFile::encodeName(foreign), kDaemon, kDaemon) == 0 &&
                    ::chmod(QFile::encodeName(foreign), 0666) == 0);
            documents << foreign;
        }
        const QByteArray foreignBytes = bytes(foreign);
        const QString cache = m_dir.filePath("cache" + tag);
        const QString app = m_dir.filePath("app" + tag);
        QProcessEnvironment environment;
        environment.insert("XDG_CACHE_HOME", cache);
        environment.insert("HOME", cache);
        for (const QString& path : {cache, app})
            QVERIFY(QDir().mkpath(path) &&
                    (!asNobody || ::chown(QFile::encodeName(path), kNobody, kNogroup) == 0));
        const uid_t user = asNobody ? kNobody : uid_t(-1);
        const QStringList words = replace("word-replace", documents, app, environment, user);
        const QStringList out =
            words + replace("sheet-replace", {files[2], files[3]}, app, environment, user);
        for (const QString& path : std::as_const(files)) {
            const QStringList lines = linesOf(out, path);
            QVERIFY2(!lines.isEmpty() && !lines.join('\n').contains("失败"),
                     qPrintable(path + lines.join('\n')));
            const struct stat after = statOf(path);
            QCOMPARE(after.st_uid, owner);
            QCOMPARE(after.st_gid, group);
            QCOMPARE(after.st_mode & 07777, mode_t(0664));
            QCOMPARE(xattrOf(path), QByteArray("kept"));
            // Written through: both names are still one file, and it holds the change.
            if (path != files[4]) {
                QCOMPARE(after.st_nlink, nlink_t(2));
                QCOMPARE(statOf(path + ".link").st_ino, after.st_ino);
            }
            const QString text = seen(path);
            QVERIFY2(text.contains("NEW") && !text.contains("OLD"), qPrintable(path + ": " + text));
        }
        if (!foreign.isEmpty()) {
            QCOMPARE(linesOf(words, foreign),
                     QStringList(
                         {" 已替换内容", " 保存失败，未修改：无法保留文件的所有者（此文件前面的行作废）"}));
            QCOMPARE(bytes(foreign), foreignBytes);
            QCOMPARE(statOf(foreign).st_uid, kDaemon);
        }
        QCOMPARE(hiddenLeftovers(folder), QStringList());
    }
}

void TestSafeSave::whatAKilledSaveLeftIsRemoved()
{
    const QString folder = m_dir.filePath("killed");
    QStringList files;
    for (int i = 0; i < 60; ++i)
        files << make(folder, QStringLiteral("f%1.docx").arg(i, 3, 10, QLatin1Char('0')));
    const auto at = [&](const QString& name) { return QDir(folder).filePath(name); };
    // What a save killed in an earlier run leaves: its result beside the document
    // (empty, or libzip's half-written one), and the engine's lock of a process gone;
    // and what is not the tool's: another program's lock, a name of another pattern,
    // a user's hidden file. All an hour old.
    const QList<std::pair<QString, QByteArray>> left{
        {".~f005.docx.PMTBzy", {}},
        {".~f005.docx.PMTBzy.bs9xo1", bytes(files[5]).left(1000)},
        {".~lock.f007.docx#",
         "yanhe,root," + QHostInfo::localHostName().toUtf8() + ",01.01.2026 00:00,yanhe-engine:999999999:1;"},
        {".~lock.f009.docx#", "Someone,someone,elsewhere,01.01.2026 00:00,file:///home/someone/.config;"},
        {".~f005.docx.toolong7", "x"},
        {".~notes", "x"}};
    const qint64 anHourAgo = QDateTime::currentSecsSinceEpoch() - 3600;
    const struct timeval times[2] = {{anHourAgo, 0}, {anHourAgo, 0}};
    for (const auto& [name, content] : left) {
        writeFile(at(name), content);
        ::lutimes(QFile::encodeName(at(name)).constData(), times);
    }

    // A real run killed in the middle of its saves leaves what it leaves ...
    QProcess killed;
    endsWithTheTest(killed);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("YANHE_APP_FOLDER", m_app);
    environment.insert("YANHE_ENGINE", QString());
    killed.setProcessEnvironment(environment);
    killed.start(YANHE_CLI, QStringList{"word-replace", "--old", "OLD", "--new", "NEW"} + files);
    QVERIFY(killed.waitForStarted());
    QThread::msleep(150);
    ::kill(pid_t(killed.processId()), SIGKILL);
    killed.waitForFinished();
    // ... and the next run over the folder removes it with the old leftovers.
    QThread::msleep(500);
    const QStringList next = replace("word-replace", {files[5], files[7]}, m_app);
    QVERIFY2(!next.join('\n').contains("失败"), qPrintable(next.join('\n')));
    QCOMPARE(hiddenLeftovers(folder), QStringList({".~f005.docx.toolong7", ".~lock.f009.docx#", ".~notes"}));
    QVERIFY(packageText(files[5]).contains("NEW"));
    QVERIFY(packageText(files[7]).contains("NEW"));
}

QTEST_GUILESS_MAIN(TestSafeSave)
#include "tst_safesave.moc"
