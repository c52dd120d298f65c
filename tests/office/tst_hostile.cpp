#include "app/FailureText.h"
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
#include <QDirIterator>
#include <QHostInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <clocale>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/xattr.h>
#include <unistd.h>

// What a user's files meet, through yanhe-cli and the real LibreOffice: good files mixed
// with hostile ones in one batch (every good one changed, every bad one left byte for byte
// with its own reason), two runs at once, a killed office, a Chinese folder without a UTF-8
// locale, broken or refused saves on both engines; owner, mode, attributes and links kept,
// nothing left behind.
namespace {

const QString kFailed = QStringLiteral("失败，未修改：");
const QByteArray kForeignLock = ",王 五,otherhost,05.12.2026 09:00,file:///home/wang/.config/libreoffice/4;";
const bool kRoot = ::geteuid() == 0;
constexpr int kBigParagraphs = 20000; // of 1000 bytes: 20 MB of text
constexpr int kMany = 5000;
constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;
constexpr uid_t kDaemon = 1;

// A file's modification time and bytes, read through its name's own bytes; empty when it is not there.
QByteArray snapshot(const QByteArray& name)
{
    struct stat status
    {};
    if (::stat(name.constData(), &status) != 0)
        return {};
    QFile file;
    file.open(::open(name.constData(), O_RDONLY), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    return QByteArray::number(qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec) + ' ' +
           file.readAll();
}

QHash<QString, QByteArray> snapshots(const QStringList& paths)
{
    QHash<QString, QByteArray> shots;
    for (const QString& path : paths)
        shots.insert(path, snapshot(QFile::encodeName(path)));
    return shots;
}

// Whether a file is as it was when its snapshot was taken.
bool unchanged(const QHash<QString, QByteArray>& before, const QString& path)
{
    return snapshot(QFile::encodeName(path)) == before.value(path);
}

// A copy of a file, its folder made first, writable by its owner only.
QString put(const QString& from, const QString& to)
{
    QDir().mkpath(QFileInfo(to).path());
    if (!QFile::copy(from, to))
        qFatal("cannot copy %s", qPrintable(from));
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return to;
}

// The middle third of a file's bytes overwritten with random ones.
QByteArray damaged(QByteArray content, int seed, int step)
{
    QRandomGenerator random(seed);
    for (qsizetype i = content.size() / 3; i < content.size() * 2 / 3; i += step)
        content[i] = char(random.bounded(256));
    return content;
}

// The text of a document as LibreOffice reads its body.
QString body(const QString& path)
{
    return UnoDocuments::stories(path).value("body").join('\n');
}

// A run's environment: the test's own or, when bare, what a job needs and no more (a cron job's
// or a minimal machine's); a null engine leaves the choice to the environment, an empty one to the file.
QProcessEnvironment environment(const QString& appFolder, const QString& engine, bool bare = false)
{
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    QProcessEnvironment result = bare ? QProcessEnvironment() : system;
    // The sanitizer build's options (its leak suppressions) are no part of the locale.
    for (const char* kept :
         {"PATH", "HOME", "XDG_CACHE_HOME", "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (system.contains(kept))
            result.insert(kept, system.value(kept));
    }
    result.insert("YANHE_APP_FOLDER", appFolder);
    if (!engine.isNull())
        result.insert("YANHE_ENGINE", engine);
    return result;
}

// OLD replaced by NEW in files, through one office process: the run's soffice is looked for
// among its own children.
QStringList replacing(const QString& command, const QStringList& files)
{
    return QStringList{command, "--jobs=1", "--old", "OLD", "--new", "NEW"} + files;
}

// The soffices that a yanhe-cli process started: they listen on its pipes,
// named after its pid. Those still there some seconds after it ended are ended by the test.
QList<qint64> officesLeft(qint64 cliPid)
{
    const QByteArray pipe = "pipe,name=yanhe-" + QByteArray::number(cliPid) + "-";
    QList<qint64> left;
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired(); QThread::msleep(200)) {
        left.clear();
        for (const ProcessEntry& process : processTable()) {
            if (process.commandLine.contains(pipe))
                left << process.pid;
        }
        if (left.isEmpty())
            return left;
    }
    for (const qint64 pid : left)
        ::kill(pid_t(pid), SIGKILL);
    return left;
}

// yanhe-cli run through a shell that puts raw bytes in place of every "@RAW@"
// argument (the process execs, so the shell's pid is yanhe-cli's).
class CliProcess
{
public:
    static constexpr char kRaw[] = "@RAW@";

    CliProcess(const QStringList& arguments, QProcessEnvironment environment, const QByteArray& raw = {})
    {
        QByteArray escaped; // octal escapes for printf %b: the bytes through the shell untouched
        for (const char c : raw)
            escaped += "\\0" + QByteArray::number(uchar(c), 8).rightJustified(3, '0');
        environment.insert("YANHE_TEST_RAW", QString::fromLatin1(escaped));
        m_process.setProcessEnvironment(environment);
        endsWithTheTest(m_process); // and so, through the shell's exec, yanhe-cli
        const QString script = QStringLiteral(
            "raw=$(printf '%b' \"$YANHE_TEST_RAW\"); for a; do shift; "
            "if [ \"$a\" = @RAW@ ]; then set -- \"$@\" \"$raw\"; else set -- \"$@\" \"$a\"; fi; done; "
            "exec \"$@\"");
        m_process.start("/bin/sh", QStringList{"-c", script, "sh", YANHE_CLI} + arguments);
        pid = m_process.waitForStarted() ? m_process.processId() : 0;
    }
    void finish()
    {
        QVERIFY(pid > 0 && m_process.waitForFinished(900000));
        code = m_process.exitCode();
        out +=
            QString::fromUtf8(m_stdout + m_process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        err = QString::fromUtf8(m_process.readAllStandardError()).trimmed();
        qInfo().noquote() << "run" << pid << "exit" << code << err << ("\n  " + out.join("\n  "));
        QCOMPARE(officesLeft(pid), QList<qint64>());
    }
    // Waits until stdout has a line; the lines read so far are kept for finish().
    bool waitForLine(int timeoutMs) { return readFirstLine(m_process, m_stdout, timeoutMs); }
    // The lines read so far, after waiting up to timeoutMs for more; none once the run has ended.
    qsizetype linesSoFar(int timeoutMs)
    {
        m_process.waitForReadyRead(timeoutMs);
        m_stdout += m_process.readAllStandardOutput();
        return m_process.state() == QProcess::Running ? m_stdout.count('\n') : -1;
    }

    qint64 pid = 0;
    int code = -1;
    QStringList out;
    QString err;

private:
    QProcess m_process;
    QByteArray m_stdout;
};

// What a user sees of a file: its package text for .docx/.xlsx, its rendered pages otherwise.
QString seen(const QString& path)
{
    return path.endsWith("x") ? packageText(path) : UnoDocuments::rendered(path);
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

class TestHostile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void mixedDocuments_data();
    void mixedDocuments();
    void mixedWorkbooks();
    void twoRunsAtOnce_data();
    void twoRunsAtOnce();
    void officeKilledMidRun();
    void chineseFolderWithoutUtf8Locale_data();
    void chineseFolderWithoutUtf8Locale();
    void tableCellsInContentControlsAndLists();
    void brokenResultNeverReplacesTheFile_data();
    void brokenResultNeverReplacesTheFile();
    void documentsOthersHoldOrChangeAreNotWritten();
    void savesKeepOwnerModeAttributesAndLinks();
    void whatAKilledSaveLeftIsRemoved();

private:
    // A copy of the file made for name's kind ("OLD" in it), in folder.
    QString make(const QString& folder, const QString& name) const
    {
        const QHash<QString, QString> made{
            {"doc", m_goodDoc}, {"docx", m_good}, {"xls", m_goodXls}, {"xlsx", m_goodXlsx}};
        return put(made.value(QFileInfo(name).suffix()), QDir(folder).filePath(name));
    }
    QString corpus(const QString& name) const { return QStringLiteral(YANHE_CORPUS "/") + name; }

    QTemporaryDir m_app;
    QString m_good;      // a .docx made through LibreOffice, "正文 OLD 一" and "第二段"
    QString m_goodDoc;   // the same as .doc
    QString m_goodXls;   // an .xls, "有 OLD 字" and "第二格" in its sheet "一月"
    QString m_goodXlsx;  // the same as .xlsx
    QString m_many;      // .doc with 5000 "OLD"
    QString m_big;       // a big .docx, one "OLD" at its end
    QString m_macro;     // .odt whose load event runs a macro
    QString m_encrypted; // .doc with a password
    QTemporaryDir m_made;
};

void TestHostile::initTestCase()
{
    if (!QFileInfo::exists(corpus("README.md")))
        QSKIP("the document corpus is not beside the project");
    QVERIFY(m_made.isValid() && m_app.isValid());
    ::chmod(QFile::encodeName(m_made.path()).constData(), 0755); // for the runs as another user
    m_good = m_made.filePath("good.docx");
    m_goodDoc = m_made.filePath("good.doc");
    UnoDocuments::writeDocument(m_good, {{"正文 OLD 一", "第二段"}, {}, {}, {}, {}});
    UnoDocuments::writeDocument(m_goodDoc, {{"正文 OLD 一", "第二段"}, {}, {}, {}, {}});
    m_goodXls = m_made.filePath("good.xls");
    m_goodXlsx = m_made.filePath("good.xlsx");
    for (const QString& path : {m_goodXls, m_goodXlsx})
        UnoDocuments::writeWorkbook(path, {{"一月", {{1, 1, "有 OLD 字"}, {2, 1, "第二格"}}}});
    // LibreOffice's Word 2007 export leaves a password unused; its Word 97 one encrypts.
    m_encrypted = m_made.filePath("secret.doc");
    UnoDocuments::writeDocument(m_encrypted, {{"机密 OLD"}, {}, {}, {}, {}}, "pw");
    m_many = m_made.filePath("many.doc");
    const QStringList many(kMany / 10,
                           "OLD 一 OLD 二 OLD 三 OLD 四 OLD 五 OLD 六 OLD 七 OLD 八 OLD 九 OLD 十");
    UnoDocuments::writeDocument(m_many, {many, {}, {}, {}, {}});

    // Written part by part: a big one costs no office time.
    QByteArray big;
    const QString filler = QString("这是很长的文件的一段文字，").repeated(26).left(330); // ~1000 bytes
    for (int i = 0; i < kBigParagraphs; ++i)
        big += "<w:p><w:r><w:t>" + (QString::number(i) + filler).toUtf8() + "</w:t></w:r></w:p>";
    m_big = m_made.filePath("big.docx");
    ZipFiles::writeDocx(m_big, big + "<w:p><w:r><w:t>结尾 OLD</w:t></w:r></w:p>");

    m_macro = m_made.filePath("macro.odt");
    const QString marker = m_made.filePath("macro-ran");
    UnoDocuments::writeMacroDocument(m_macro, QStringLiteral("宏 OLD"), marker);
    // The document is hostile indeed: opened with macros allowed, it writes the marker.
    QVERIFY2(UnoDocuments::openRunningMacros(put(m_macro, m_made.filePath("tried.odt")), marker),
             "the macro of the load event did not run");
    QVERIFY(QFile::remove(marker));
}

void TestHostile::mixedDocuments_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("libreoffice") << "libreoffice";
    QTest::newRow("chosen per file") << "";
}

void TestHostile::mixedDocuments()
{
    QFETCH(QString, engine);
    const QString root = m_made.filePath(QTest::currentDataTag());
    const auto at = [&](const QString& name) { return QDir(root).filePath(name); };
    QStringList paths;           // in list order
    QHash<QString, QString> bad; // path -> its line, when known, or empty
    const auto add = [&](const QString& path, bool good = true, const QString& reason = {}) {
        paths << path;
        if (!good)
            bad.insert(path, reason);
        return path;
    };

    for (const QString name : {"blank name.docx", "quote's \"q\".docx", "-dash.docx", "new\nline.docx"})
        add(put(m_good, at(name)));
    QString deep = root;
    for (int i = 0; deep.toUtf8().size() < 300; ++i)
        deep += QStringLiteral("/%1").arg(QString("深").repeated(30) + QString::number(i)); // 91 bytes each
    add(put(m_good, deep + "/deep.docx"));
    const QString target = put(m_good, at("targets/target.docx"));
    const QString link = add(at("link.docx"));
    QVERIFY(QFile::link(target, link));
    add(put(m_big, at("big.docx")));
    add(put(m_many, at("many.doc")));
    add(put(m_macro, at("macro.odt"))); // a macro on its load event

    // Each fails for its own reason, whatever failed before it.
    add(put(m_encrypted, at("secret.doc")), false, QStringLiteral(" 打开失败，未修改：文件有密码保护"));
    // LibreOffice cannot store under such a name either: a copy takes it.
    add(put(m_goodDoc, at(QString(250, 'n') + ".doc")), false,
        QStringLiteral(" 打开失败，未修改：文件名太长，无法加锁"));
    writeFile(add(at("damaged.docx"), false), damaged(bytes(m_good), 7, 7));
    const QByteArray sample = bytes(corpus("doc/SampleDoc.doc"));
    writeFile(add(at("truncated.doc"), false), sample.left(sample.size() / 2));
    add(put(corpus("xlsx/any_sheets.xlsx"), at("workbook.docx")), false);
    writeFile(add(at("empty.docx"), false), {});
    add(put(m_good, at("locked.docx")), false); // by another LibreOffice
    const QString foreignLock = at(".~lock.locked.docx#");
    writeFile(foreignLock, kForeignLock);
    add(put(m_goodDoc, at("#hash 100%.doc"))); // the run goes on after them
    const QString readOnly = add(put(m_good, at("readonly.docx")), kRoot);
    QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QString inClosed = add(put(m_good, at("closed/inside.docx"))); // in a read-only folder
    QVERIFY(QFile::setPermissions(at("closed"), QFile::ReadOwner | QFile::ExeOwner));
    auto reopen = qScopeGuard(
        [&] { QFile::setPermissions(at("closed"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });

    // A name that is not text: made from raw bytes (中文 in GBK), which QDir cannot reach.
    const QByteArray gbkName = QFile::encodeName(root) + "/\xD6\xD0\xCE\xC4.docx";
    QVERIFY(::rename(QFile::encodeName(put(m_good, at("gbk.docx"))), gbkName) == 0);
    auto removeGbk = qScopeGuard([&] { ::unlink(gbkName.constData()); });
    const QString gbkShown = root + QStringLiteral("/\\xD6\\xD0\\xCE\\xC4.docx");

    const QHash<QString, QByteArray> before = snapshots(paths);
    const QByteArray gbkBefore = snapshot(gbkName);
    // The arguments in list order, the name that is not text among them.
    QStringList arguments = replacing("word-replace", paths);
    arguments.insert(8, CliProcess::kRaw);

    CliProcess run(arguments, environment(m_app.path(), engine), gbkName);
    run.finish();
    QCOMPARE(run.code, 1);
    QCOMPARE(run.err, QStringLiteral("已完成 %1 个文件！ 全部操作已完成").arg(paths.size()));

    // The name that is not text: one line, shown as its bytes, the file untouched.
    const QString gbkLine = QStringLiteral(" 处理失败，未修改：文件名不是有效的文字编码");
    QCOMPARE(linesOf(run.out, gbkShown), QStringList{gbkLine});
    QVERIFY(snapshot(gbkName) == gbkBefore);

    // Every other file: one line, in list order; a bad file, or a good one refused, untouched.
    QStringList order;
    for (const QString& path : std::as_const(paths)) {
        const QString shown = QString(path).replace('\n', QStringLiteral("\\x0A")); // as the run shows it
        const QStringList lines = linesOf(run.out, shown);
        QVERIFY2(lines.size() == 1, qPrintable(path + ": " + lines.join(" | ")));
        const QString& line = lines.first();
        order << shown + line;
        if (path == readOnly) {
            if (!kRoot) { // modes do not bind root: either outcome is right
                QCOMPARE(line, QStringLiteral(" 处理失败，未修改：文件是只读的"));
                QVERIFY(unchanged(before, path));
            }
        } else if (bad.contains(path) || (path == inClosed && !kRoot && line.contains(kFailed))) {
            QVERIFY2(line.contains(kFailed), qPrintable(path + line));
            QVERIFY2(bad.value(path).isEmpty() || line == bad.value(path), qPrintable(path + line));
            QVERIFY2(unchanged(before, path), qPrintable(path + " changed"));
        } else {
            QCOMPARE(line, QStringLiteral(" 已替换内容"));
        }
    }
    QStringList printed = run.out;
    printed.removeAll(gbkShown + gbkLine);
    QCOMPARE(printed, order);

    // The changed files read back.
    QVERIFY(QFileInfo(link).isSymLink());
    for (const QString& path : {at("blank name.docx"), at("#hash 100%.doc"), target, inClosed})
        QVERIFY2(body(path).contains("正文 NEW 一"), qPrintable(path + ": " + body(path)));
    const QString many = body(at("many.doc"));
    QCOMPARE(many.count("NEW"), kMany);
    QCOMPARE(many.count("OLD"), 0);
    const QString bigText = packageText(at("big.docx"));
    QVERIFY(bigText.contains("结尾 NEW") && bigText.contains("19999这是很长的文件") &&
            !bigText.contains("OLD"));
    QVERIFY(body(at("macro.odt")).contains("宏 NEW"));
    QVERIFY2(!QFileInfo::exists(m_made.filePath("macro-ran")),
             "the macro ran while the document was changed");

    QCOMPARE(leftovers(root), QStringList{foreignLock});
}

void TestHostile::mixedWorkbooks()
{
    const QString folder = m_made.filePath("workbooks");
    const auto at = [&](const QString& name) { return QDir(folder).filePath(name); };
    const QString xlsx = put(m_goodXlsx, at("好 表.xlsx"));
    const QString xls = put(m_goodXls, at("好#表.xls"));
    const QStringList bad{put(corpus("xlsx/pass_protected.xlsx"), at("pass.xlsx")),
                          put(corpus("xls/password.xls"), at("password.xls")),
                          put(m_good, at("document.xlsx")),
                          at("empty.xls"),
                          at("damaged.xlsx"),
                          put(xlsx, at("locked.xlsx"))};
    writeFile(bad[3], {});
    writeFile(bad[4], damaged(bytes(xlsx), 11, 5));
    const QString foreignLock = at(".~lock.locked.xlsx#");
    writeFile(foreignLock, kForeignLock);
    const QHash<QString, QByteArray> before = snapshots(bad);

    CliProcess run(replacing("sheet-replace", QStringList{xlsx} + bad + QStringList{xls}),
                   environment(m_app.path(), QString()));
    run.finish();
    QCOMPARE(run.code, 1);
    QCOMPARE(run.out.size(), bad.size() + 2);
    QCOMPARE(run.out.first(), xlsx + "-一月已替换内容");
    QCOMPARE(run.out.last(), xls + "-一月已替换内容");
    for (qsizetype i = 0; i < bad.size(); ++i) {
        QVERIFY2(run.out.at(i + 1).startsWith(bad.at(i) + ' ') && run.out.at(i + 1).contains(kFailed),
                 qPrintable(run.out.at(i + 1)));
        QVERIFY2(unchanged(before, bad.at(i)), qPrintable(bad.at(i)));
    }
    for (const QString& path : {xlsx, xls})
        QCOMPARE(UnoDocuments::stories(path).value("cells"), (QStringList{"有 NEW 字", "第二格"}));
    QCOMPARE(leftovers(folder), QStringList{foreignLock});
}

void TestHostile::twoRunsAtOnce_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QStringList>("extensions"); // of the files, in turn
    QTest::addColumn<int>("count");
    QTest::newRow("documents, libreoffice") << "libreoffice" << QStringList{"doc", "docx"} << 4;
    QTest::newRow("documents, chosen per file") << "" << QStringList{"docx"} << 200;
    QTest::newRow("workbooks, chosen per file") << "" << QStringList{"xlsx"} << 200;
}

// Two runs over the same files at once, each replacing its own text: no change lost, a file
// the other run holds named as locked (not damaged), nothing left behind.
void TestHostile::twoRunsAtOnce()
{
    QFETCH(QString, engine);
    QFETCH(QStringList, extensions);
    QFETCH(int, count);
    const bool books = extensions.contains("xlsx");
    const QString command = books ? "sheet-replace" : "word-replace";
    const QStringList texts{"OLD", books ? "第二格" : "第二段"}; // the one each run replaces
    const QString folder = m_made.filePath(QTest::currentDataTag());
    QStringList files;
    for (int i = 0; i < count; ++i)
        files << make(folder, QStringLiteral("%1.%2").arg(i).arg(extensions.at(i % extensions.size())));
    // The LibreOffice runs on one office process each, which officesLeft() finds.
    const QStringList jobs = engine.isEmpty() ? QStringList() : QStringList{"--jobs=1"};
    CliProcess first(QStringList{command, "--old", texts[0], "--new", "ZQA"} + jobs + files,
                     environment(m_app.path(), engine));
    CliProcess second(QStringList{command, "--old", texts[1], "--new", "ZQB"} + jobs + files,
                      environment(m_app.path(), engine));
    first.finish();
    second.finish();
    for (const CliProcess* run : {&first, &second})
        QCOMPARE(run->out.size(), files.size());
    for (const QString& path : std::as_const(files)) {
        const QString text = path.endsWith(".doc") ? body(path) : packageText(path);
        for (const auto& [run, old, changed] :
             {std::tuple{&first, texts[0], "ZQA"}, {&second, texts[1], "ZQB"}}) {
            const QString lines = linesOf(run->out, path).join('|');
            const bool locked = lines.contains("锁定");
            QVERIFY2(!lines.contains("失败") || locked, qPrintable(path + lines));
            QVERIFY2(locked || (text.contains(changed) && !text.contains(old)),
                     qPrintable(path + ": " + text));
        }
    }
    QCOMPARE(leftovers(folder), QStringList());
}

void TestHostile::officeKilledMidRun()
{
    const QString folder = m_made.filePath("office killed");
    // The big document second: the office is busy with it when it is first killed. Then it is killed
    // again, whenever that falls, up to four times while the first half of the files is worked on.
    QStringList files{make(folder, "first.doc"), put(m_big, folder + "/big.docx")};
    for (int i = 0; i < 14; ++i)
        files << make(folder, QStringLiteral("%1.%2").arg(i).arg(i % 2 ? "docx" : "doc"));
    const QHash<QString, QByteArray> before = snapshots(files);

    CliProcess run(replacing("word-replace", files), environment(m_app.path(), "libreoffice"));
    QVERIFY(run.waitForLine(300000));
    int ended = 0;
    for (qsizetype lines = run.linesSoFar(0); ended < 4 && lines >= 0 && lines < files.size() / 2;
         lines = run.linesSoFar(100)) {
        for (const qint64 office : sofficesOf(run.pid))
            ended += ::kill(pid_t(office), SIGKILL) == 0;
    }
    QVERIFY2(ended > 0, "no soffice.bin child of the run");
    run.finish();
    QCOMPARE(run.code, 1);
    QVERIFY2(run.err.contains("全部操作已完成"), qPrintable(run.err));

    // Each file in list order; the one in progress when soffice died may have two lines, its
    // replace and then its save failing, for the office gone. A file that failed is untouched;
    // each death fails one file at most, the files after it go on a fresh soffice.
    QStringList order;
    int failed = 0;
    for (const QString& path : std::as_const(files)) {
        const QStringList lines = linesOf(run.out, path);
        QVERIFY2(lines.size() == 1 || lines.size() == 2, qPrintable(path + lines.join(" | ")));
        for (const QString& line : lines)
            order << path + line;
        if (lines.last().contains(kFailed)) {
            ++failed;
            QVERIFY2(lines.last().contains(kFailed + FailureText::stopped()) ||
                         lines.last().contains(kFailed + FailureText::cannotStart()),
                     qPrintable(path + lines.last()));
            QVERIFY2(unchanged(before, path), qPrintable(path + " was changed"));
            continue;
        }
        QCOMPARE(lines.last(), QStringLiteral(" 已替换内容"));
        const QString text = path.endsWith(".docx") ? packageText(path) : body(path);
        QVERIFY(text.contains(path == files.at(1) ? "结尾 NEW" : "正文 NEW 一"));
    }
    QCOMPARE(run.out, order);
    QVERIFY2(failed >= 1 && failed <= ended, qPrintable(QStringLiteral("%1 of %2").arg(failed).arg(ended)));
    QCOMPARE(leftovers(folder), QStringList());
}

void TestHostile::chineseFolderWithoutUtf8Locale_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("value");
    for (const auto& [tag, variable, value] : {std::tuple{"no locale, no cache folder", "", ""},
                                               {"LANG=C", "LANG", "C"},
                                               {"LC_ALL=POSIX", "LC_ALL", "POSIX"},
                                               {"LANG naming a locale not installed", "LANG", "zh_CN.UTF-8"}})
        QTest::newRow(tag) << QString(variable) << QString(value);
}

void TestHostile::chineseFolderWithoutUtf8Locale()
{
    QFETCH(QString, variable);
    QFETCH(QString, value);
    if (value == "zh_CN.UTF-8" && std::setlocale(LC_CTYPE, "zh_CN.UTF-8")) {
        std::setlocale(LC_CTYPE, "");
        QSKIP("zh_CN.UTF-8 is installed here");
    }
    const QString folder = m_made.filePath(QStringLiteral("报告 %1/二〇二六年").arg(QTest::currentDataTag()));
    const QString doc = put(m_goodDoc, folder + "/季度总结.doc");
    const QString docx = put(m_good, folder + "/季度总结.docx");
    const QString xls = put(m_goodXls, folder + "/销售表.xls");
    QProcessEnvironment bare = environment(m_app.path(), "libreoffice", true);
    if (!variable.isEmpty())
        bare.insert(variable, value);
    // Without a locale, nor a cache folder: a file stands where the office profiles' folder would go,
    // and soffice runs on a profile in a temporary folder.
    writeFile(m_made.filePath("no-cache"), {});
    if (variable.isEmpty())
        bare.insert("XDG_CACHE_HOME", m_made.filePath("no-cache"));
    CliProcess words({"word-replace", "--old", "OLD", "--new", "新", doc, docx}, bare);
    words.finish();
    QCOMPARE(words.code, 0);
    QCOMPARE(words.out, (QStringList{doc + " 已替换内容", docx + " 已替换内容"}));
    CliProcess sheets({"sheet-replace", "--old", "OLD", "--new", "新", xls}, bare);
    sheets.finish();
    QCOMPARE(sheets.code, 0);
    QCOMPARE(sheets.out, QStringList{xls + "-一月已替换内容"});
    for (const QString& path : {doc, docx})
        QCOMPARE(body(path), QStringLiteral("正文 新 一\n第二段"));
    QCOMPARE(UnoDocuments::stories(xls).value("cells"), (QStringList{"有 新 字", "第二格"}));
    QCOMPARE(leftovers(folder), QStringList());
}

// Nine "project"s: a paragraph, a table row in a content control, a cell in one, a
// content control in a cell, a cell holding a list of four, and a last cell.
void TestHostile::tableCellsInContentControlsAndLists()
{
    const QByteArray w = R"( xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main")";
    const QByteArray cell = R"(<w:tc><w:tcPr><w:tcW w:w="3000" w:type="dxa"/></w:tcPr>)";
    const auto paragraph = [](const QByteArray& text) {
        return "<w:p><w:r><w:t>" + text + "</w:t></w:r></w:p>";
    };
    QByteArray list;
    for (int i = 1; i <= 4; ++i)
        list +=
            R"(<w:p><w:pPr><w:numPr><w:ilvl w:val="0"/><w:numId w:val="1"/></w:numPr></w:pPr><w:r><w:t>item )" +
            QByteArray::number(i) + " project</w:t></w:r></w:p>";
    const QByteArray document =
        "<w:document" + w + "><w:body>" + paragraph("Plain project") +
        R"(<w:tbl><w:tblPr><w:tblW w:w="9000" w:type="dxa"/></w:tblPr><w:tblGrid><w:gridCol w:w="3000"/><w:gridCol w:w="3000"/><w:gridCol w:w="3000"/></w:tblGrid>)"
        R"(<w:sdt><w:sdtPr><w:alias w:val="row"/></w:sdtPr><w:sdtContent><w:tr>)" +
        cell + paragraph("row project") +
        R"(</w:tc><w:sdt><w:sdtPr><w:alias w:val="cell"/></w:sdtPr><w:sdtContent>)" + cell +
        paragraph("cell project") + "</w:tc></w:sdtContent></w:sdt>" + cell +
        R"(<w:sdt><w:sdtPr><w:alias w:val="inside"/></w:sdtPr><w:sdtContent>)" + paragraph("inside project") +
        "</w:sdtContent></w:sdt></w:tc></w:tr></w:sdtContent></w:sdt><w:tr>" + cell + list + "</w:tc>" +
        cell + "<w:p/></w:tc>" + cell + paragraph("last project") +
        R"(</w:tc></w:tr></w:tbl><w:p/><w:sectPr><w:pgSz w:w="11906" w:h="16838"/></w:sectPr></w:body></w:document>)";
    const QString path = m_made.filePath("controls.docx");
    ZipFiles::writePackage(
        path,
        {{"word/document.xml", document},
         {"word/numbering.xml",
          "<w:numbering" + w +
              R"(><w:abstractNum w:abstractNumId="0"><w:lvl w:ilvl="0"><w:start w:val="1"/><w:numFmt w:val="decimal"/><w:lvlText w:val="%1."/></w:lvl></w:abstractNum><w:num w:numId="1"><w:abstractNumId w:val="0"/></w:num></w:numbering>)",
          "numbering", "rId1"}});
    QCOMPARE(UnoDocuments::rendered(path).count("project"), 9);
    CliProcess run({"word-replace", "--old", "project", "--new", "ZQXNEW", path},
                   environment(m_app.path(), "libreoffice"));
    run.finish();
    QCOMPARE(run.out, QStringList{path + " 已替换内容"});
    const QString pages = UnoDocuments::rendered(path);
    QVERIFY2(!pages.contains("project"), qPrintable(pages));
    QCOMPARE(pages.count("ZQXNEW"), 9);
}

void TestHostile::brokenResultNeverReplacesTheFile_data()
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

void TestHostile::brokenResultNeverReplacesTheFile()
{
    QFETCH(QString, engine);
    QFETCH(QString, name);
    const QString folder = m_made.filePath("broken");
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
    QCOMPARE(leftovers(folder), QStringList());

    // The same save without the fault goes through, and the file shows it.
    const MemoryJobHost saved = runOnce();
    QVERIFY2(!saved.log.join('\n').contains("失败"), qPrintable(saved.journalLines.join('\n')));
    const QString text = seen(path);
    QVERIFY2(text.contains("NEW") && !text.contains("OLD"), qPrintable(text));
    QCOMPARE(leftovers(folder), QStringList());
}

void TestHostile::documentsOthersHoldOrChangeAreNotWritten()
{
    const QString folder = m_made.filePath("held");
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
    const QHash<QString, QByteArray> before = snapshots({owned, inOffice, book});
    const QStringList out = replace("word-replace", {owned, inOffice}, m_app.path()) +
                            replace("sheet-replace", {book}, m_app.path());
    for (const QString& path : {owned, inOffice, book}) {
        QCOMPARE(linesOf(out, path), QStringList{" 打开失败，未修改：文件被别人锁定"});
        QVERIFY(unchanged(before, path));
    }

    // Another program, heedless of the lock, puts other content in place of a document that the
    // lossless engine has open: the engine's save does not overwrite it.
    const QString path = make(folder, "changed.docx");
    qputenv("YANHE_ENGINE", "lossless");
    word::ApplicationPtr word = OfficeRegistry::system().createWordProcessor("Word.Application");
    qunsetenv("YANHE_ENGINE");
    word::DocumentPtr document = word->documentsOpen(path);
    document->content()->replaceAll("OLD", "NEW");
    QFile::remove(path);
    QFile::copy(owned, path);
    const QByteArray theirs = bytes(path);
    try {
        document->save();
        QFAIL("a file changed since it was read was overwritten");
    } catch (const RuntimeError& error) {
        QCOMPARE(error.description(), QStringLiteral("文件在处理期间被别的程序改动"));
    }
    word->quit();
    QCOMPARE(bytes(path), theirs);
    // The other programs' lock and owner files are theirs: still there; the engines left nothing.
    QCOMPARE(leftovers(folder), QStringList{lock});
    QVERIFY(QFileInfo::exists(QDir(folder).filePath("~$owned.docx")));
}

void TestHostile::savesKeepOwnerModeAttributesAndLinks()
{
    // Without root, only the run as the user the tests run as.
    for (const bool asNobody : kRoot ? QList<bool>{false, true} : QList<bool>{false}) {
        const QString tag = asNobody ? "-nobody" : "-root";
        const QString folder = m_made.filePath("kept" + tag);
        QDir().mkpath(folder);
        // A world-writable folder, as shared folders are.
        ::chmod(QFile::encodeName(folder).constData(), 01777);
        const uid_t owner = kRoot ? kNobody : ::getuid();
        const gid_t group = kRoot ? kNogroup : ::getgid();
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
        const QString foreign = kRoot && asNobody ? make(folder, "daemon.docx") : QString();
        QStringList documents{files[0], files[1], files[4]};
        if (!foreign.isEmpty()) {
            QVERIFY(::chown(QFile::encodeName(foreign), kDaemon, kDaemon) == 0 &&
                    ::chmod(QFile::encodeName(foreign), 0666) == 0);
            documents << foreign;
        }
        const QByteArray foreignBytes = bytes(foreign);
        const QString cache = m_made.filePath("cache" + tag);
        const QString app = m_made.filePath("app" + tag);
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
        QCOMPARE(leftovers(folder), QStringList());
    }
}

void TestHostile::whatAKilledSaveLeftIsRemoved()
{
    const QString folder = m_made.filePath("killed");
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
    CliProcess killed(QStringList{"word-replace", "--old", "OLD", "--new", "NEW"} + files,
                      environment(m_app.path(), ""));
    QThread::msleep(150);
    ::kill(pid_t(killed.pid), SIGKILL);
    killed.finish();
    // ... and the next run over the folder removes it with the old leftovers.
    QThread::msleep(500);
    const QStringList next = replace("word-replace", {files[5], files[7]}, m_app.path());
    QVERIFY2(!next.join('\n').contains("失败"), qPrintable(next.join('\n')));
    QCOMPARE(leftovers(folder),
             (QStringList{at(".~f005.docx.toolong7"), at(".~lock.f009.docx#"), at(".~notes")}));
    QVERIFY(packageText(files[5]).contains("NEW"));
    QVERIFY(packageText(files[7]).contains("NEW"));
}

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
