#include "support/CliRun.h"
#include "support/TestFiles.h"
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
    void initTestCase();
    void documentsOfWorkersUndone();
    void dryRunOnLibreOffice();
    void cleanupTestCase() { UnoReadBack::shutdown(); }

private:
    // Copies of corpus documents and of the first workbooks, dated kBefore; their bytes kept in m_before.
    void copy(const QStringList& documents, int workbooks);
    // Every file as it was copied, and nothing of the tool's own beside them.
    void unchanged(const QStringList& files);

    QDir m_corpus{YANHE_CORPUS};
    QTemporaryDir m_dir;
    QString m_folder; // of the test function
    QStringList m_documents;
    QStringList m_workbooks;
    QMap<QString, QByteArray> m_before;
};

void TestUndoOffice::initTestCase()
{
    if (!m_corpus.exists("doc/simple.doc") || !m_corpus.exists("xls"))
        QSKIP("no corpus of real documents beside the project (../shared/corpus)");
}

void TestUndoOffice::copy(const QStringList& documents, int workbooks)
{
    m_folder = m_dir.filePath(QTest::currentTestFunction());
    QVERIFY(QDir().mkpath(m_folder));
    m_documents.clear();
    m_workbooks.clear();
    m_before.clear();
    for (const QString& name : documents)
        m_documents << QDir(m_folder).filePath(name);
    for (const QString& name :
         QDir(m_corpus.filePath("xls")).entryList({"*.xls"}, QDir::Files, QDir::Name).mid(0, workbooks))
        m_workbooks << QDir(m_folder).filePath(name);
    for (const QString& file : m_documents + m_workbooks) {
        QVERIFY(QFile::copy(m_corpus.filePath(QFileInfo(file).suffix() + "/" + QFileInfo(file).fileName()),
                            file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        QFile handle(file);
        QVERIFY(handle.open(QIODevice::ReadWrite) &&
                handle.setFileTime(kBefore, QFileDevice::FileModificationTime));
        m_before.insert(file, bytes(file));
    }
}

void TestUndoOffice::unchanged(const QStringList& files)
{
    for (const QString& file : files) {
        QVERIFY2(bytes(file) == m_before[file], qPrintable(file));
        QCOMPARE(QFileInfo(file).fileTime(QFileDevice::FileModificationTime), kBefore);
    }
    QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden).size(), m_before.size());
}

void TestUndoOffice::documentsOfWorkersUndone()
{
    copy({"simple.doc", "test2.doc", "Lists.doc", "HeaderFooterUnicode.doc"}, 3);
    QTemporaryDir app;
    // Two workers: each process of the run keeps its files in the run's one folder.
    CliRun run = CliRun::of(
        QStringList{"word-replace", "--old", "e", "--new", "E", "--scope", "headers-footers", "--jobs", "2"} +
            m_documents,
        app.path());
    QVERIFY2(run.out.filter(" 已替换内容").size() >= 3, qPrintable(run.out.join('\n')));
    const QStringList runs = QDir(app.filePath("backup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(QDir(app.filePath("backup/" + runs.first())).entryList({"files-*.jsonl"}).size(), 2);
    run = CliRun::of(QStringList{"sheet-replace", "--old", "a", "--new", "A", "--jobs", "1"} + m_workbooks,
                     app.path());
    QVERIFY2(run.out.filter("已替换内容").size() >= 1, qPrintable(run.out.join('\n')));

    // The last run, then the one before.
    QCOMPARE(CliRun::of({"undo"}, app.path()).code, 0);
    QCOMPARE(CliRun::of({"undo", runs.first()}, app.path()).code, 0);
    unchanged(m_documents + m_workbooks);

    // Workers that cannot keep a backup (a file where the backup folder should be) change no file either.
    QTemporaryDir blocked;
    QFile inTheWay(blocked.filePath("backup"));
    QVERIFY(inTheWay.open(QIODevice::WriteOnly));
    inTheWay.close();
    run = CliRun::of(QStringList{"word-replace", "--old", "e", "--new", "E", "--jobs", "2"} + m_documents,
                     blocked.path());
    QCOMPARE(run.code, 1);
    QVERIFY2(run.out.filter(" 保存失败，未修改：无法写入备份").size() >= 3, qPrintable(run.out.join('\n')));
    unchanged(m_documents);
}

// A dry run of .doc and .xls files on LibreOffice: nothing on disk changes, and
// what it counts is what the run then writes, read back from the saved files.
void TestUndoOffice::dryRunOnLibreOffice()
{
    copy({"simple.doc", "test2.doc", "DiffFirstPageHeadFoot.doc", "HeaderFooterUnicode.doc",
          "WithArtShapes.doc", "innertable.doc", "SampleDoc.doc"},
         6);
    QTemporaryDir app;
    const auto runs = [&](const QString& oldText, const QString& newText, const QStringList& more) {
        const QStringList words{
            "word-replace", "--old", oldText, "--new", newText, "--scope", "textboxes,headers-footers"};
        const QStringList sheets{"sheet-replace", "--old", oldText, "--new", newText};
        return CliRun::of(words + more + m_documents, app.path()).out +
               CliRun::of(sheets + more + m_workbooks, app.path()).out;
    };
    const QMap<QString, QList<int>> said = previewed(runs("e", "Ж", {"--dry-run"}));
    unchanged(m_documents + m_workbooks);
    QVERIFY(!QDir(app.filePath("backup")).exists() ||
            QDir(app.filePath("backup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    QCOMPARE(said.size(), m_documents.size() + m_workbooks.size());

    runs("e", "Ж", {});
    // The saved files, counted again by a dry run of the new text itself, and read back.
    const QMap<QString, QList<int>> made = previewed(runs("Ж", "Ж", {"--dry-run"}));
    int total = 0;
    for (const QString& file : std::as_const(m_documents)) {
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
    for (const QString& file : std::as_const(m_workbooks)) {
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
