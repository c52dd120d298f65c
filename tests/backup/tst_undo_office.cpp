#include "support/CliRun.h"
#include "support/UnoReadBack.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Backups and undo of files the LibreOffice engine saves, on several office processes at once.
namespace {

const QDateTime kBefore = QDateTime::fromMSecsSinceEpoch(1577880000123);

QByteArray bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

// The counts a dry run's lines give, by file: four for a document (body, text
// boxes, headers, footers), one for a workbook.
QMap<QString, QList<int>> previewed(const QStringList& lines)
{
    QMap<QString, QList<int>> counted;
    const QRegularExpression document(
        "^(.*) 预览：正文 (\\d+) 处，文本框 (\\d+) 处，页眉 (\\d+) 处，页脚 (\\d+) 处$");
    const QRegularExpression workbook("^(.*) 预览：工作表 (\\d+) 处$");
    for (const QString& line : lines) {
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
    return counted;
}

} // namespace

class TestUndoOffice : public QObject
{
    Q_OBJECT
private slots:
    void documentsOfWorkersUndone();
    void dryRunOnLibreOffice();
    void cleanupTestCase() { UnoReadBack::shutdown(); }
};

void TestUndoOffice::documentsOfWorkersUndone()
{
    const QDir corpus(YANHE_CORPUS);
    if (!corpus.exists("doc/simple.doc") || !corpus.exists("xls"))
        QSKIP("no corpus of real documents beside the project (../shared/corpus)");
    QTemporaryDir app;
    QTemporaryDir dir;
    QStringList documents;
    for (const char* name : {"simple.doc", "test2.doc", "Lists.doc", "HeaderFooterUnicode.doc"})
        documents << dir.filePath(name);
    QStringList workbooks;
    for (const QString& name :
         QDir(corpus.filePath("xls")).entryList({"*.xls"}, QDir::Files, QDir::Name).mid(0, 3))
        workbooks << dir.filePath(name);
    QMap<QString, QByteArray> before;
    for (const QString& file : documents + workbooks) {
        const QString kind = QFileInfo(file).suffix();
        QVERIFY(QFile::copy(corpus.filePath(kind + "/" + QFileInfo(file).fileName()), file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        QFile handle(file);
        QVERIFY(handle.open(QIODevice::ReadWrite));
        QVERIFY(handle.setFileTime(kBefore, QFileDevice::FileModificationTime));
        before.insert(file, bytes(file));
    }

    // Two workers: each process of the run keeps its files in the run's one folder.
    CliRun run = CliRun::of(
        QStringList{"word-replace", "--old", "e", "--new", "E", "--scope", "headers-footers", "--jobs", "2"} +
            documents,
        app.path());
    QVERIFY2(run.out.filter(" 已替换内容").size() >= 3, qPrintable(run.out.join('\n')));
    const QStringList runs = QDir(app.filePath("backup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(QDir(app.filePath("backup/" + runs.first())).entryList({"files-*.jsonl"}).size(), 2);
    run = CliRun::of(QStringList{"sheet-replace", "--old", "a", "--new", "A", "--jobs", "1"} + workbooks,
                     app.path());
    QVERIFY2(run.out.filter("已替换内容").size() >= 1, qPrintable(run.out.join('\n')));

    // The last run, then the one before.
    QCOMPARE(CliRun::of({"undo"}, app.path()).code, 0);
    run = CliRun::of({"undo", runs.first()}, app.path());
    QCOMPARE(run.code, 0);
    for (const QString& file : documents + workbooks) {
        QVERIFY2(bytes(file) == before[file], qPrintable(file));
        QCOMPARE(QFileInfo(file).fileTime(QFileDevice::FileModificationTime), kBefore);
    }
    // Nothing of the tool's own left beside the files.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), before.size());

    // Workers that cannot keep a backup (a file where the backup folder should be) change no file either.
    QTemporaryDir blocked;
    QFile inTheWay(blocked.filePath("backup"));
    QVERIFY(inTheWay.open(QIODevice::WriteOnly));
    inTheWay.close();
    run = CliRun::of(QStringList{"word-replace", "--old", "e", "--new", "E", "--jobs", "2"} + documents,
                     blocked.path());
    QCOMPARE(run.code, 1);
    QVERIFY2(run.out.filter(" 保存失败，未修改：无法写入备份").size() >= 3, qPrintable(run.out.join('\n')));
    for (const QString& file : documents) {
        QVERIFY2(bytes(file) == before[file], qPrintable(file));
        QCOMPARE(QFileInfo(file).fileTime(QFileDevice::FileModificationTime), kBefore);
    }
}

// A dry run of .doc and .xls files on LibreOffice: nothing on disk changes, and
// what it counts is what the run then writes, read back from the saved files.
void TestUndoOffice::dryRunOnLibreOffice()
{
    const QDir corpus(YANHE_CORPUS);
    if (!corpus.exists("doc") || !corpus.exists("xls"))
        QSKIP("no corpus of real documents beside the project (../shared/corpus)");
    QTemporaryDir app;
    QTemporaryDir dir;
    QStringList documents;
    for (const char* name :
         {"simple.doc", "test2.doc", "DiffFirstPageHeadFoot.doc", "HeaderFooterUnicode.doc",
          "WithArtShapes.doc", "innertable.doc", "SampleDoc.doc"})
        documents << dir.filePath(name);
    QStringList workbooks;
    for (const QString& name :
         QDir(corpus.filePath("xls")).entryList({"*.xls"}, QDir::Files, QDir::Name).mid(0, 6))
        workbooks << dir.filePath(name);
    QMap<QString, QByteArray> before;
    for (const QString& file : documents + workbooks) {
        QVERIFY(
            QFile::copy(corpus.filePath(QFileInfo(file).suffix() + "/" + QFileInfo(file).fileName()), file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        QFile handle(file);
        QVERIFY(handle.open(QIODevice::ReadWrite));
        QVERIFY(handle.setFileTime(kBefore, QFileDevice::FileModificationTime));
        before.insert(file, bytes(file));
    }
    const QStringList wordJob = {
        "word-replace", "--old", "e", "--new", "Ж", "--scope", "textboxes,headers-footers"};
    const QStringList sheetJob = {"sheet-replace", "--old", "e", "--new", "Ж"};
    const CliRun words = CliRun::of(QStringList(wordJob) << "--dry-run" << documents, app.path());
    const CliRun sheets = CliRun::of(QStringList(sheetJob) << "--dry-run" << workbooks, app.path());
    for (const QString& file : documents + workbooks) {
        QVERIFY2(bytes(file) == before[file], qPrintable(file));
        QCOMPARE(QFileInfo(file).fileTime(QFileDevice::FileModificationTime), kBefore);
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), before.size());
    QVERIFY(!QDir(app.filePath("backup")).exists() ||
            QDir(app.filePath("backup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    const QMap<QString, QList<int>> said = previewed(words.out + sheets.out);
    QVERIFY2(said.size() == documents.size() + workbooks.size(),
             qPrintable((words.out + sheets.out).join('\n')));

    CliRun::of(QStringList(wordJob) << documents, app.path());
    CliRun::of(QStringList(sheetJob) << workbooks, app.path());
    // The saved files, counted again by a dry run of the new text itself, and read back.
    const QMap<QString, QList<int>> made = previewed(
        CliRun::of(QStringList{"word-replace", "--old", "Ж", "--new", "Ж", "--scope",
                               "textboxes,headers-footers", "--dry-run"} +
                       documents,
                   app.path())
            .out +
        CliRun::of(QStringList{"sheet-replace", "--old", "Ж", "--new", "Ж", "--dry-run"} + workbooks,
                   app.path())
            .out);
    int total = 0;
    for (const QString& file : documents) {
        QCOMPARE(made.value(file), said.value(file));
        const UnoReadBack::Document read = UnoReadBack::readDocument(file);
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
    for (const QString& file : workbooks) {
        QCOMPARE(made.value(file), said.value(file));
        int cells = 0;
        for (const UnoReadBack::Sheet& sheet : UnoReadBack::readWorkbook(file).sheets)
            cells += int(sheet.cells.filter(QChar(0x416)).size());
        // Formulas that show a replaced cell's text show the new text too: at least what was said.
        QVERIFY2(cells >= said[file][0] && (cells > 0) == (said[file][0] > 0),
                 qPrintable(QString("%1: %2 said, %3 read").arg(file).arg(said[file][0]).arg(cells)));
        total += said[file][0];
    }
    QVERIFY(total > 50);
}

QTEST_GUILESS_MAIN(TestUndoOffice)
#include "tst_undo_office.moc"
