#include "support/ChildProcess.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"
#include "support/ZipFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// One batch of good files mixed with hostile ones, the way a user meets them on
// a share, through yanhe-cli and the real LibreOffice: every good file changed,
// every bad one left byte for byte and named in one line, no office process and
// no lock or temporary file left behind.
namespace {

const QString kFailed = QStringLiteral("失败，未修改：");

// A file's bytes and modification time, read through its name's own bytes.
struct Snapshot
{
    bool exists = false;
    QByteArray bytes;
    qint64 mtimeNs = 0;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const QByteArray& name)
{
    Snapshot shot;
    struct stat status
    {};
    if (::stat(name.constData(), &status) != 0)
        return shot;
    shot.exists = true;
    shot.mtimeNs = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    const int fd = ::open(name.constData(), O_RDONLY);
    if (fd < 0)
        return shot;
    char buffer[65536];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
        shot.bytes.append(buffer, got);
    ::close(fd);
    return shot;
}

Snapshot snapshot(const QString& path)
{
    return snapshot(QFile::encodeName(path));
}

void writeBytes(const QByteArray& name, const QByteArray& content)
{
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY2(fd >= 0, name.constData());
    QCOMPARE(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
    ::close(fd);
}

// A .docx of plain paragraphs, written part by part: big ones cost no office time.
void writePlainDocx(const QString& path, const QStringList& paragraphs)
{
    QByteArray body;
    for (const QString& paragraph : paragraphs)
        body += "<w:p><w:r><w:t xml:space=\"preserve\">" + paragraph.toUtf8() + "</w:t></w:r></w:p>";
    ZipFiles::write(
        path,
        {{"[Content_Types].xml",
          R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>)"},
         {"_rels/.rels",
          R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/></Relationships>)"},
         {"word/document.xml",
          R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body>)" +
              body + "</w:body></w:document>"}});
}

// The text of a saved document.xml: its tags dropped, as runs may split a text anywhere.
QString xmlText(const QByteArray& xml)
{
    QByteArray text;
    text.reserve(xml.size());
    bool inTag = false;
    for (const char c : xml) {
        if (c == '<')
            inTag = true;
        else if (c == '>')
            inTag = false;
        else if (!inTag)
            text += c;
    }
    return QString::fromUtf8(text);
}

QString docxText(const QString& path)
{
    return xmlText(ZipFiles::read(path).value("word/document.xml"));
}

// Octal escapes for printf %b: a name's bytes through a shell untouched.
QByteArray printfEscapes(const QByteArray& raw)
{
    QByteArray escaped;
    for (const char c : raw)
        escaped += "\\0" + QByteArray::number(uchar(c), 8).rightJustified(3, '0');
    return escaped;
}

// yanhe-cli run through a shell that puts raw bytes in place of every "@RAW@"
// argument (the process execs, so the shell's pid is yanhe-cli's).
class CliProcess
{
public:
    static constexpr char kRaw[] = "@RAW@";

    void start(const QStringList& arguments, const QString& appFolder, const QByteArray& raw = {},
               const QProcessEnvironment& extra = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("YANHE_APP_FOLDER", appFolder);
        environment.insert("YANHE_TEST_RAW", QString::fromLatin1(printfEscapes(raw)));
        environment.insert(extra);
        m_process.setProcessEnvironment(environment);
        endsWithTheTest(m_process); // and so, through the shell's exec, yanhe-cli
        const QString script = QStringLiteral(
            "raw=$(printf '%b' \"$YANHE_TEST_RAW\"); for a; do shift; "
            "if [ \"$a\" = @RAW@ ]; then set -- \"$@\" \"$raw\"; else set -- \"$@\" \"$a\"; fi; done; "
            "exec \"$@\"");
        // The run's soffice is looked for among its own children: one office process, no workers.
        QStringList withJobs = arguments;
        if (!withJobs.isEmpty() &&
            (withJobs.first().startsWith("word-") || withJobs.first().startsWith("sheet-")))
            withJobs.insert(1, "--jobs=1");
        m_process.start("/bin/sh", QStringList{"-c", script, "sh", YANHE_CLI} + withJobs);
        QVERIFY(m_process.waitForStarted());
        pid = m_process.processId();
    }
    void finish()
    {
        QVERIFY(m_process.waitForFinished(900000));
        code = m_process.exitCode();
        out +=
            QString::fromUtf8(m_stdout + m_process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        err = QString::fromUtf8(m_process.readAllStandardError()).trimmed();
    }
    // Waits until stdout has a line; the lines read so far are kept for finish().
    bool waitForLine(int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!m_stdout.contains('\n') && !deadline.hasExpired()) {
            m_process.waitForReadyRead(500);
            m_stdout += m_process.readAllStandardOutput();
            if (m_process.state() != QProcess::Running)
                break;
        }
        return m_stdout.contains('\n');
    }

    qint64 pid = 0;
    int code = -1;
    QStringList out;
    QString err;

private:
    QProcess m_process;
    QByteArray m_stdout;
};

// The soffices that a yanhe-cli process started: they listen on its pipes,
// named after its pid.
QList<qint64> officesOf(qint64 cliPid)
{
    const QByteArray pipe = "pipe,name=yanhe-" + QByteArray::number(cliPid) + "-";
    QList<qint64> found;
    for (const ProcessEntry& process : processTable()) {
        if (process.commandLine.contains(pipe))
            found << process.pid;
    }
    return found;
}

// The soffice.bin that is a child of the yanhe-cli process, once it runs.
qint64 officeChildOf(qint64 cliPid, int timeoutMs)
{
    for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired(); QThread::msleep(100)) {
        if (const QList<qint64> children = sofficesOf(cliPid); !children.isEmpty())
            return children.first();
    }
    return 0;
}

// Offices of the run still there some seconds after it ended; ended by the test.
QList<qint64> officesLeft(qint64 cliPid)
{
    QList<qint64> left;
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired(); QThread::msleep(200)) {
        left = officesOf(cliPid);
        if (left.isEmpty())
            return left;
    }
    for (const qint64 pid : left)
        ::kill(pid_t(pid), SIGKILL);
    return left;
}

// Lock and temporary files of the office program left in the folder tree.
QStringList leftovers(const QString& root, const QStringList& expected)
{
    QStringList found;
    static const QRegularExpression temporary(QStringLiteral("^lu.*\\.tmp$"));
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = it.fileName();
        if (((name.startsWith(".~lock.") && name.endsWith('#')) || temporary.match(name).hasMatch()) &&
            !expected.contains(path)) {
            qInfo().noquote() << "left behind:" << path;
            found << path;
        }
    }
    return found;
}

// The lines naming path: those that start with it and a blank.
QStringList linesOf(const QStringList& out, const QString& shown)
{
    QStringList lines;
    for (const QString& line : out) {
        if (line.startsWith(shown + ' ') || line.startsWith(shown + '-'))
            lines << line;
    }
    return lines;
}

// Control characters of a path as the command line shows them.
QString shownPath(QString path)
{
    return path.replace('\n', QStringLiteral("\\x0A"));
}

const bool kRoot = ::geteuid() == 0;

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void mixedDocuments_data();
    void mixedDocuments();
    void mixedWorkbooks();
    void twoRunsAtOnce();
    void officeKilledMidRun();

private:
    QString corpus(const QString& name) const { return QStringLiteral(YANHE_CORPUS "/") + name; }
    QString copyOf(const QString& corpusName, const QString& to)
    {
        if (!QFile::copy(corpus(corpusName), to))
            qFatal("cannot copy %s", qPrintable(corpusName));
        QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        return to;
    }

    QTemporaryDir m_app;
    QString m_good;      // a .docx made through LibreOffice, "正文 OLD"
    QString m_goodDoc;   // the same as .doc
    QString m_many;      // .doc with 5000 "OLD"
    QString m_big;       // a big .docx, one "OLD" at its end
    QString m_macro;     // .odt whose load event runs a macro
    QString m_encrypted; // .doc with a password
    QTemporaryDir m_made;
};

namespace {
constexpr int kBigParagraphs = 20000; // of 1000 bytes: 20 MB of text
constexpr int kMany = 5000;
} // namespace

void TestHostile::initTestCase()
{
    if (!QFileInfo::exists(corpus("README.md")))
        QSKIP("the document corpus is not beside the project");
    QVERIFY(m_made.isValid());
    m_good = m_made.filePath("good.docx");
    m_goodDoc = m_made.filePath("good.doc");
    UnoDocuments::writeDocument(m_good, {{"正文 OLD 一", "第二段"}, {}, {}, {}, {}});
    UnoDocuments::writeDocument(m_goodDoc, {{"正文 OLD 一", "第二段"}, {}, {}, {}, {}});
    // LibreOffice's Word 2007 export leaves a password unused; its Word 97 one encrypts.
    m_encrypted = m_made.filePath("secret.doc");
    UnoDocuments::writeDocument(m_encrypted, {{"机密 OLD"}, {}, {}, {}, {}}, "pw");

    QStringList many;
    for (int i = 0; i < kMany / 10; ++i)
        many << QStringLiteral("OLD 一 OLD 二 OLD 三 OLD 四 OLD 五 OLD 六 OLD 七 OLD 八 OLD 九 OLD 十");
    m_many = m_made.filePath("many.doc");
    UnoDocuments::writeDocument(m_many, {many, {}, {}, {}, {}});

    QStringList big;
    const QString filler =
        QString("这是很长的文件的一段文字，").repeated(1000 / 39 + 1).left(330); // ~1000 bytes
    for (int i = 0; i < kBigParagraphs; ++i)
        big << QString::number(i) + filler;
    big << QStringLiteral("结尾 OLD");
    m_big = m_made.filePath("big.docx");
    writePlainDocx(m_big, big);

    m_macro = m_made.filePath("macro.odt");
    const QString marker = m_made.filePath("macro-ran");
    UnoDocuments::writeMacroDocument(m_macro, QStringLiteral("宏 OLD"), marker);
    // The document is hostile indeed: opened with macros allowed, it writes the marker.
    const QString tried = m_made.filePath("tried.odt");
    QVERIFY(QFile::copy(m_macro, tried));
    QVERIFY2(UnoDocuments::openRunningMacros(tried, marker), "the macro of the load event did not run");
    QVERIFY(QFile::remove(marker));

    QVERIFY(m_app.isValid());
}

void TestHostile::cleanupTestCase()
{
    UnoDocuments::shutdown();
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
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.path();
    const QString marker = m_made.filePath("macro-ran");

    struct Entry
    {
        QString path;
        bool good;
        QString what;
    };
    QList<Entry> entries;
    const auto good = [&](const QString& name, const QString& from, const QString& what) {
        const QString path = QDir(root).filePath(name);
        QVERIFY2(QFile::copy(from, path), qPrintable(path));
        entries.append({path, true, what});
    };
    const auto bad = [&](const QString& path, const QString& what) { entries.append({path, false, what}); };

    good("blank name.docx", m_good, "name with blanks");
    good("quote's \"q\".docx", m_good, "name with quotes");
    good("#hash 100%.doc", m_goodDoc, "name with # and %");
    good("-dash.docx", m_good, "name with a leading -");
    good("new\nline.docx", m_good, "name with a newline");

    QString deep = root;
    for (int i = 0; deep.toUtf8().size() < 300; ++i)
        deep += QStringLiteral("/%1").arg(QString("深").repeated(30) + QString::number(i)); // 91 bytes each
    QVERIFY(QDir().mkpath(deep));
    good(QDir(root).relativeFilePath(deep + "/deep.docx"), m_good, "path over 255 bytes");

    QVERIFY(QDir(root).mkdir("targets"));
    const QString target = QDir(root).filePath("targets/target.docx");
    QVERIFY(QFile::copy(m_good, target));
    const QString link = QDir(root).filePath("link.docx");
    QVERIFY(QFile::link(target, link));
    entries.append({link, true, "symbolic link to a document"});

    good("big.docx", m_big, "big document");
    good("many.doc", m_many, "5000 occurrences");
    good("macro.odt", m_macro, "macro on the load event");

    const QString encrypted = QDir(root).filePath("secret.doc");
    QVERIFY(QFile::copy(m_encrypted, encrypted));
    bad(encrypted, "encrypted .doc");

    const QString damaged = QDir(root).filePath("damaged.docx");
    {
        QByteArray content = bytes(m_good);
        QRandomGenerator random(7);
        for (qsizetype i = content.size() / 3; i < content.size() * 2 / 3; i += 7)
            content[i] = char(random.bounded(256));
        writeBytes(QFile::encodeName(damaged), content);
    }
    bad(damaged, "random bytes in the middle of a .docx");

    const QString truncated = QDir(root).filePath("truncated.doc");
    {
        const QByteArray content = bytes(corpus("doc/SampleDoc.doc"));
        writeBytes(QFile::encodeName(truncated), content.left(content.size() / 2));
    }
    bad(truncated, "half of a .doc");

    bad(copyOf("xlsx/any_sheets.xlsx", QDir(root).filePath("workbook.docx")), ".xlsx named .docx");

    const QString empty = QDir(root).filePath("empty.docx");
    writeBytes(QFile::encodeName(empty), {});
    bad(empty, "zero bytes");

    const QString locked = QDir(root).filePath("locked.docx");
    QVERIFY(QFile::copy(m_good, locked));
    const QString foreignLock = QDir(root).filePath(".~lock.locked.docx#");
    writeBytes(QFile::encodeName(foreignLock),
               ",王 五,otherhost,05.12.2026 09:00,file:///home/wang/.config/libreoffice/4;");
    bad(locked, "locked by another LibreOffice");

    const QString readOnly = QDir(root).filePath("readonly.docx");
    QVERIFY(QFile::copy(m_good, readOnly));
    QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    entries.append({readOnly, kRoot, "read-only file"});

    const QString closedFolder = QDir(root).filePath("closed");
    QVERIFY(QDir(root).mkdir("closed"));
    const QString inClosed = closedFolder + "/inside.docx";
    QVERIFY(QFile::copy(m_good, inClosed));
    QVERIFY(QFile::setPermissions(closedFolder, QFile::ReadOwner | QFile::ExeOwner));
    auto reopen = qScopeGuard(
        [&] { QFile::setPermissions(closedFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
    entries.append({inClosed, true, "file in a read-only folder"});

    // A name that is not text: made from raw bytes (中文 in GBK).
    const QByteArray gbkName = QFile::encodeName(root) + "/\xD6\xD0\xCE\xC4.docx";
    writeBytes(gbkName, bytes(m_good));
    auto removeGbk = qScopeGuard([&] { ::unlink(gbkName.constData()); }); // a name QDir cannot reach
    const QString gbkShown = root + QStringLiteral("/\\xD6\\xD0\\xCE\\xC4.docx");

    // The arguments in list order, the name that is not text among them.
    QStringList arguments{"word-replace", "--old", "OLD", "--new", "NEW"};
    QHash<QString, Snapshot> before;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (i == 3)
            arguments << CliProcess::kRaw;
        arguments << entries.at(i).path;
        before.insert(entries.at(i).path, snapshot(entries.at(i).path));
    }
    const Snapshot gbkBefore = snapshot(gbkName);

    QProcessEnvironment environment;
    environment.insert("YANHE_ENGINE", engine);
    QElapsedTimer timer;
    timer.start();
    CliProcess run;
    run.start(arguments, m_app.path(), gbkName, environment);
    run.finish();
    qInfo().noquote() << engine << "run:" << timer.elapsed() << "ms";
    for (const QString& line : run.out)
        qInfo().noquote() << "  " << line;

    QCOMPARE(run.code, 1);
    QCOMPARE(run.err, QStringLiteral("已完成 %1 个文件！ 全部操作已完成").arg(entries.size()));

    // The name that is not text: one line, shown as its bytes, the file untouched.
    QCOMPARE(linesOf(run.out, gbkShown),
             QStringList{gbkShown + QStringLiteral(" 处理失败，未修改：文件名不是有效的文字编码")});
    QVERIFY(snapshot(gbkName) == gbkBefore);

    // Every other file: one line, in list order.
    QStringList order;
    for (const Entry& entry : entries) {
        const QString shown = shownPath(entry.path);
        const QStringList lines = linesOf(run.out, shown);
        QVERIFY2(lines.size() == 1, qPrintable(entry.what + ": " + lines.join(" | ")));
        order << lines.first();
    }
    QStringList printed = run.out;
    printed.removeAll(linesOf(run.out, gbkShown).value(0));
    QCOMPARE(printed, order);

    for (const Entry& entry : entries) {
        const QString line = linesOf(run.out, shownPath(entry.path)).first();
        const Snapshot after = snapshot(entry.path);
        if (entry.path == readOnly && kRoot)
            continue; // modes do not bind root: either outcome is right
        if (entry.path == readOnly) {
            QCOMPARE(line, readOnly + QStringLiteral(" 处理失败，未修改：文件是只读的"));
            QVERIFY(after == before.value(entry.path));
            continue;
        }
        if (entry.path == inClosed && !kRoot && line.contains(kFailed)) {
            // Saved in place or refused: refused, it is untouched.
            QVERIFY(after == before.value(entry.path));
            continue;
        }
        if (!entry.good) {
            QVERIFY2(line.contains(kFailed), qPrintable(entry.what + ": " + line));
            QVERIFY2(after == before.value(entry.path), qPrintable(entry.what + " changed"));
            continue;
        }
        QVERIFY2(line == shownPath(entry.path) + QStringLiteral(" 已替换内容"),
                 qPrintable(entry.what + ": " + line));
    }

    // The changed files read back.
    QVERIFY(QFileInfo(link).isSymLink());
    for (const QString& path :
         {QDir(root).filePath("blank name.docx"), QDir(root).filePath("#hash 100%.doc"), target, inClosed}) {
        const QStringList body = UnoDocuments::stories(path).value("body");
        QVERIFY2(body.join('\n').contains("正文 NEW 一"), qPrintable(path + ": " + body.join('\n')));
    }
    const QString many = UnoDocuments::stories(QDir(root).filePath("many.doc")).value("body").join('\n');
    QCOMPARE(many.count("NEW"), kMany);
    QCOMPARE(many.count("OLD"), 0);
    const QString bigXml = docxText(QDir(root).filePath("big.docx"));
    QVERIFY(bigXml.contains("结尾 NEW"));
    QVERIFY(bigXml.contains("19999这是很长的文件"));
    QVERIFY(!bigXml.contains("OLD"));
    QVERIFY(
        UnoDocuments::stories(QDir(root).filePath("macro.odt")).value("body").join('\n').contains("宏 NEW"));
    QVERIFY2(!QFileInfo::exists(marker), "the macro ran while the document was changed");

    QCOMPARE(officesLeft(run.pid), QList<qint64>());
    QCOMPARE(leftovers(root, {foreignLock}), QStringList());
    QVERIFY(QFileInfo::exists(foreignLock));
}

void TestHostile::mixedWorkbooks()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.path();
    const QString xlsx = QDir(root).filePath("好 表.xlsx");
    const QString xls = QDir(root).filePath("好#表.xls");
    for (const QString& path : {xlsx, xls})
        UnoDocuments::writeWorkbook(path, {{"一月", {{1, 1, "有 OLD 字"}}}});
    const QString encrypted = copyOf("xlsx/pass_protected.xlsx", QDir(root).filePath("pass.xlsx"));
    const QString encryptedXls = copyOf("xls/password.xls", QDir(root).filePath("password.xls"));
    const QString document = QDir(root).filePath("document.xlsx");
    QVERIFY(QFile::copy(m_good, document));
    const QString empty = QDir(root).filePath("empty.xls");
    writeBytes(QFile::encodeName(empty), {});
    const QString damaged = QDir(root).filePath("damaged.xlsx");
    {
        QByteArray content = bytes(xlsx);
        QRandomGenerator random(11);
        for (qsizetype i = content.size() / 3; i < content.size() * 2 / 3; i += 5)
            content[i] = char(random.bounded(256));
        writeBytes(QFile::encodeName(damaged), content);
    }
    const QString locked = QDir(root).filePath("locked.xlsx");
    QVERIFY(QFile::copy(xlsx, locked));
    const QString foreignLock = QDir(root).filePath(".~lock.locked.xlsx#");
    writeBytes(QFile::encodeName(foreignLock),
               ",王 五,otherhost,05.12.2026 09:00,file:///home/wang/.config/libreoffice/4;");

    const QStringList bad{encrypted, encryptedXls, document, empty, damaged, locked};
    QHash<QString, Snapshot> before;
    for (const QString& path : bad)
        before.insert(path, snapshot(path));

    CliProcess run;
    run.start(QStringList{"sheet-replace", "--old", "OLD", "--new", "NEW", xlsx} + bad + QStringList{xls},
              m_app.path(), {}, {});
    run.finish();
    for (const QString& line : run.out)
        qInfo().noquote() << "  " << line;
    QCOMPARE(run.code, 1);
    QCOMPARE(run.out.first(), xlsx + "-一月已替换内容");
    QCOMPARE(run.out.last(), xls + "-一月已替换内容");
    QCOMPARE(run.out.size(), bad.size() + 2);
    for (qsizetype i = 0; i < bad.size(); ++i) {
        QVERIFY2(run.out.at(i + 1).startsWith(bad.at(i) + ' ') && run.out.at(i + 1).contains(kFailed),
                 qPrintable(run.out.at(i + 1)));
        QVERIFY2(snapshot(bad.at(i)) == before.value(bad.at(i)), qPrintable(bad.at(i)));
    }
    for (const QString& path : {xlsx, xls})
        QCOMPARE(UnoDocuments::stories(path).value("cells"), QStringList{"有 NEW 字"});
    QCOMPARE(officesLeft(run.pid), QList<qint64>());
    QCOMPARE(leftovers(root, {foreignLock}), QStringList());
}

void TestHostile::twoRunsAtOnce()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList files;
    for (const QString name : {"一.doc", "二.docx", "三.doc", "四.docx"}) {
        files << dir.filePath(name);
        QVERIFY(QFile::copy(name == QString("一.doc") || name == QString("三.doc") ? m_goodDoc : m_good,
                            files.last()));
    }
    QProcessEnvironment environment;
    environment.insert("YANHE_ENGINE", "libreoffice");
    const QStringList arguments = QStringList{"word-replace", "--old", "OLD", "--new", "NEW"} + files;
    CliProcess first;
    CliProcess second;
    first.start(arguments, m_app.path(), {}, environment);
    second.start(arguments, m_app.path(), {}, environment);
    first.finish();
    second.finish();
    for (const CliProcess* run : {&first, &second}) {
        qInfo().noquote() << "run" << run->pid << "exit" << run->code << run->err;
        for (const QString& line : run->out)
            qInfo().noquote() << "  " << line;
    }
    // What the journal knows of the files one run could not open.
    QDirIterator journals(m_app.filePath("Journal"), {"*.txt"}, QDir::Files, QDirIterator::Subdirectories);
    while (journals.hasNext()) {
        for (const QString& line : QString::fromUtf8(bytes(journals.next())).split("\r\n")) {
            if (line.contains(dir.path()) && line.contains(kFailed))
                qInfo().noquote() << "journal:" << line;
        }
    }
    QCOMPARE(first.out.size(), files.size());
    QCOMPARE(second.out.size(), files.size());
    for (const QString& path : files) {
        QStringList lines = linesOf(first.out, path) + linesOf(second.out, path);
        QCOMPARE(lines.size(), 2);
        // Replaced by one run; the other found nothing left or found it open in the first
        // (a good file, not a damaged one).
        QCOMPARE(lines.filter(QStringLiteral(" 已替换内容")).size(), 1);
        QCOMPARE(lines.filter(QStringLiteral("文件已损坏")), QStringList());
        const QString body = UnoDocuments::stories(path).value("body").join('\n');
        QVERIFY2(body.contains("正文 NEW 一") && !body.contains("OLD"), qPrintable(path + ": " + body));
    }
    QCOMPARE(officesLeft(first.pid), QList<qint64>());
    QCOMPARE(officesLeft(second.pid), QList<qint64>());
    QCOMPARE(leftovers(dir.path(), {}), QStringList());
}

void TestHostile::officeKilledMidRun()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The big document second: the office is busy with it when it is killed.
    const QStringList files{dir.filePath("first.doc"), dir.filePath("big.docx"), dir.filePath("third.doc"),
                            dir.filePath("fourth.docx")};
    QVERIFY(QFile::copy(m_goodDoc, files.at(0)));
    QVERIFY(QFile::copy(m_big, files.at(1)));
    QVERIFY(QFile::copy(m_goodDoc, files.at(2)));
    QVERIFY(QFile::copy(m_good, files.at(3)));
    QHash<QString, Snapshot> before;
    for (const QString& path : files)
        before.insert(path, snapshot(path));

    QProcessEnvironment environment;
    environment.insert("YANHE_ENGINE", "libreoffice");
    CliProcess run;
    run.start(QStringList{"word-replace", "--old", "OLD", "--new", "NEW"} + files, m_app.path(), {},
              environment);
    QVERIFY(run.waitForLine(300000));
    const qint64 office = officeChildOf(run.pid, 10000);
    QVERIFY2(office > 0, "no soffice.bin child of the run");
    QCOMPARE(::kill(pid_t(office), SIGKILL), 0);
    run.finish();
    for (const QString& line : run.out)
        qInfo().noquote() << "  " << line;

    // Each file in list order; the one in progress when soffice died may have two
    // lines, its replace and then its save failing. A file that failed is untouched.
    QStringList order;
    int failed = 0;
    for (const QString& path : files) {
        const QStringList lines = linesOf(run.out, path);
        QVERIFY2(lines.size() == 1 || lines.size() == 2, qPrintable(lines.join(" | ")));
        order += lines;
        if (lines.last().contains(kFailed)) {
            ++failed;
            qInfo().noquote() << "in progress when soffice was killed:" << lines.join(" | ");
            QVERIFY2(snapshot(path) == before.value(path), qPrintable(path + " was changed"));
        } else if (path.endsWith(".docx")) {
            QCOMPARE(lines.last(), path + " 已替换内容");
            QVERIFY(docxText(path).contains(path == files.at(1) ? "结尾 NEW" : "正文 NEW 一"));
        } else {
            QCOMPARE(lines.last(), path + " 已替换内容");
            QVERIFY(UnoDocuments::stories(path).value("body").join('\n').contains("正文 NEW 一"));
        }
    }
    QCOMPARE(run.out, order);
    QCOMPARE(failed, 1);
    QCOMPARE(officesLeft(run.pid), QList<qint64>());
    QCOMPARE(leftovers(dir.path(), {}), QStringList());
}

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
