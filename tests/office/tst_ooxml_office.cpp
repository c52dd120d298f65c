#include "support/CliRun.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"
#include "support/ZipFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <pugixml.hpp>

// The same jobs through both engines, on documents made here and on copies of real ones, read back through
// LibreOffice: every story reads the same, and the lossless engine's result opens without a question; text
// boxes and a typed footer as the pages render.
namespace {

struct Job
{
    QString command; // word-replace, sheet-replace
    QString oldText;
    QString newText;
    QString scopes;
};

// yanhe-cli over files with one engine: each file's lines.
QMap<QString, QStringList> run(const Job& job, const QString& engine, const QStringList& files,
                               const QString& appFolder)
{
    QProcess process;
    QProcessEnvironment environment;
    environment.insert("YANHE_ENGINE", engine);
    const QStringList scopes = job.scopes.isEmpty() ? QStringList() : QStringList{"--scope", job.scopes};
    CliRun::start(process,
                  QStringList{job.command, "--old", job.oldText, "--new", job.newText} + scopes + files,
                  appFolder, environment);
    process.waitForFinished(600000);
    const QStringList out =
        QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QMap<QString, QStringList> lines;
    for (const QString& file : files)
        lines.insert(file, linesOf(out, file));
    return lines;
}

bool failed(const QStringList& lines)
{
    return lines.isEmpty() || lines.join('\n').contains("失败");
}

QString join(const QStringList& list)
{
    return "[" + list.join(" | ") + "]";
}

QStringList documentDifferences(const QString& lossless, const QString& libre)
{
    const UnoDocuments::Document a = UnoDocuments::readDocument(lossless);
    const UnoDocuments::Document b = UnoDocuments::readDocument(libre);
    QStringList problems;
    if (!a.loaded || !a.requests.isEmpty())
        problems << "the lossless result did not open without questions: " + join(a.requests);
    for (const auto& [story, x, y] :
         {std::tuple<QString, QStringList, QStringList>{"body", {a.body}, {b.body}},
          {"headers", a.headers, b.headers},
          {"footers", a.footers, b.footers},
          {"frames", a.frames, b.frames}}) {
        if (b.loaded && x != y)
            problems << story + " " + join(x) + " / " + join(y);
    }
    return problems;
}

// "B12" -> R12C2.
QPair<int, int> rowColumn(const QString& address)
{
    const qsizetype digits = address.indexOf(QRegularExpression("[0-9]"));
    int column = 0;
    for (const QChar letter : address.left(digits))
        column = column * 26 + letter.unicode() - 'A' + 1;
    return {address.mid(digits).toInt(), column};
}

// Per sheet, in the workbook's order, the cells the two engines show differently by design: formulas the job
// edits (LibreOffice's engine parses its own edit, the lossless one leaves the formula to the reader, and
// their error texts differ), logical values (LibreOffice keeps them as TRUE() formulas and edits those), and
// pivot tables (LibreOffice builds them anew on saving).
QList<QSet<QString>> shownDifferently(const QString& original, const Job& job)
{
    const QMap<QString, QByteArray> parts = ZipFiles::read(original);
    const auto xml = [&](const QString& name) {
        auto document = std::make_shared<pugi::xml_document>();
        const QByteArray bytes = parts.value(name);
        document->load_buffer(bytes.constData(), size_t(bytes.size()));
        return document;
    };
    const auto targets = [&](const QString& source) {
        QMap<QString, QString> byId;
        const QString folder = source.left(source.lastIndexOf('/') + 1);
        const auto document = xml(folder + "_rels/" + source.mid(folder.size()) + ".rels");
        for (const pugi::xpath_node& node : document->select_nodes("//*[local-name()='Relationship']")) {
            const QString target = node.node().attribute("Target").value();
            byId.insert(node.node().attribute("Id").value(),
                        QDir::cleanPath(target.startsWith('/') ? target.mid(1) : folder + target));
        }
        return byId;
    };
    QList<QSet<QString>> sheets;
    const QMap<QString, QString> fromBook = targets("xl/workbook.xml");
    const auto book = xml("xl/workbook.xml");
    for (const pugi::xpath_node& entry : book->select_nodes("//*[local-name()='sheet']")) {
        QSet<QString> cells;
        const QString part = fromBook.value(entry.node().attribute("r:id").value());
        const auto sheet = xml(part);
        for (const pugi::xpath_node& c : sheet->select_nodes("//*[local-name()='c']")) {
            const pugi::xml_node f = c.node().find_child(
                [](pugi::xml_node n) { return std::string_view(n.name()).ends_with("f"); });
            const bool edited = f && (QString(f.text().get()).isEmpty() ||
                                      QString(f.text().get()).contains(job.oldText, Qt::CaseInsensitive));
            if (edited || std::string_view(c.node().attribute("t").value()) == "b") {
                const auto [row, column] = rowColumn(c.node().attribute("r").value());
                cells.insert(QString("R%1C%2").arg(row).arg(column));
            }
        }
        for (const QString& target : targets(part)) {
            if (!target.contains("pivotTable"))
                continue;
            const QStringList range =
                QString(
                    xml(target)->select_node("//*[local-name()='location']").node().attribute("ref").value())
                    .split(':');
            const auto [top, left] = rowColumn(range.first());
            const auto [bottom, right] = rowColumn(range.last());
            // LibreOffice lays the table out anew, anywhere near: the rows it spans, every column.
            for (int row = top - 2; row <= bottom + 2; ++row)
                for (int column = 1; column <= right + 8; ++column)
                    cells.insert(QString("R%1C%2").arg(row).arg(column));
        }
        sheets << cells;
    }
    return sheets;
}

QStringList workbookDifferences(const QString& original, const QString& lossless, const QString& libre,
                                const Job& job)
{
    const QList<QSet<QString>> skipped = shownDifferently(original, job);
    const UnoDocuments::Workbook a = UnoDocuments::readWorkbook(lossless);
    const UnoDocuments::Workbook b = UnoDocuments::readWorkbook(libre);
    QStringList problems;
    if (!a.loaded || !a.requests.isEmpty())
        problems << "the lossless result did not open without questions: " + join(a.requests);
    if (!b.loaded)
        return problems;
    if (a.sheets.size() != b.sheets.size())
        return problems << "sheet count";
    for (qsizetype i = 0; i < a.sheets.size(); ++i) {
        if (a.sheets.at(i).name != b.sheets.at(i).name)
            problems << "sheet name " + a.sheets.at(i).name + " / " + b.sheets.at(i).name;
        const QSet<QString> skip = skipped.value(i);
        const auto shown = [&](const QStringList& cells) {
            QSet<QString> kept(cells.begin(), cells.end());
            kept.removeIf([&](const QString& cell) { return skip.contains(cell.section('=', 0, 0)); });
            return kept;
        };
        const QSet<QString> x = shown(a.sheets.at(i).cells);
        const QSet<QString> y = shown(b.sheets.at(i).cells);
        for (const QString& cell : x - y)
            problems << a.sheets.at(i).name + " " + cell + " (lossless only)";
        for (const QString& cell : y - x)
            problems << a.sheets.at(i).name + " " + cell + " (LibreOffice only)";
    }
    return problems;
}

using ZipFiles::Snapshot;

} // namespace

class TestOoxmlOffice : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void generatedDocuments();
    void corpus_data();
    void corpus();
    void textBoxesThroughThePages();
    void writerThroughThePages();

private:
    // Copies of sources in two folders, one per engine; the job through both; the comparison.
    void differential(const QStringList& sources, const Job& job, bool words);
    QTemporaryDir m_dir;
    int m_round = 0;
};

void TestOoxmlOffice::differential(const QStringList& sources, const Job& job, bool words)
{
    const QString round = m_dir.filePath(QString::number(++m_round));
    bool copied = true;
    const auto copies = [&](const QString& engine) {
        QStringList files;
        QDir().mkpath(round + "/" + engine);
        for (const QString& source : sources) {
            files << round + "/" + engine + "/" + QFileInfo(source).fileName();
            copied = QFile::copy(source, files.last()) && copied;
            QFile::setPermissions(files.last(), QFile::ReadOwner | QFile::WriteOwner);
        }
        return files;
    };
    const QStringList lossless = copies("lossless");
    const QStringList libre = copies("libreoffice");
    QVERIFY(copied);
    const QString app = round + "/app";
    const QMap<QString, QStringList> a = run(job, "lossless", lossless, app);
    const QMap<QString, QStringList> b = run(job, "libreoffice", libre, app);

    QStringList problems;
    int compared = 0;
    for (qsizetype i = 0; i < sources.size(); ++i) {
        const QString name = QFileInfo(sources.at(i)).fileName();
        const QStringList& linesA = a.value(lossless.at(i));
        const QStringList& linesB = b.value(libre.at(i));
        if (failed(linesA) || failed(linesB)) {
            // Declined or refused by the lossless engine: the file is left as it was.
            if (failed(linesA) && bytes(lossless.at(i)) != bytes(sources.at(i)))
                problems << name + ": changed though the lossless engine failed on it";
            qInfo("%s: %s / %s", qPrintable(name), qPrintable(linesA.join(' ')),
                  qPrintable(linesB.join(' ')));
            continue;
        }
        // LibreOffice's engine counts chart sheets among the worksheets, and replaces in pivot tables; Excel
        // does neither.
        const QByteArray types = ZipFiles::read(sources.at(i)).value("[Content_Types].xml");
        QStringList here = words ? documentDifferences(lossless.at(i), libre.at(i))
                                 : workbookDifferences(sources.at(i), lossless.at(i), libre.at(i), job);
        if (linesA != linesB && !types.contains("chartsheet") && !types.contains("pivotTable"))
            here << "log lines " + join(linesA) + " / " + join(linesB);
        ++compared;
        for (const QString& problem : std::as_const(here))
            problems << name + ": " + problem;
    }
    qInfo("%d of %d files compared through both engines", compared, int(sources.size()));
    QVERIFY2(compared > 0, "no file went through both engines");
    // The same job again, with a text found nowhere: nothing is written.
    QList<Snapshot> before;
    for (const QString& file : std::as_const(lossless))
        before << Snapshot::of(file);
    QTest::qWait(1100); // a write would show in the time
    run({job.command, "没有这段文字QZX", "x", job.scopes}, "lossless", lossless, app);
    for (qsizetype i = 0; i < lossless.size(); ++i) {
        if (!(Snapshot::of(lossless.at(i)) == before.at(i)))
            problems << QFileInfo(lossless.at(i)).fileName() + ": written though nothing was found";
    }
    for (const QString& problem : std::as_const(problems))
        qWarning("%s", qPrintable(problem));
    QVERIFY2(problems.isEmpty(), qPrintable(QString("%1 differences, listed above").arg(problems.size())));
}

void TestOoxmlOffice::generatedDocuments()
{
    const QString framed = m_dir.filePath("框和页眉.docx");
    UnoDocuments::writeDocument(framed, {{"正文里的 OLD 文字", "第二段 Old 与 old"},
                                         {"文本框一 OLD", "文本框二 没有"},
                                         {"页眉一 OLD", "页眉二", "页眉三 oLd"},
                                         {"页脚一 OLD", "页脚二 OLD", "页脚三"},
                                         "页眉文本框 OLD"});
    // Text split over runs as Word writes it: formatting changes, a bookmark, a hyperlink.
    const QString runs = m_dir.filePath("runs.docx");
    ZipFiles::writeDocx(
        runs,
        "<w:p><w:r><w:t xml:space=\"preserve\">An o</w:t></w:r><w:r><w:rPr><w:b/></w:rPr><w:t>l"
        "</w:t></w:r><w:bookmarkStart w:id=\"1\" w:name=\"m\"/><w:r><w:rPr><w:i/></w:rPr><w:t>D"
        "</w:t></w:r><w:bookmarkEnd w:id=\"1\"/><w:r><w:t xml:space=\"preserve\"> word, </w:t>"
        "</w:r><w:hyperlink r:id=\"rIdLink\"><w:r><w:t>linked ol</w:t></w:r></w:hyperlink><w:r>"
        "<w:t>d</w:t></w:r></w:p><w:p><w:r><w:t>gold</w:t></w:r></w:p><w:sectPr/>",
        {}, {{"https://example.org/", {}, "hyperlink", "rIdLink"}});
    differential({framed, runs},
                 {"word-replace", "old", "新NEW", "textboxes,header-textboxes,headers-footers"}, true);
}

void TestOoxmlOffice::corpus_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("docx") << "docx";
    QTest::newRow("xlsx") << "xlsx";
}

void TestOoxmlOffice::corpus()
{
    QFETCH(QString, kind);
    const QDir corpus(QStringLiteral(YANHE_CORPUS) + "/" + kind);
    if (!corpus.exists())
        QSKIP("no corpus beside the project (../shared/corpus)");
    QStringList files;
    for (const QString& name : corpus.entryList({"*." + kind}, QDir::Files, QDir::Name))
        files << corpus.filePath(name);
    const bool words = kind == "docx";
    differential(files, {words ? "word-replace" : "sheet-replace", "e", "ë", words ? "headers-footers" : ""},
                 words);
}

void TestOoxmlOffice::textBoxesThroughThePages()
{
    const auto run = [](const QByteArray& text) {
        return "<w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r>";
    };
    const QString docx = m_dir.filePath("boxes.docx");
    ZipFiles::writeDocx(
        docx,
        "<w:p>" + run("正文 旧词") + "</w:p><w:p>" + ZipFiles::textBox("框一 旧词", false) + "</w:p><w:p>" +
            run("锚点") + ZipFiles::textBox("框二 旧词", true) +
            "</w:p><w:sectPr><w:headerReference w:type=\"default\" r:id=\"header1\"/><w:pgSz "
            "w:w=\"11906\" w:h=\"16838\"/><w:pgMar w:top=\"1440\" w:right=\"1440\" w:bottom=\"1440\" "
            "w:left=\"1440\" w:header=\"720\" w:footer=\"720\" w:gutter=\"0\"/></w:sectPr>",
        {{"header1", "<w:p>" + ZipFiles::textBox("眉框一 旧词", false) + run(" 页眉") + "</w:p>"}});
    // The same document as Word 97-2003 writes it.
    const QString doc = m_dir.filePath("boxes.doc");
    QVERIFY(UnoDocuments::saveAs(docx, doc, "MS Word 97"));

    for (const auto& [engine, source] :
         QList<QPair<QString, QString>>{{"lossless", docx}, {"libreoffice", docx}, {"libreoffice", doc}}) {
        const QString folder = m_dir.filePath(engine + "-" + QFileInfo(source).suffix());
        const QString path = QDir(folder).filePath(QFileInfo(source).fileName());
        QVERIFY(QDir().mkpath(folder) && QFile::copy(source, path));
        QProcessEnvironment environment;
        environment.insert("YANHE_ENGINE", engine);
        const CliRun replaced = CliRun::of(
            {"word-replace", "--old", "旧词", "--new", "新词", "--scope", "textboxes,header-textboxes", path},
            m_dir.filePath("app"), environment);
        QVERIFY2(replaced.out.value(0) == path + " 已替换内容",
                 qPrintable(replaced.out.join('\n') + replaced.err));
        const QString pages = UnoDocuments::pages(path).join('\n').simplified();
        for (const char* text : {"正文 新词", "框一 新词", "框二 新词", "眉框一 新词"})
            QVERIFY2(pages.contains(QString::fromUtf8(text)), qPrintable(engine + ": " + pages));
        QVERIFY2(!pages.contains(QString::fromUtf8("旧词")), qPrintable(engine + ": " + pages));
    }
}

void TestOoxmlOffice::writerThroughThePages()
{
    // Three sections, each on its own pages, with headers and no footer: the footer made here serves every
    // section; the number is each page's own.
    const QString path = m_dir.filePath("writer.docx");
    UnoDocuments::writeDocument(path, {{"正文"}, {}, {"页眉一", "页眉二", "页眉三"}, {}, {}});
    QProcessEnvironment lossless;
    lossless.insert("YANHE_ENGINE", "lossless");
    const CliRun written =
        CliRun::of({"header-footer-write", "--delete-header", "--header", "新的页眉 Header", "--header-font",
                    "黑体", "--header-size", "14", "--header-bold", "--header-align", "居右", "--footer",
                    "说明", "--page-number", path},
                   m_dir.filePath("app"), lossless);
    QVERIFY2(written.code == 0, qPrintable(written.out.join('\n') + written.err));
    const UnoDocuments::Document read = UnoDocuments::readDocument(path);
    QVERIFY2(read.loaded && read.requests.isEmpty(), qPrintable(join(read.requests)));
    const QStringList pages = UnoDocuments::pages(path);
    QCOMPARE(pages.size(), 3);
    for (qsizetype i = 0; i < pages.size(); ++i)
        QVERIFY2(pages.at(i).contains(QRegularExpression(QString("说明\\s+第%1页").arg(i + 1))),
                 qPrintable(pages.at(i)));
    QVERIFY2(pages.at(0).contains("新的页眉 Header") && !pages.at(0).contains("页眉一"),
             qPrintable(pages.at(0)));
    QVERIFY2(pages.at(1).contains("页眉二"), qPrintable(pages.at(1)));
}

QTEST_GUILESS_MAIN(TestOoxmlOffice)
#include "tst_ooxml_office.moc"
