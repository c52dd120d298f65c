#include "app/RuntimeError.h"
#include "office/OfficeRegistry.h"
#include "office/SafeReplace.h"
#include "sheet/WorkbookReplace.h"
#include "support/ChildProcess.h"
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
// changed is left alone, two runs at once lose no change, owner, mode,
// extended attributes and hard links survive, and what a killed save left is
// cleaned up by the next run.
namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;
constexpr uid_t kDaemon = 1;

// The text a package holds in its XML parts, markup stripped.
QString packageText(const QString& path)
{
    QString text;
    const QMap<QString, QByteArray> parts = ZipFiles::read(path);
    for (auto it = parts.cbegin(); it != parts.cend(); ++it) {
        if (it.key().endsWith(".xml"))
            text += QString::fromUtf8(it.value()).remove(QRegularExpression("<[^>]*>"));
    }
    return text;
}

// What a user sees of a file: its package text for .docx/.xlsx, its rendered pages otherwise.
QString seen(const QString& path)
{
    return path.endsWith("x") ? packageText(path) : UnoDocuments::rendered(path);
}

QStringList hiddenLeftovers(const QString& folder)
{
    QStringList found;
    for (const QString& name : QDir(folder).entryList({".~*"}, QDir::Files | QDir::Hidden | QDir::System))
        found << name;
    return found;
}

struct Run
{
    int code = -1;
    QStringList out;
};

// yanhe-cli, optionally as another user (setpriv), with extra environment.
QProcess* startCli(const QStringList& arguments, const QString& appFolder,
                   const QProcessEnvironment& extra = {}, uid_t asUser = uid_t(-1))
{
    auto* process = new QProcess;
    endsWithTheTest(*process);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("YANHE_ENGINE");
    environment.insert("YANHE_APP_FOLDER", appFolder);
    environment.insert(extra);
    process->setProcessEnvironment(environment);
    if (asUser == uid_t(-1)) {
        process->start(YANHE_CLI, arguments);
    } else {
        process->start("setpriv", QStringList{QStringLiteral("--reuid=%1").arg(asUser),
                                              QStringLiteral("--regid=%1").arg(kNogroup), "--clear-groups",
                                              "--", YANHE_CLI} +
                                      arguments);
    }
    return process;
}

Run finish(QProcess* process)
{
    process->waitForFinished(600000);
    Run run{process->exitCode(),
            QString::fromUtf8(process->readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)};
    delete process;
    return run;
}

Run cli(const QStringList& arguments, const QString& appFolder, const QProcessEnvironment& extra = {},
        uid_t asUser = uid_t(-1))
{
    return finish(startCli(arguments, appFolder, extra, asUser));
}

QStringList linesOf(const QStringList& out, const QString& path)
{
    QStringList lines;
    for (const QString& line : out) {
        if (line.startsWith(path + ' ') || line.startsWith(path + '-'))
            lines << line.mid(path.size());
    }
    return lines;
}

QByteArray xattrOf(const QString& path, const char* name)
{
    char value[256];
    const ssize_t got = ::getxattr(QFile::encodeName(path).constData(), name, value, sizeof value);
    return got < 0 ? QByteArray("(none)") : QByteArray(value, got);
}

struct stat statOf(const QString& path)
{
    struct stat status
    {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status;
}

// Sets a file's modification time to seconds ago.
void age(const QString& path, int seconds)
{
    const qint64 then = QDateTime::currentSecsSinceEpoch() - seconds;
    const struct timeval times[2] = {{then, 0}, {then, 0}};
    ::lutimes(QFile::encodeName(path).constData(), times);
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
    void twoRunsAtOnceLoseNoChange();
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
    const QString made = m_dir.filePath("made");
    QDir().mkpath(made);
    for (const QString extension : {"doc", "docx"}) {
        const QString path = QDir(made).filePath("original." + extension);
        UnoDocuments::writeDocument(path, {{"Before OLD after.", "Second OLD line."}, {}, {}, {}, {}});
        m_originals[extension] = path;
    }
    for (const QString extension : {"xls", "xlsx"}) {
        const QString path = QDir(made).filePath("original." + extension);
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
    QTest::newRow("lossless docx") << "lossless"
                                   << "a.docx";
    QTest::newRow("lossless xlsx") << "lossless"
                                   << "b.xlsx";
    QTest::newRow("libreoffice doc") << "libreoffice"
                                     << "c.doc";
    QTest::newRow("libreoffice xls") << "libreoffice"
                                     << "d.xls";
    QTest::newRow("libreoffice docx") << "libreoffice"
                                      << "e.docx";
}

void TestSafeSave::brokenResultNeverReplacesTheFile()
{
    QFETCH(QString, engine);
    QFETCH(QString, name);
    const QString folder = m_dir.filePath("broken");
    const QString path = make(folder, name);
    const QByteArray before = bytes(path);
    const bool workbook = name.contains(".xls");
    qputenv("YANHE_ENGINE", engine.toUtf8());
    const auto unset = qScopeGuard([] { qunsetenv("YANHE_ENGINE"); });
    const auto replace = [&] {
        MemoryJobHost host;
        host.tick({path}, {0});
        if (workbook)
            WorkbookReplace::ExcelReplace(host, OfficeRegistry::system(), "OLD", "NEW");
        else
            SingleTextReplace::WordReplace(host, OfficeRegistry::system(), "OLD", "NEW", {});
        return host;
    };

    // The writer spoils its result: the file keeps every byte, the line says why
    // and that the line before it is void, the journal has the detail.
    SafeReplace::breakNextResult();
    const MemoryJobHost failed = replace();
    QCOMPARE(bytes(path), before);
    QCOMPARE(failed.log.last(), path + " 保存失败，未修改：保存结果无法打开（此文件前面的行作废）");
    QVERIFY2(failed.log.first().endsWith("已替换内容"), qPrintable(failed.log.first()));
    QVERIFY2(failed.journalLines.last().startsWith(failed.log.last() + "（"),
             qPrintable(failed.journalLines.last()));
    QCOMPARE(hiddenLeftovers(folder), QStringList());

    // The same save without the fault goes through, and the file shows it.
    const MemoryJobHost saved = replace();
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
    const QByteArray ownedBytes = bytes(owned);
    const QByteArray bookBytes = bytes(book);

    // LibreOffice has the document open (the LibreOffice engine of this test process, its soffice).
    qputenv("YANHE_ENGINE", "libreoffice");
    word::ApplicationPtr office = OfficeRegistry::system().createWordProcessor("Word.Application");
    qunsetenv("YANHE_ENGINE");
    const auto end = qScopeGuard([&] { office->quit(); });
    word::DocumentPtr held = office->documentsOpen(inOffice);
    const QString lock = QDir(folder).filePath(".~lock.open.docx#");
    QVERIFY2(QFileInfo::exists(lock), "LibreOffice did not open the document");
    const QByteArray openBytes = bytes(inOffice);

    const Run words = cli({"word-replace", "--old", "OLD", "--new", "NEW", owned, inOffice}, m_app);
    const Run books = cli({"sheet-replace", "--old", "OLD", "--new", "NEW", book}, m_app);
    QCOMPARE(linesOf(words.out, owned), QStringList{" 打开失败，未修改：文件被别人锁定"});
    QCOMPARE(linesOf(words.out, inOffice), QStringList{" 打开失败，未修改：文件被别人锁定"});
    QCOMPARE(linesOf(books.out, book), QStringList{" 打开失败，未修改：文件被别人锁定"});
    QCOMPARE(bytes(owned), ownedBytes);
    QCOMPARE(bytes(inOffice), openBytes);
    QCOMPARE(bytes(book), bookBytes);
    // The other programs' lock and owner files are theirs: still there.
    QVERIFY(QFileInfo::exists(lock));
    QVERIFY(QFileInfo::exists(QDir(folder).filePath("~$owned.docx")));
}

void TestSafeSave::twoRunsAtOnceLoseNoChange()
{
    const QString folder = m_dir.filePath("twice");
    QStringList documents;
    QStringList books;
    for (int i = 0; i < 200; ++i) {
        documents << make(folder, QStringLiteral("d%1.docx").arg(i, 3, 10, QLatin1Char('0')));
        books << make(folder, QStringLiteral("b%1.xlsx").arg(i, 3, 10, QLatin1Char('0')));
    }
    for (const QString& path : std::as_const(documents)) {
        // Two texts per document: Before OLD after / Second OLD line, each run changes one.
        QVERIFY(packageText(path).contains("Before") && packageText(path).contains("Second"));
    }
    for (const auto& [command, files, first, second] :
         {std::tuple{QString("word-replace"), documents, QString("Before"), QString("Second")},
          std::tuple{QString("sheet-replace"), books, QString("ALPHA"), QString("BETA")}}) {
        QProcess* a = startCli(QStringList{command, "--old", first, "--new", "ZQA"} + files, m_app);
        QProcess* b = startCli(QStringList{command, "--old", second, "--new", "ZQB"} + files, m_app);
        const Run runA = finish(a);
        const Run runB = finish(b);
        int lockedCount = 0;
        for (const QString& path : files) {
            const QString text = packageText(path);
            const QString linesA = linesOf(runA.out, path).join('|');
            const QString linesB = linesOf(runB.out, path).join('|');
            const bool lockedA = linesA.contains("文件被别人锁定");
            const bool lockedB = linesB.contains("文件被别人锁定");
            lockedCount += int(lockedA) + int(lockedB);
            QVERIFY2(!linesA.contains("失败") || lockedA, qPrintable(path + linesA));
            QVERIFY2(!linesB.contains("失败") || lockedB, qPrintable(path + linesB));
            QVERIFY2(lockedA || (text.contains("ZQA") && !text.contains(first)),
                     qPrintable(path + ": " + text));
            QVERIFY2(lockedB || (text.contains("ZQB") && !text.contains(second)),
                     qPrintable(path + ": " + text));
        }
        qInfo("%s: %d of %d files named as locked by one run", qPrintable(command), lockedCount,
              int(files.size()));
    }
    QCOMPARE(hiddenLeftovers(folder), QStringList());
}

void TestSafeSave::savesKeepOwnerModeAttributesAndLinks()
{
    const bool root = ::geteuid() == 0;
    for (const bool asNobody : {false, true}) {
        if (asNobody && !root)
            continue; // without root, only the run as the user the tests run as
        const QString folder = m_dir.filePath(asNobody ? "kept-nobody" : "kept-root");
        QDir().mkpath(folder);
        // A world-writable folder, as shared folders are.
        ::chmod(QFile::encodeName(folder).constData(), 01777);
        const uid_t owner = root ? kNobody : ::getuid();
        const gid_t group = root ? kNogroup : ::getgid();
        QStringList files;
        for (const QString name : {"a.docx", "b.doc", "c.xlsx", "d.xls"}) {
            const QString path = make(folder, name);
            QVERIFY(::chown(QFile::encodeName(path).constData(), owner, group) == 0);
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0664) == 0);
            QVERIFY(::setxattr(QFile::encodeName(path).constData(), "user.yanhe.note", "kept", 4, 0) == 0);
            QVERIFY(::link(QFile::encodeName(path).constData(),
                           QFile::encodeName(path + ".link").constData()) == 0);
            files << path;
        }
        // A document of another user that the run may not give back to them.
        QString foreign;
        if (root) {
            foreign = make(folder, "daemon.docx");
            QVERIFY(::chown(QFile::encodeName(foreign).constData(), kDaemon, kDaemon) == 0);
            QVERIFY(::chmod(QFile::encodeName(foreign).constData(), 0666) == 0);
        }
        const QByteArray foreignBytes = bytes(foreign);
        QProcessEnvironment environment;
        QString cache = m_dir.filePath(asNobody ? "cache-nobody" : "cache-root");
        QDir().mkpath(cache);
        if (asNobody)
            QVERIFY(::chown(QFile::encodeName(cache).constData(), kNobody, kNogroup) == 0);
        environment.insert("XDG_CACHE_HOME", cache);
        environment.insert("HOME", cache);
        const uid_t user = asNobody ? kNobody : uid_t(-1);
        const QString app = m_dir.filePath(asNobody ? "app-nobody" : "app-root");
        QDir().mkpath(app);
        if (asNobody)
            QVERIFY(::chown(QFile::encodeName(app).constData(), kNobody, kNogroup) == 0);
        const QStringList documents = {files[0], files[1]};
        const QStringList workbooks = {files[2], files[3]};
        const Run words = cli(QStringList{"word-replace", "--old", "OLD", "--new", "NEW"} + documents +
                                  (foreign.isEmpty() || !asNobody ? QStringList() : QStringList{foreign}),
                              app, environment, user);
        const Run books = cli(QStringList{"sheet-replace", "--old", "OLD", "--new", "NEW"} + workbooks, app,
                              environment, user);
        for (const QString& path : std::as_const(files)) {
            const QStringList lines = linesOf(words.out + books.out, path);
            QVERIFY2(!lines.isEmpty() && !lines.join('\n').contains("失败"),
                     qPrintable(path + lines.join('\n')));
            const struct stat after = statOf(path);
            QCOMPARE(after.st_uid, owner);
            QCOMPARE(after.st_gid, group);
            QCOMPARE(after.st_mode & 07777, mode_t(0664));
            QCOMPARE(xattrOf(path, "user.yanhe.note"), QByteArray("kept"));
            // Written through: both names are still one file, and it holds the change.
            QCOMPARE(after.st_nlink, nlink_t(2));
            QCOMPARE(statOf(path + ".link").st_ino, after.st_ino);
            const QString text = seen(path);
            QVERIFY2(text.contains("NEW") && !text.contains("OLD"), qPrintable(path + ": " + text));
        }
        if (asNobody && !foreign.isEmpty()) {
            QCOMPARE(linesOf(words.out, foreign),
                     QStringList(
                         {" 已替换内容", " 保存失败，未修改：无法保留文件的所有者（此文件前面的行作废）"}));
            QCOMPARE(bytes(foreign), foreignBytes);
            QCOMPARE(statOf(foreign).st_uid, kDaemon);
        }
        // A file with one link is replaced, and keeps owner, mode and attributes all the same.
        const QString single = files[0];
        QFile::remove(single + ".link");
        const Run again =
            cli({"word-replace", "--old", "NEW", "--new", "NEWER", single}, app, environment, user);
        QCOMPARE(linesOf(again.out, single), QStringList{" 已替换内容"});
        QCOMPARE(statOf(single).st_uid, owner);
        QCOMPARE(statOf(single).st_mode & 07777, mode_t(0664));
        QCOMPARE(xattrOf(single, "user.yanhe.note"), QByteArray("kept"));
        QVERIFY(packageText(single).contains("NEWER"));
        QCOMPARE(hiddenLeftovers(folder), QStringList());
    }
}

void TestSafeSave::whatAKilledSaveLeftIsRemoved()
{
    const QString folder = m_dir.filePath("killed");
    QStringList files;
    for (int i = 0; i < 60; ++i)
        files << make(folder, QStringLiteral("f%1.docx").arg(i, 3, 10, QLatin1Char('0')));
    // What a save killed in an earlier run leaves: its result beside the document
    // (empty, or libzip's half-written one), and the engine's lock of a process gone.
    const QString empty = QDir(folder).filePath(".~f005.docx.PMTBzy");
    const QString partial = QDir(folder).filePath(".~f005.docx.PMTBzy.bs9xo1");
    const QString staleLock = QDir(folder).filePath(".~lock.f007.docx#");
    writeFile(empty, {});
    writeFile(partial, bytes(files[5]).left(1000));
    writeFile(staleLock, "yanhe,root," + QHostInfo::localHostName().toUtf8() +
                             ",01.01.2026 00:00,yanhe-engine:999999999:1;");
    // Not the tool's: another program's lock, a name of another pattern, a user's hidden file.
    const QString foreignLock = QDir(folder).filePath(".~lock.f009.docx#");
    writeFile(foreignLock, "Someone,someone,elsewhere,01.01.2026 00:00,file:///home/someone/.config;");
    const QString otherPattern = QDir(folder).filePath(".~f005.docx.toolong7");
    const QString notes = QDir(folder).filePath(".~notes");
    writeFile(otherPattern, "x");
    writeFile(notes, "x");
    for (const QString& path : {empty, partial, staleLock, foreignLock, otherPattern, notes})
        age(path, 3600);

    // A real run killed in the middle of its saves leaves what it leaves ...
    QProcess* killed = startCli(QStringList{"word-replace", "--old", "OLD", "--new", "NEW"} + files, m_app);
    QVERIFY(killed->waitForStarted());
    QThread::msleep(150);
    ::kill(pid_t(killed->processId()), SIGKILL);
    finish(killed);
    // ... and the next run over the folder removes it with the old leftovers.
    QThread::msleep(500);
    const Run next = cli({"word-replace", "--old", "OLD", "--new", "NEW", files[5], files[7]}, m_app);
    QVERIFY2(!next.out.join('\n').contains("失败"), qPrintable(next.out.join('\n')));
    QStringList left = hiddenLeftovers(folder);
    left.sort();
    QCOMPARE(left, QStringList({".~f005.docx.toolong7", ".~lock.f009.docx#", ".~notes"}));
    QVERIFY(packageText(files[5]).contains("NEW"));
    QVERIFY(packageText(files[7]).contains("NEW"));
}

QTEST_GUILESS_MAIN(TestSafeSave)
#include "tst_safesave.moc"
