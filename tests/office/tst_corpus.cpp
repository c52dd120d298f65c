#include "app/FailureText.h"
#include "support/CliRun.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Every job that exists, run by yanhe-cli over a copy of real documents and
// workbooks that other programs wrote, on each engine that edits the format:
// no crash or hang, every failure said in a known phrase, every file the job
// did not change left as it was (bytes and time), every changed file opening
// again and holding what it held (tables, pictures, shapes, sections,
// hyperlinks, bookmarks, sheets, formulas, merged ranges), and the text
// replaced exactly where the job's scope reaches. And on copies of real .doc and
// .xls files the LibreOffice engine saves: backups and undo on several office
// processes at once, dry runs that count what the run then writes.
namespace {

const QDateTime kOld(QDate(2020, 1, 2), QTime(3, 4, 5));
const QString kAbsent = QStringLiteral("Qzxwvjk");
const QStringList kEveryScope{"body", "textboxes", "header-textboxes", "headers-footers"};

// The phrases a failure line may end in (after "失败，未修改：").
bool knownFailure(const QString& why)
{
    static const QStringList exact{
        FailureText::encrypted(),       FailureText::damaged(),     FailureText::missing(),
        FailureText::notWordDocument(), FailureText::notWorkbook(), FailureText::readOnly(),
        FailureText::notResponding(),   FailureText::stopped(),     FailureText::nameTooLong()};
    // The lossless engine, when it is named, declines what it does not edit itself in its own words.
    return exact.contains(why) || why.startsWith(QStringLiteral("无法直接编辑：")) ||
           why.startsWith(FailureText::cannotSaveFormat(QString()).chopped(2)) ||
           why.startsWith(FailureText::lockedBy(QStringLiteral("@")).section('@', 0, 0));
}

int occurrences(const QStringList& texts, const QString& what)
{
    int count = 0;
    for (const QString& text : texts)
        count += int(text.count(what, Qt::CaseInsensitive));
    return count;
}

// Occurrences in formulas: a replace that would break a formula is refused, as Excel refuses to enter it.
int inFormulas(QStringList cells, const QString& what)
{
    cells.removeIf([](const QString& cell) { return !cell.startsWith('='); });
    return occurrences(cells, what);
}

struct File
{
    QString path;
    QByteArray bytes;
    UnoDocuments::Inventory inventory;
    QMap<QString, QStringList> stories;
};

// What the corpus cost through LibreOffice: the counts a changed file must keep.
const QStringList kKept{"tables",     "pictures",  "objects", "shapes",   "frames", "sections",
                        "hyperlinks", "bookmarks", "sheets",  "formulas", "merged"};

// The counts a dry run's lines give, by file: four for a document (body, text
// boxes, headers, footers), one for a workbook.
QMap<QString, QList<int>> previewed(const QStringList& lines)
{
    static const QRegularExpression preview(
        "^(.*) 预览：(?:正文 (\\d+) 处，文本框 (\\d+) 处，页眉 (\\d+) 处，页脚 "
        "(\\d+) 处|工作表 (\\d+) 处)$");
    QMap<QString, QList<int>> counted;
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = preview.match(line);
        for (int i = 2; match.hasMatch() && i <= match.lastCapturedIndex(); ++i) {
            if (!match.captured(i).isEmpty())
                counted[match.captured(1)] << match.captured(i).toInt();
        }
    }
    return counted;
}

} // namespace

class TestCorpus : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void job_data();
    void job();
    void dryRunsBackupsAndUndoOnLibreOffice();

private:
    // A copy of a corpus file in folder (made here), writable and dated kOld; empty when it cannot be made.
    QString copied(const QString& source, const QString& folder);

    QString m_corpus;
    QTemporaryDir m_dir;
    QMap<QString, QPair<UnoDocuments::Inventory, QMap<QString, QStringList>>> m_seen;
};

void TestCorpus::initTestCase()
{
    // $YANHE_CORPUS runs the same checks over another set of documents of the same kinds.
    m_corpus = qEnvironmentVariable("YANHE_CORPUS", QStringLiteral(YANHE_CORPUS));
    if (!QFileInfo::exists(m_corpus + "/docx"))
        QSKIP("no corpus of real documents beside the project (../shared/corpus)");
    QVERIFY(m_dir.isValid());
}

QString TestCorpus::copied(const QString& source, const QString& folder)
{
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QFileInfo(source).fileName());
    QFile copy(path);
    if (!QFile::copy(source, path))
        return {};
    if (!copy.setPermissions(copy.permissions() | QFile::WriteOwner) || !copy.open(QIODevice::ReadWrite) ||
        !copy.setFileTime(kOld, QFile::FileModificationTime))
        qFatal("cannot date %s", qPrintable(path));
    return path;
}

void TestCorpus::job_data()
{
    QTest::addColumn<QStringList>("formats");
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("oldText");
    QTest::addColumn<QStringList>("reached");
    const QStringList everyScope{"word-replace", "--scope", "textboxes,header-textboxes,headers-footers"};
    QTest::newRow("documents, body") << QStringList{"doc", "docx"} << "libreoffice"
                                     << QStringList{"word-replace"} << "e" << QStringList{"body"};
    QTest::newRow("documents, every scope")
        << QStringList{"doc", "docx"} << "libreoffice" << everyScope << "e" << kEveryScope;
    QTest::newRow("workbooks") << QStringList{"xls", "xlsx"} << "libreoffice" << QStringList{"sheet-replace"}
                               << "e" << QStringList{"cells"};
    // A text that no file holds: every pass of every job runs, and no file may get new bytes or a new time.
    for (const QString engine : {"libreoffice", "lossless"}) {
        const bool lossless = engine == QLatin1String("lossless");
        QTest::addRow("nothing found, documents, %s", qPrintable(engine))
            << (lossless ? QStringList{"docx"} : QStringList{"doc", "docx"}) << engine << everyScope
            << kAbsent << kEveryScope;
        QTest::addRow("nothing found, workbooks, %s", qPrintable(engine))
            << (lossless ? QStringList{"xlsx"} : QStringList{"xls", "xlsx"}) << engine
            << QStringList{"sheet-replace"} << kAbsent << QStringList{"cells"};
    }
}

// The job with the engine over the corpus's files of these formats, copied into a folder of
// their own, writable and dated in the past; every file checked.
void TestCorpus::job()
{
    QFETCH(QStringList, formats);
    QFETCH(QString, engine);
    QFETCH(QStringList, arguments);
    QFETCH(QString, oldText);
    QFETCH(QStringList, reached);
    const QString newText = oldText == kAbsent ? "ZQXNEW" : "э";
    const QString folder = m_dir.filePath(QTest::currentDataTag());
    QList<File> files;
    QStringList paths;
    for (const QString& format : formats) {
        const QDir from(m_corpus + "/" + format);
        for (const QString& name : from.entryList({"*." + format}, QDir::Files, QDir::Name)) {
            const QString source = from.filePath(name);
            const QString path = copied(source, folder);
            if (path.isEmpty())
                continue;
            // Several jobs start from the same file: it is looked at once.
            if (!m_seen.contains(source))
                m_seen[source] = {UnoDocuments::inventory(path), UnoDocuments::stories(path)};
            files.append({path, bytes(path), m_seen[source].first, m_seen[source].second});
            paths << path;
        }
    }

    QTemporaryDir app;
    QProcess cli;
    QProcessEnvironment environment;
    environment.insert("YANHE_ENGINE", engine);
    CliRun::start(cli, arguments + QStringList{"--old", oldText, "--new", newText} + paths, app.path(),
                  environment);
    // One that does not end is killed with the QProcess.
    QVERIFY2(cli.waitForFinished(20 * 60 * 1000), "yanhe-cli did not start or end");
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QVERIFY2(cli.exitCode() == 0 || cli.exitCode() == 1, qPrintable(QString::number(cli.exitCode())));
    const QStringList lines = QString::fromUtf8(cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    QVERIFY2(err.trimmed().endsWith("全部操作已完成"), qPrintable(err));

    QStringList problems;
    static const QRegularExpression failure("^ (打开|替换|保存|处理)失败，未修改：(.*)$");
    for (const File& file : std::as_const(files)) {
        // Lines of this file: for workbooks "-sheet" and the status.
        const QStringList own = linesOf(lines, file.path);
        const QString name = QFileInfo(file.path).fileName();
        QVERIFY2(!own.isEmpty(), qPrintable(name));
        qInfo().noquote() << name << own.last();
        const QRegularExpressionMatch failed = failure.match(own.last());
        const QDateTime time = QFileInfo(file.path).fileTime(QFileDevice::FileModificationTime);
        const bool untouched = bytes(file.path) == file.bytes && time == kOld;
        const auto problem = [&](const QString& detail) { problems << name + ": " + detail; };
        if (failed.hasMatch()) {
            QVERIFY2(knownFailure(failed.captured(2)), qPrintable(name + own.last()));
            if (!untouched)
                problem("changed though it failed");
            continue;
        }
        for (const QString& line : std::as_const(own))
            QVERIFY2(line.endsWith("已替换内容") || line.endsWith("没找到替换的内容"),
                     qPrintable(name + line));
        // Occurrences in formulas may all be kept.
        int found = 0;
        int kept = 0;
        for (const QString& story : reached) {
            found += occurrences(file.stories.value(story), oldText);
            kept += inFormulas(file.stories.value(story), oldText);
        }
        if (found == 0 || (found == kept && untouched)) {
            if (!untouched)
                problem("rewritten though nothing was found");
            continue;
        }
        if (time == kOld) {
            problem("not saved");
            continue;
        }
        const UnoDocuments::Inventory after = UnoDocuments::inventory(file.path);
        if (after.counts.isEmpty()) {
            problem("LibreOffice cannot open the saved file");
            continue;
        }
        for (const QString& count : kKept) {
            const int was = file.inventory.counts.value(count);
            if (after.counts.value(count) != was)
                problem(QStringLiteral("%1 %2 -> %3").arg(count).arg(was).arg(after.counts.value(count)));
        }
        const QMap<QString, QStringList> stories = UnoDocuments::stories(file.path);
        for (auto story = file.stories.cbegin(); story != file.stories.cend(); ++story) {
            const QStringList now = stories.value(story.key());
            const int before = occurrences(story.value(), oldText);
            const int left = occurrences(now, oldText);
            const int added = occurrences(now, newText) - occurrences(story.value(), newText);
            const int keptHere = story.key() == "cells" ? inFormulas(now, oldText) : 0;
            // Not reached: nothing replaced there (what LibreOffice reads better after its
            // own export, such as a frame it could not read before, may add to it).
            const bool right = reached.contains(story.key()) ? left == keptHere && added + keptHere == before
                                                             : left >= before && added == 0;
            if (!right && story.key() != "pivot tables")
                problem(QStringLiteral("%1: %2 before, %3 after, %4 new\n%5\n->\n%6")
                            .arg(story.key(), QString::number(before), QString::number(left),
                                 QString::number(added), story.value().join(" | "), now.join(" | ")));
        }
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

// .doc and .xls files on LibreOffice: a dry run changes nothing on disk, and what it counts is what
// the run then writes, read back from the saved files; the run's workers keep their backups in its one
// folder, and undo brings back every file; workers that cannot keep a backup change no file either.
void TestCorpus::dryRunsBackupsAndUndoOnLibreOffice()
{
    const QDir corpus(m_corpus);
    if (!corpus.exists("doc/simple.doc"))
        QSKIP("the corpus has not the documents these checks were written for");
    const QString folder = m_dir.filePath(QTest::currentTestFunction());
    QStringList documents;
    QStringList workbooks;
    for (const QString name :
         {"simple.doc", "test2.doc", "DiffFirstPageHeadFoot.doc", "HeaderFooterUnicode.doc",
          "WithArtShapes.doc", "innertable.doc", "SampleDoc.doc", "Lists.doc"})
        documents << copied(corpus.filePath("doc/" + name), folder);
    for (const QString& name :
         QDir(corpus.filePath("xls")).entryList({"*.xls"}, QDir::Files, QDir::Name).mid(0, 6))
        workbooks << copied(corpus.filePath("xls/" + name), folder);
    QMap<QString, QByteArray> before;
    for (const QString& file : documents + workbooks) {
        QVERIFY(!file.isEmpty());
        before.insert(file, bytes(file));
    }
    // Every file as it was copied, and nothing of the tool's own beside them.
    const auto unchanged = [&](const QStringList& files) {
        for (const QString& file : files) {
            QVERIFY2(bytes(file) == before[file], qPrintable(file));
            QCOMPARE(QFileInfo(file).fileTime(QFileDevice::FileModificationTime), kOld);
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), before.size());
    };
    QTemporaryDir app;
    // The documents with two workers, then the workbooks with one.
    const auto runs = [&](const QString& oldText, const QString& newText, bool dry) {
        const QStringList words{
            "word-replace", "--old", oldText, "--new", newText, "--scope", "textboxes,headers-footers"};
        const QStringList sheets{"sheet-replace", "--old", oldText, "--new", newText};
        const QStringList dryRun = dry ? QStringList{"--dry-run"} : QStringList{};
        const QStringList out =
            CliRun::of(words + dryRun + QStringList{"--jobs", "2"} + documents, app.path()).out;
        return out + CliRun::of(sheets + dryRun + QStringList{"--jobs", "1"} + workbooks, app.path()).out;
    };
    const QMap<QString, QList<int>> said = previewed(runs("e", "Ж", true));
    unchanged(documents + workbooks);
    const QDir backup(app.filePath("backup"));
    QVERIFY(backup.entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    QCOMPARE(said.size(), documents.size() + workbooks.size());

    const QStringList written = runs("e", "Ж", false);
    QVERIFY2(written.filter(" 已替换内容").size() >= 3, qPrintable(written.join('\n')));
    // Each process of a run keeps its files in the run's one folder.
    const QStringList backups = backup.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(backups.size(), 2);
    QCOMPARE(QDir(backup.filePath(backups.first())).entryList({"files-*.jsonl"}).size(), 2);

    // The saved files, counted again by a dry run of the new text itself, and read back.
    const QMap<QString, QList<int>> made = previewed(runs("Ж", "Ж", true));
    int total = 0;
    for (const QString& file : std::as_const(documents)) {
        QCOMPARE(made.value(file), said.value(file));
        const UnoDocuments::Document read = UnoDocuments::readDocument(file);
        QVERIFY(read.loaded);
        // The body's own text, without its tables' cells: at most what was said.
        const int body = int(read.body.count(QChar(0x416)));
        QVERIFY2(body <= said[file][0] && (body > 0 || said[file][0] == 0 || file.endsWith("innertable.doc")),
                 qPrintable(QString("%1: body %2 said, %3 read").arg(file).arg(said[file][0]).arg(body)));
        // Each header text once, however many page styles show it: at most what was said.
        const int headers = read.headers.join(QString()).count(QChar(0x416));
        const int footers = read.footers.join(QString()).count(QChar(0x416));
        QVERIFY(headers <= said[file][2] && (headers > 0) == (said[file][2] > 0));
        QVERIFY(footers <= said[file][3] && (footers > 0) == (said[file][3] > 0));
        total += said[file][0] + said[file][1] + said[file][2] + said[file][3];
    }
    for (const QString& file : std::as_const(workbooks)) {
        QCOMPARE(made.value(file), said.value(file));
        int cells = 0;
        for (const UnoDocuments::Sheet& sheet : UnoDocuments::readWorkbook(file).sheets)
            cells += int(sheet.cells.filter(QChar(0x416)).size());
        // Formulas that show a replaced cell's text show the new text too: at least what was said.
        QVERIFY2(cells >= said[file][0] && (cells > 0) == (said[file][0] > 0),
                 qPrintable(QString("%1: %2 said, %3 read").arg(file).arg(said[file][0]).arg(cells)));
        total += said[file][0];
    }
    QVERIFY(total > 50);

    // The last run, then the one before.
    QCOMPARE(CliRun::of({"undo"}, app.path()).code, 0);
    QCOMPARE(CliRun::of({"undo", backups.first()}, app.path()).code, 0);
    unchanged(documents + workbooks);

    // Workers that cannot keep a backup (a file where the backup folder should be) change no file either.
    QTemporaryDir blocked;
    writeFile(blocked.filePath("backup"), {});
    const CliRun refused = CliRun::of(
        QStringList{"word-replace", "--old", "e", "--new", "E", "--jobs", "2"} + documents, blocked.path());
    QCOMPARE(refused.code, 1);
    QVERIFY2(refused.out.filter(" 保存失败，未修改：无法写入备份").size() >= 3,
             qPrintable(refused.out.join('\n')));
    unchanged(documents);
}

QTEST_GUILESS_MAIN(TestCorpus)
#include "tst_corpus.moc"
