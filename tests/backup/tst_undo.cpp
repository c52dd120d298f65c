#include "support/CliRun.h"
#include "support/TestFiles.h"
#include "support/ZipFiles.h"

#include <QDateTime>
#include <QMap>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#ifndef Q_OS_WIN
#include <unistd.h>
#endif

// Backups and undo through yanhe-cli, on copies of real documents in folders of their own.
namespace {

// Every e of the documents' bodies, text boxes, headers and footers, or of the workbooks' cells, made Ж.
const QStringList kWordJob{
    "word-replace", "--old", "e", "--new", "Ж", "--scope", "textboxes,headers-footers"};
const QStringList kSheetJob{"sheet-replace", "--old", "e", "--new", "Ж"};
const QDateTime kBefore = QDateTime::fromMSecsSinceEpoch(1577880000123); // 2020-01-01, to the millisecond

// Copies of the corpus's files of kind (docx, xlsx, doc ...), the first `most` by name of those named
// (all unless told), into folder, writable, all modified at kBefore.
QStringList copyCorpus(const QString& kind, const QString& folder, int most = 1000,
                       const QStringList& names = {})
{
    QStringList copies;
    const QDir corpus(QStringLiteral(YANHE_CORPUS "/") + kind);
    for (const QString& name :
         corpus.entryList(names.isEmpty() ? QStringList{"*." + kind} : names, QDir::Files, QDir::Name)
             .mid(0, most)) {
        const QString copy = QDir(folder).filePath(name);
        if (!QFile::copy(corpus.filePath(name), copy))
            continue;
        QFile::setPermissions(copy,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        QFile file(copy);
        file.open(QIODevice::ReadWrite);
        file.setFileTime(kBefore, QFileDevice::FileModificationTime);
        copies << copy;
    }
    return copies;
}

} // namespace

class TestUndo : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void previewedRunUndoneAndRedone();
    void renameUndone();
    void boundKeepsTheLastRuns();
    void backupThatCannotBeWrittenLeavesTheFile();

private:
    CliRun cli(const QStringList& arguments) { return CliRun::of(arguments, m_app->path()); }
    QStringList runFolders() const
    {
        return QDir(m_app->filePath("backup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }

    std::unique_ptr<QTemporaryDir> m_app;
};

void TestUndo::init()
{
    m_app = std::make_unique<QTemporaryDir>();
    QVERIFY(m_app->isValid());
    if (!QFileInfo(YANHE_CORPUS "/docx").isDir() &&
        QByteArray(QTest::currentTestFunction()) != "renameUndone")
        QSKIP("no corpus of real documents beside the project (../shared/corpus)");
}

void TestUndo::renameUndone()
{
    QTemporaryDir dir;
    const QStringList names = {"甲.docx", "乙.docx", "丙.xlsx"};
    QStringList files;
    for (const QString& name : names) {
        files << dir.filePath(name);
        writeFile(files.last(), name.toUtf8());
    }
    const auto listed = [&] {
        const QStringList all = QDir(dir.path()).entryList(QDir::Files);
        return QSet<QString>(all.cbegin(), all.cend());
    };
    CliRun run = cli(QStringList{"rename", "--text", "新", "--position", "2"} + files);
    QCOMPARE(run.code, 0);
    QCOMPARE(listed(), (QSet<QString>{"新甲.docx", "新乙.docx", "新丙.xlsx"}));

    // A file given one of the old names meanwhile keeps it: that rename stays.
    writeFile(dir.filePath("乙.docx"), "someone else's");
    run = cli({"undo"});
    QCOMPARE(run.code, 1);
    const QString at = QDir::toNativeSeparators(dir.path()) + QDir::separator();
    QVERIFY(run.out.contains(at + "新甲.docx 已改回 甲.docx"));
    QVERIFY(run.out.contains(at + "新乙.docx 未恢复：原文件名已被别的文件占用"));
    QVERIFY(run.out.contains(at + "新丙.xlsx 已改回 丙.xlsx"));
    QCOMPARE(bytes(dir.filePath("甲.docx")), QByteArray("甲.docx"));
    QCOMPARE(bytes(dir.filePath("乙.docx")), QByteArray("someone else's"));
    QCOMPARE(bytes(dir.filePath("新乙.docx")), QByteArray("乙.docx"));

    // The undo of the renames is a run of renames too.
    run = cli({"undo"});
    QCOMPARE(run.code, 0);
    QCOMPARE(listed(), (QSet<QString>{"乙.docx", "新甲.docx", "新乙.docx", "新丙.xlsx"}));
}

void TestUndo::boundKeepsTheLastRuns()
{
    QTemporaryDir dir;
    CliRun run = cli({"undo", "--keep-runs", "2"});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, QStringList{"备份上限：最近 2 次操作，共 2048 MiB"});
    QString firstRun;
    for (int i = 0; i < 3; ++i) {
        const QString file = dir.filePath(QString("f%1.docx").arg(i));
        writeFile(file, "x");
        QCOMPARE(cli({"rename", "--text", QString("r%1-").arg(i), "--position", "0", file}).code, 0);
        firstRun = i == 0 ? runFolders().value(0) : firstRun;
    }
    const QStringList runs = runFolders();
    QCOMPARE(runs.size(), 2);
    run = cli({"undo", "--list"});
    QVERIFY(run.out.at(0).startsWith(runs.at(1)));
    QVERIFY(run.out.at(1).startsWith(runs.at(0)));
    // The oldest went: its rename can no longer be undone, the others can.
    QVERIFY(!QFileInfo::exists(m_app->filePath("backup/" + firstRun)));
    QCOMPARE(cli({"undo", firstRun}).code, 2);
    QCOMPARE(cli({"undo", runs.at(0)}).code, 0);
    QVERIFY(QFileInfo::exists(dir.filePath("f1.docx")));
    QVERIFY(!QFileInfo::exists(dir.filePath("f0.docx")));

    // With room for one run only, the undo's own backups do not push out the run it undoes.
    QCOMPARE(cli({"undo", "--keep-runs", "1"}).code, 0);
    const QStringList copies = copyCorpus("docx", dir.path(), 3);
    const FileStates before = fileStates(dir.path());
    run = cli(QStringList{"word-replace", "--old", "e", "--new", "E"} + copies);
    QVERIFY(run.out.filter(" 已替换内容").size() > 0);
    QCOMPARE(runFolders().size(), 1);
    QCOMPARE(cli({"undo"}).code, 0);
    checkUnchanged(before, dir.path());
    QCOMPARE(runFolders().size(), 1);

    // A run larger than the bound keeps nothing and says so first; its files are changed all the same.
    QCOMPARE(cli({"undo", "--keep-runs", "20", "--keep-mib", "0"}).code, 0);
    const QStringList listed = cli({"undo", "--list"}).out;
    run = cli(QStringList{"word-replace", "--old", "E", "--new", "e"} + copies);
    QVERIFY2(run.out.value(0).startsWith("本次操作的文件共 0.") &&
                 run.out.value(0).endsWith("超过备份上限 0.0 MiB，不保留备份"),
             qPrintable(run.out.value(0)));
    QVERIFY(run.out.filter(" 已替换内容").size() > 0);
    QCOMPARE(cli({"undo", "--list"}).out, listed);
}

void TestUndo::backupThatCannotBeWrittenLeavesTheFile()
{
    QTemporaryDir dir;
    const QStringList copies = copyCorpus("docx", dir.path(), 4);
    const FileStates before = fileStates(dir.path());
    // No room for backups: a read-only folder, and where that does not hold (root writes anyway, and
    // Windows has no read-only folders) a file in the folder's place.
    QVERIFY(QDir(m_app->path()).mkpath("backup"));
#ifdef Q_OS_WIN
    const bool writesAnyway = true;
#else
    const bool writesAnyway = ::geteuid() == 0;
#endif
    if (writesAnyway) {
        QVERIFY(QDir(m_app->path()).rmdir("backup"));
        writeFile(m_app->filePath("backup"), "in the way");
    } else {
        QFile::setPermissions(m_app->filePath("backup"), QFile::ReadOwner | QFile::ExeOwner);
    }
    const CliRun run = cli(kWordJob + copies);
    QCOMPARE(run.code, 1);
    const QStringList failed = run.out.filter(" 保存失败，未修改：无法写入备份");
    QVERIFY2(failed.size() >= 2, qPrintable(run.out.join('\n')));
    checkUnchanged(before, dir.path());
    QFile::setPermissions(m_app->filePath("backup"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // A full disk: the application folder on a file system of 32 KiB, mounted for the run alone (in
    // a namespace of its own), with room for the journal but not for the documents' copies.
    const QString unshare = QStandardPaths::findExecutable("unshare");
    if (unshare.isEmpty() ||
        CliRun::of({"--user", "--map-root-user", "--mount", "true"}, {}, {}, unshare).code != 0)
        QSKIP("no mount namespace for a small file system here");
    QTemporaryDir small;
    QTemporaryDir bigDir;
    const QStringList big =
        copyCorpus("docx", bigDir.path(), 2, {"tbl-having-applied-style.docx", "txt-font-props.docx"});
    const FileStates bigBefore = fileStates(bigDir.path());
    const CliRun full =
        CliRun::of(QStringList{"--user", "--map-root-user", "--mount", "sh", "-c",
                               "mount -t tmpfs -o size=32k tmpfs \"$0\" && exec \"$@\"", small.path(),
                               CliRun::absolute(YANHE_CLI), "word-replace", "--old", "e", "--new", "E"} +
                       big,
                   small.path(), {}, unshare);
    QVERIFY2(full.out.filter(" 保存失败，未修改：无法写入备份").size() == 2,
             qPrintable(full.out.join('\n') + full.err));
    checkUnchanged(bigBefore, bigDir.path());
}

// What a file holds of Ж, as its preview counts it: a workbook's cells (by their own text or formula, or
// the shared string they name); a document's occurrences in the body (text boxes included), the headers
// and the footers.
QList<int> held(const QString& file)
{
    const QMap<QString, QByteArray> parts = ZipFiles::read(file);
    QList<int> found{0, 0, 0};
    if (file.endsWith(".xlsx")) {
        static const QRegularExpression item("<(?:\\w+:)?si\\b[^>]*>(.*?)</(?:\\w+:)?si>",
                                             QRegularExpression::DotMatchesEverythingOption);
        static const QRegularExpression cell("<(?:\\w+:)?c\\b([^>]*?)(?:/>|>(.*?)</(?:\\w+:)?c>)",
                                             QRegularExpression::DotMatchesEverythingOption);
        static const QRegularExpression tag("<[^>]*>");
        QList<bool> shared;
        for (const QRegularExpressionMatch& match :
             item.globalMatch(QString::fromUtf8(parts.value("xl/sharedStrings.xml"))))
            shared << match.captured(1).contains("Ж");
        for (auto it = parts.cbegin(); it != parts.cend(); ++it) {
            const QString sheet = it.key().startsWith("xl/worksheets/") ? QString::fromUtf8(*it) : QString();
            // A shared string's index, or the cell's own text or formula.
            for (const QRegularExpressionMatch& match : cell.globalMatch(sheet))
                found[0] += match.captured(1).contains("t=\"s\"")
                                ? shared.value(match.captured(2).remove(tag).toInt())
                                : match.captured(2).contains("Ж");
        }
        return found.first(1);
    }
    for (auto it = parts.cbegin(); it != parts.cend(); ++it) {
        if (it.key().endsWith(".xml"))
            found[it.key().startsWith("word/header")   ? 1
                  : it.key().startsWith("word/footer") ? 2
                                                       : 0] += int(it.value().count(QString("Ж").toUtf8()));
    }
    return found;
}

void TestUndo::previewedRunUndoneAndRedone()
{
    QTemporaryDir dir;
    const QStringList documents = copyCorpus("docx", dir.path());
    const QStringList workbooks = copyCorpus("xlsx", dir.path());
    const FileStates before = fileStates(dir.path());

    // A dry run changes no file and keeps no backup.
    const CliRun wordPreview = cli(kWordJob + QStringList{"--dry-run"} + documents);
    const CliRun sheetPreview = cli(kSheetJob + QStringList{"--dry-run"} + workbooks);
    checkUnchanged(before, dir.path());
    QVERIFY(runFolders().isEmpty());

    // Per file, as the lines say: a document's body with its text boxes, its headers, its footers.
    static const QRegularExpression preview(
        "^(.*) 预览：(?:正文 (\\d+) 处，文本框 (\\d+) 处，页眉 (\\d+) 处，页脚 (\\d+) 处|工作表 (\\d+) 处)$");
    QMap<QString, QList<int>> said, was;
    for (const QString& line : wordPreview.out + sheetPreview.out) {
        const QRegularExpressionMatch m = preview.match(line);
        if (m.hasMatch())
            said.insert(m.captured(1), m.captured(6).isEmpty()
                                           ? QList<int>{m.captured(2).toInt() + m.captured(3).toInt(),
                                                        m.captured(4).toInt(), m.captured(5).toInt()}
                                           : QList<int>{m.captured(6).toInt()});
    }
    QVERIFY2(said.size() > 40, qPrintable(wordPreview.out.join('\n')));

    for (const QString& file : said.keys())
        was.insert(file, held(file));
    cli(kWordJob + documents);
    cli(kSheetJob + workbooks);
    int total = 0;
    for (auto it = said.cbegin(); it != said.cend(); ++it) {
        // What the run wrote, read back, against what the preview said.
        QList<int> made = held(it.key());
        for (qsizetype i = 0; i < made.size(); ++i)
            total += made[i] -= was[it.key()].value(i);
        QVERIFY2(made == *it, qPrintable(it.key()));
    }
    QVERIFY(total > 100);

    const FileStates after = fileStates(dir.path());
    QStringList changed;
    for (const QString& file : documents + workbooks) {
        if (after[file].first != before[file].first)
            changed << file;
    }
    QVERIFY2(changed.size() > 20, qPrintable(QString::number(changed.size())));
    QCOMPARE(runFolders().size(), 2);

    // One file edited after the runs: the undo of the workbooks' run leaves it and names it.
    const QString edited = changed.last();
    QVERIFY(edited.endsWith(".xlsx"));
    writeFile(edited, after[edited].first + "edited");
    CliRun run = cli({"undo", "--list"});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out.size(), 3);
    QVERIFY2(run.out.at(0).contains("的操作（sheet-replace，"), qPrintable(run.out.at(0)));
    QVERIFY2(run.out.at(1).contains("的操作（word-replace，"), qPrintable(run.out.at(1)));

    run = cli({"undo"});
    QCOMPARE(run.code, 1);
    QVERIFY(run.out.contains(QDir::toNativeSeparators(edited) + " 未恢复：文件在该次操作之后又被改动"));
    QVERIFY(run.out.last().startsWith("撤销完成："));
    QCOMPARE(bytes(edited), after[edited].first + "edited");
    // The older run, by its id.
    const QString wordRun = cli({"undo", "--list"}).out.at(2).section(' ', 0, 0);
    run = cli({"undo", wordRun});
    QCOMPARE(run.code, 0);
    checkUnchanged(before, dir.path(), edited);
    // Every restored file named, and the undo in the journal as jobs are.
    const QString journal = CliRun::journal(m_app->path());
    for (const QString& file : changed)
        QVERIFY2(file == edited || journal.count(QDir::toNativeSeparators(file) + " 已恢复") == 1,
                 qPrintable(file));

    // Undoing the undo gives the documents the run's results back, and that can be undone in turn.
    run = cli({"undo"});
    QCOMPARE(run.code, 0);
    for (const QString& file : documents)
        QVERIFY2(bytes(file) == after[file].first, qPrintable(file));
    QCOMPARE(cli({"undo"}).code, 0);
    checkUnchanged(before, dir.path(), edited);

    // Writes count the places they would write: the header and the footer of a
    // document, the cell of each worksheet. Nothing is saved.
    const FileStates written = fileStates(dir.path());
    const QStringList runsBefore = runFolders();
    const CliRun headers =
        cli(QStringList{"header-footer-write", "--header", "页眉", "--page-number", "--dry-run"} +
            documents.mid(0, 5));
    const CliRun cells =
        cli(QStringList{"cell-write", "--row", "2", "--column", "3", "--text", "Ж", "--dry-run"} +
            workbooks.mid(0, 5));
    checkUnchanged(written, dir.path());
    QCOMPARE(headers.out.filter(" 预览：正文 0 处，文本框 0 处，页眉 1 处，页脚 1 处").size(), 5);
    QCOMPARE(runFolders(), runsBefore);
    // As many as the run then writes: one line per worksheet.
    const CliRun cellsRun =
        cli(QStringList{"cell-write", "--row", "2", "--column", "3", "--text", "Ж"} + workbooks.mid(0, 5));
    for (const QString& path : workbooks.mid(0, 5)) {
        // As yanhe-cli names it (Windows: with backslashes).
        const QString file = QDir::toNativeSeparators(path);
        const qsizetype sheets = cellsRun.out.filter(file + "-").size();
        QCOMPARE(cells.out.filter(file + " 预览"),
                 QStringList{file + QString(" 预览：工作表 %1 处").arg(sheets)});
    }
}

QTEST_GUILESS_MAIN(TestUndo)
#include "tst_undo.moc"
