#include "support/CliRun.h"
#include "support/TestFiles.h"
#include "support/ZipFiles.h"

#include <QDateTime>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#ifndef Q_OS_WIN
#include <unistd.h>
#endif

// Backups and undo through yanhe-cli, on copies of real documents in folders of their own.
namespace {

const QDateTime kBefore = QDateTime::fromMSecsSinceEpoch(1577880000123); // 2020-01-01, to the millisecond

QDateTime mtime(const QString& path)
{
    return QFileInfo(path).fileTime(QFileDevice::FileModificationTime);
}

// Copies of the corpus's files of kind (docx, xlsx, doc ...) into folder, writable, all modified at kBefore.
QStringList copyCorpus(const QString& kind, const QString& folder, int most = 1000)
{
    QStringList copies;
    const QDir corpus(QStringLiteral(YANHE_CORPUS "/") + kind);
    for (const QString& name : corpus.entryList({"*." + kind}, QDir::Files, QDir::Name)) {
        if (copies.size() >= most)
            break;
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

QMap<QString, QByteArray> snapshot(const QStringList& files)
{
    QMap<QString, QByteArray> all;
    for (const QString& file : files)
        all.insert(file, bytes(file));
    return all;
}

} // namespace

class TestUndo : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void replaceUndoneAndRedone();
    void renameUndone();
    void boundKeepsTheLastRuns();
    void backupThatCannotBeWrittenLeavesTheFile();
    void dryRunCountsWhatTheRunThenDoes();

private:
    CliRun cli(const QStringList& arguments) { return CliRun::of(arguments, m_app->path()); }
    QStringList runFolders() const
    {
        return QDir(m_app->filePath("backup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }
    QStringList journal() const
    {
        QStringList lines;
        QDirIterator it(m_app->filePath("Journal"), {"*.txt"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            // In the system's code page, as the journal is written (Windows: the ANSI one).
            QStringDecoder decoder(QStringConverter::System);
            const QString text = decoder.decode(bytes(it.next()));
            lines << text.split("\r\n", Qt::SkipEmptyParts);
        }
        return lines;
    }

    std::unique_ptr<QTemporaryDir> m_app;
};

void TestUndo::init()
{
    m_app = std::make_unique<QTemporaryDir>();
    QVERIFY(m_app->isValid());
}

void TestUndo::replaceUndoneAndRedone()
{
    if (!QFileInfo(YANHE_CORPUS "/docx").isDir())
        QSKIP("no corpus of real documents beside the project (../shared/corpus)");
    QTemporaryDir dir;
    const QStringList documents = copyCorpus("docx", dir.path());
    const QStringList workbooks = copyCorpus("xlsx", dir.path());
    const QStringList all = documents + workbooks;
    const QMap<QString, QByteArray> before = snapshot(all);

    cli(QStringList{"word-replace", "--old", "e", "--new", "E", "--scope", "textboxes,headers-footers"} +
        documents);
    cli(QStringList{"sheet-replace", "--old", "e", "--new", "E"} + workbooks);
    const QMap<QString, QByteArray> after = snapshot(all);
    QStringList changed;
    for (const QString& file : all) {
        if (after[file] != before[file])
            changed << file;
    }
    QVERIFY2(changed.size() > 20, qPrintable(QString::number(changed.size())));
    QCOMPARE(runFolders().size(), 2);

    // One file edited after the runs: the undo of the workbooks' run leaves it and names it.
    const QString edited = changed.last();
    QVERIFY(edited.endsWith(".xlsx"));
    writeFile(edited, after[edited] + "edited");
    CliRun run = cli({"undo", "--list"});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out.size(), 3);
    QVERIFY2(run.out.at(0).contains("的操作（sheet-replace，"), qPrintable(run.out.at(0)));
    QVERIFY2(run.out.at(1).contains("的操作（word-replace，"), qPrintable(run.out.at(1)));

    run = cli({"undo"});
    QCOMPARE(run.code, 1);
    QVERIFY(run.out.contains(QDir::toNativeSeparators(edited) + " 未恢复：文件在该次操作之后又被改动"));
    QVERIFY(run.out.last().startsWith("撤销完成："));
    QCOMPARE(bytes(edited), after[edited] + "edited");
    // The older run, by its id.
    const QString wordRun = cli({"undo", "--list"}).out.at(2).section(' ', 0, 0);
    run = cli({"undo", wordRun});
    QCOMPARE(run.code, 0);
    for (const QString& file : all) {
        if (file == edited)
            continue;
        QVERIFY2(bytes(file) == before[file], qPrintable(file));
        QCOMPARE(mtime(file), kBefore);
    }
    // Every restored file named, and the undo in the journal as jobs are.
    for (const QString& file : changed) {
        if (file != edited)
            QVERIFY2(journal().filter(QDir::toNativeSeparators(file) + " 已恢复").size() == 1,
                     qPrintable(file));
    }

    // Undoing the undo gives the documents the run's results back, and that can be undone in turn.
    run = cli({"undo"});
    QCOMPARE(run.code, 0);
    for (const QString& file : documents)
        QVERIFY2(bytes(file) == after[file], qPrintable(file));
    run = cli({"undo"});
    QCOMPARE(run.code, 0);
    for (const QString& file : documents) {
        QVERIFY2(bytes(file) == before[file], qPrintable(file));
        QCOMPARE(mtime(file), kBefore);
    }
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
    QVERIFY(run.out.contains(QDir::toNativeSeparators(dir.filePath("新甲.docx")) + " 已改回 甲.docx"));
    QVERIFY(run.out.contains(QDir::toNativeSeparators(dir.filePath("新乙.docx")) +
                             " 未恢复：原文件名已被别的文件占用"));
    QVERIFY(run.out.contains(QDir::toNativeSeparators(dir.filePath("新丙.xlsx")) + " 已改回 丙.xlsx"));
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
        if (i == 1)
            firstRun = runFolders().value(0);
        writeFile(dir.filePath(QString("f%1.docx").arg(i)), "x");
        QCOMPARE(cli({"rename", "--text", QString("r%1-").arg(i), "--position", "0",
                      dir.filePath(QString("f%1.docx").arg(i))})
                     .code,
                 0);
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

    if (!QFileInfo(YANHE_CORPUS "/docx").isDir())
        QSKIP("no corpus of real documents beside the project (../shared/corpus)");
    // With room for one run only, the undo's own backups do not push out the run it undoes.
    QCOMPARE(cli({"undo", "--keep-runs", "1"}).code, 0);
    const QStringList copies = copyCorpus("docx", dir.path(), 3);
    const QMap<QString, QByteArray> before = snapshot(copies);
    run = cli(QStringList{"word-replace", "--old", "e", "--new", "E"} + copies);
    QVERIFY(run.out.filter(" 已替换内容").size() > 0);
    QCOMPARE(runFolders().size(), 1);
    run = cli({"undo"});
    QCOMPARE(run.code, 0);
    for (const QString& file : copies)
        QVERIFY2(bytes(file) == before[file], qPrintable(file));
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
    if (!QFileInfo(YANHE_CORPUS "/docx").isDir())
        QSKIP("no corpus of real documents beside the project (../shared/corpus)");
    QTemporaryDir dir;
    const QStringList copies = copyCorpus("docx", dir.path(), 4);
    const QMap<QString, QByteArray> before = snapshot(copies);
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
    const CliRun run =
        cli(QStringList{"word-replace", "--old", "e", "--new", "E", "--scope", "textboxes,headers-footers"} +
            copies);
    QCOMPARE(run.code, 1);
    const QStringList failed = run.out.filter(" 保存失败，未修改：无法写入备份");
    QVERIFY2(failed.size() >= 2, qPrintable(run.out.join('\n')));
    for (const QString& file : copies) {
        QVERIFY2(bytes(file) == before[file], qPrintable(file));
        QCOMPARE(mtime(file), kBefore);
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), copies.size());
    QFile::setPermissions(m_app->filePath("backup"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // A full disk: the application folder on a file system of 32 KiB, mounted for the run alone (in
    // a namespace of its own), with room for the journal but not for the documents' copies.
    const QString unshare = QStandardPaths::findExecutable("unshare");
    QProcess probe;
    probe.start(unshare, {"--user", "--map-root-user", "--mount", "true"});
    if (unshare.isEmpty() || !probe.waitForFinished() || probe.exitCode() != 0)
        QSKIP("no mount namespace for a small file system here");
    QTemporaryDir small;
    QTemporaryDir bigDir;
    QStringList big;
    for (const char* name : {"tbl-having-applied-style.docx", "txt-font-props.docx"}) {
        big << bigDir.filePath(name);
        QVERIFY(QFile::copy(YANHE_CORPUS "/docx/" + QString(name), big.last()));
        QFile::setPermissions(big.last(), QFile::ReadOwner | QFile::WriteOwner);
    }
    const QMap<QString, QByteArray> bigBefore = snapshot(big);
    const CliRun full =
        CliRun::of(QStringList{"--user", "--map-root-user", "--mount", "sh", "-c",
                               "mount -t tmpfs -o size=32k tmpfs \"$0\" && exec \"$@\"", small.path(),
                               CliRun::absolute(YANHE_CLI), "word-replace", "--old", "e", "--new", "E"} +
                       big,
                   small.path(), {}, unshare);
    QVERIFY2(full.out.filter(" 保存失败，未修改：无法写入备份").size() == 2,
             qPrintable(full.out.join('\n') + full.err));
    for (const QString& file : big)
        QVERIFY2(bytes(file) == bigBefore[file], qPrintable(file));
    QCOMPARE(QDir(bigDir.path()).entryList(QDir::Files | QDir::Hidden).size(), big.size());
}

// How many cells of a workbook's worksheets hold marker.
int cellsWith(const QString& package, const QString& marker)
{
    const QMap<QString, QByteArray> parts = ZipFiles::read(package);
    QList<bool> shared;
    QXmlStreamReader strings(parts.value("xl/sharedStrings.xml"));
    QString item;
    while (!strings.atEnd()) {
        strings.readNext();
        if (strings.isStartElement() && strings.name() == u"si")
            item.clear();
        else if (strings.isStartElement() && strings.name() == u"t")
            item += strings.readElementText();
        else if (strings.isEndElement() && strings.name() == u"si")
            shared << item.contains(marker);
    }
    int cells = 0;
    for (auto it = parts.cbegin(); it != parts.cend(); ++it) {
        if (!it.key().startsWith("xl/worksheets/") || !it.key().endsWith(".xml"))
            continue;
        QXmlStreamReader sheet(it.value());
        QString type;
        QString text;
        while (!sheet.atEnd()) {
            sheet.readNext();
            if (sheet.isStartElement() && sheet.name() == u"c") {
                type = sheet.attributes().value("t").toString();
                text.clear();
            } else if (sheet.isStartElement() && sheet.name() == u"v") {
                text = type == "s" ? sheet.readElementText() : text + sheet.readElementText();
            } else if (sheet.isStartElement() && (sheet.name() == u"t" || sheet.name() == u"f")) {
                text += sheet.readElementText();
            } else if (sheet.isEndElement() && sheet.name() == u"c") {
                // A shared string's index, or the cell's own text or formula.
                if (type == "s" ? shared.value(text.toInt()) : text.contains(marker))
                    ++cells;
            }
        }
    }
    return cells;
}

// What a file holds of Ж, as its preview counts it: a workbook's cells; a document's occurrences in the
// body (text boxes included), the headers and the footers.
QList<int> held(const QString& file)
{
    if (file.endsWith(".xlsx"))
        return {cellsWith(file, "Ж")};
    QList<int> found{0, 0, 0};
    const QMap<QString, QByteArray> parts = ZipFiles::read(file);
    for (auto it = parts.cbegin(); it != parts.cend(); ++it) {
        if (it.key().endsWith(".xml"))
            found[it.key().startsWith("word/header")   ? 1
                  : it.key().startsWith("word/footer") ? 2
                                                       : 0] += int(it.value().count(QString("Ж").toUtf8()));
    }
    return found;
}

void TestUndo::dryRunCountsWhatTheRunThenDoes()
{
    if (!QFileInfo(YANHE_CORPUS "/docx").isDir())
        QSKIP("no corpus of real documents beside the project (../shared/corpus)");
    QTemporaryDir dir;
    const QStringList documents = copyCorpus("docx", dir.path());
    const QStringList workbooks = copyCorpus("xlsx", dir.path());
    const QMap<QString, QByteArray> before = snapshot(documents + workbooks);

    const QStringList wordJob = {
        "word-replace", "--old", "e", "--new", "Ж", "--scope", "textboxes,headers-footers"};
    const QStringList sheetJob = {"sheet-replace", "--old", "e", "--new", "Ж"};
    const CliRun wordPreview = cli(QStringList(wordJob) << "--dry-run" << documents);
    const CliRun sheetPreview = cli(QStringList(sheetJob) << "--dry-run" << workbooks);
    for (const QString& file : documents + workbooks) {
        QVERIFY2(bytes(file) == before[file], qPrintable(file));
        QCOMPARE(mtime(file), kBefore);
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), before.size());
    QVERIFY(runFolders().isEmpty());

    // Per file and scope, as the lines say.
    QMap<QString, QList<int>> counted;
    const QRegularExpression document(
        "^(.*) 预览：正文 (\\d+) 处，文本框 (\\d+) 处，页眉 (\\d+) 处，页脚 (\\d+) 处$");
    const QRegularExpression workbook("^(.*) 预览：工作表 (\\d+) 处$");
    for (const QString& line : wordPreview.out + sheetPreview.out) {
        QRegularExpressionMatch match = document.match(line);
        if (!match.hasMatch())
            match = workbook.match(line);
        if (!match.hasMatch())
            continue;
        QList<int> numbers;
        for (int i = 2; i <= match.lastCapturedIndex(); ++i)
            numbers << match.captured(i).toInt();
        counted.insert(match.captured(1), numbers);
    }
    QVERIFY2(counted.size() > 40, qPrintable(wordPreview.out.join('\n')));

    QMap<QString, QList<int>> was;
    for (const QString& file : counted.keys())
        was.insert(file, held(file));
    cli(QStringList(wordJob) << documents);
    cli(QStringList(sheetJob) << workbooks);
    int total = 0;
    for (auto it = counted.cbegin(); it != counted.cend(); ++it) {
        // What the run wrote, read back, against what the preview said.
        QList<int> made = held(it.key());
        for (qsizetype i = 0; i < made.size(); ++i)
            total += made[i] -= was[it.key()].value(i);
        const QList<int>& said = it.value();
        const QList<int> told = said.size() == 1 ? said : QList<int>{said[0] + said[1], said[2], said[3]};
        QVERIFY2(told == made, qPrintable(it.key()));
    }
    QVERIFY(total > 100);

    // Writes count the places they would write: the header and the footer of a
    // document, the cell of each worksheet. Nothing is saved.
    const QStringList some = documents.mid(0, 5) + workbooks.mid(0, 5);
    const QMap<QString, QByteArray> written = snapshot(some);
    const QStringList runsBefore = runFolders();
    const CliRun headers =
        cli(QStringList{"header-footer-write", "--header", "页眉", "--page-number", "--dry-run"} +
            documents.mid(0, 5));
    const CliRun cells =
        cli(QStringList{"cell-write", "--row", "2", "--column", "3", "--text", "Ж", "--dry-run"} +
            workbooks.mid(0, 5));
    for (const QString& file : some)
        QVERIFY2(bytes(file) == written[file], qPrintable(file));
    QCOMPARE(headers.out.filter(" 预览：正文 0 处，文本框 0 处，页眉 1 处，页脚 1 处").size(), 5);
    QCOMPARE(runFolders(), runsBefore);
    // As many as the run then writes: one line per worksheet.
    const CliRun cellsRun =
        cli(QStringList{"cell-write", "--row", "2", "--column", "3", "--text", "Ж"} + workbooks.mid(0, 5));
    for (const QString& path : workbooks.mid(0, 5)) {
        // As yanhe-cli names it (Windows: with backslashes).
        const QString file = QDir::toNativeSeparators(path);
        const QString line =
            cells.out.filter(QRegularExpression("^" + QRegularExpression::escape(file) + " 预览")).value(0);
        const int sheets =
            int(cellsRun.out.filter(QRegularExpression("^" + QRegularExpression::escape(file) + "-")).size());
        QCOMPARE(line, file + QString(" 预览：工作表 %1 处").arg(sheets));
    }
}

QTEST_GUILESS_MAIN(TestUndo)
#include "tst_undo.moc"
