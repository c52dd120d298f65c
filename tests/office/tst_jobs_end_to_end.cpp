#include "office/OfficeRegistry.h"
#include "support/CliRun.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"
#include "support/WordReadBack.h"

#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// yanhe-cli word-replace-pairs, header-footer-replace, header-footer-write and
// cell-write on documents and workbooks they have never seen, made here or copied
// from real-world files, through the real LibreOffice; read back and rendered.
namespace {

// The body, a text box, and three sections with their headers and footers; a text box in the first header.
const UnoDocuments::WordContent kPairs{
    {"正文 一号 二号"},
    {"文本框 二号"},
    {"页眉 三号", "页眉二 三号", "页眉三 三号"},
    {"页脚 四号", "页脚二 四号", "页脚三 四号"},
    "页眉框 五号",
};

// A rendered page's text as its lines read, without blanks (pdftotext puts them between Chinese
// and Latin text).
QString text(const UnoDocuments::RenderedPage& page)
{
    QString joined;
    for (const UnoDocuments::PlacedLine& line : page.lines)
        joined += line.text;
    return joined;
}

const UnoDocuments::PlacedLine* line(const UnoDocuments::RenderedPage& page, const QString& holding)
{
    for (const UnoDocuments::PlacedLine& placed : page.lines) {
        if (placed.text.contains(holding))
            return &placed;
    }
    return nullptr;
}

// The engine that reads the files back, one for the whole test.
sheet::ApplicationPtr& reader()
{
    static sheet::ApplicationPtr excel = OfficeRegistry::system().createSpreadsheet("Excel.Application");
    return excel;
}

// Every worksheet's name and the cell at (row, column), as the engine reads them back.
QList<QPair<QString, QString>> sheetsAndCell(const QString& path, int row, int column)
{
    QList<QPair<QString, QString>> found;
    sheet::WorkbookPtr book = reader()->workbooksOpen(path);
    for (int i = 1; i <= book->worksheetsCount(); ++i) {
        const sheet::WorksheetPtr worksheet = book->worksheets(i);
        found.append({worksheet->name(), worksheet->cell(row, column)});
    }
    book->close(false);
    return found;
}

} // namespace

class TestJobsEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase()
    {
        reader()->quit();
        UnoDocuments::shutdown();
    }
    void replacePairsWithAndWithoutScopes_data();
    void replacePairsWithAndWithoutScopes();
    void headerFooterReplaceAndWrite();
    void currentPageHeaders();
    void cellWriteEveryWorksheetAndBadCells();

private:
    CliRun cli(const QStringList& arguments) { return CliRun::of(arguments, m_app.path()); }
    QStringList journal() { return journalMessages(m_app.filePath("Journal")); }

    QTemporaryDir m_dir;
    QTemporaryDir m_app;
};

void TestJobsEndToEnd::initTestCase()
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils, installed by tools/setup-deps.sh) is needed to read the rendered "
              "pages");
    QVERIFY(m_dir.isValid() && m_app.isValid());
}

void TestJobsEndToEnd::replacePairsWithAndWithoutScopes_data()
{
    QTest::addColumn<QString>("extension");
    QTest::newRow("docx") << "docx";
    QTest::newRow("doc") << "doc";
}

void TestJobsEndToEnd::replacePairsWithAndWithoutScopes()
{
    QFETCH(QString, extension);
    const QString file = m_dir.filePath("多文本." + extension);
    UnoDocuments::writeDocument(file, kPairs);
    const QByteArray magic = bytes(file).left(4);
    const qsizetype journalBefore = journal().size();

    // The body only; each pair's status comes from the body.
    CliRun run =
        cli({"word-replace-pairs", "--old", "一号|二号|三号|四号|五号", "--new", "壹|贰|叁|肆|伍", file});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, (QStringList{file + " 已替换内容", file + " 已替换内容", file + " 未找到内容",
                                   file + " 未找到内容", file + " 未找到内容"}));
    QCOMPARE(run.err, file); // the status line shows the last path
    QCOMPARE(journal().mid(journalBefore),
             (QStringList{file + " 已替换内容一号", file + " 已替换内容二号", file + " 未找到内容三号",
                          file + " 未找到内容四号", file + " 未找到内容五号"}));
    WordState state = readBack(file);
    QVERIFY2(state.body.startsWith("正文 壹 贰"), qPrintable(state.body));
    QCOMPARE(state.boxes, QStringList{"文本框 二号"});
    QCOMPARE(state.headers, (QStringList{"页眉 三号", "页眉二 三号", "页眉三 三号"}));
    QCOMPARE(state.headerBox, QString("页眉框 五号"));
    QCOMPARE(bytes(file).left(4), magic);

    // A pair without its new text is reported and left alone, in its scopes too.
    run =
        cli({"word-replace-pairs", "--old", "三号|四号", "--new", "叁", "--scope", "headers-footers", file});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, (QStringList{file + " 未找到内容", file + " 缺少对应的新文本：四号"}));

    // Every scope: the page's text box, every section's header and footer, the first header's text box.
    // Read back after both runs: the footers' 四号 was left for this run.
    run = cli({"word-replace-pairs", "--old", "二号|四号|五号", "--new", "贰|肆|伍", "--scope",
               "textboxes,headers-footers,header-textboxes", file});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, (QStringList{file + " 未找到内容", file + " 未找到内容", file + " 未找到内容"}));
    state = readBack(file);
    QCOMPARE(state.boxes, QStringList{"文本框 贰"});
    QCOMPARE(state.headers, (QStringList{"页眉 叁", "页眉二 叁", "页眉三 叁"}));
    QCOMPARE(state.footers, (QStringList{"页脚 肆", "页脚二 肆", "页脚三 肆"}));
    QCOMPARE(state.headerBox, QString("页眉框 伍"));
    QVERIFY2(state.body.startsWith("正文 壹 贰"), qPrintable(state.body));
}

// Both documents in each run, one job after another on the same pages: a size that is not a number,
// the header and footer replaced, the page number alone, the header and footer written, another
// layout of footer and number.
void TestJobsEndToEnd::headerFooterReplaceAndWrite()
{
    UnoDocuments::PagedDocument content;
    content.pages = {"第一页的正文 原文本", "第二页的正文", "第三页的正文"};
    content.header = "页眉 原文本";
    content.footer = "页脚 原文本";
    const QString docx = m_dir.filePath("三页.docx");
    const QString doc = m_dir.filePath("三页.doc");
    const QStringList files{docx, doc};
    for (const QString& file : files)
        UnoDocuments::writePaged(file, content);
    const QList<QByteArray> made{bytes(docx), bytes(doc)};

    // A size that is not a number: each file's failure line, its bytes untouched, the run goes on.
    CliRun run = cli(QStringList{"header-footer-write", "--header", "眉", "--header-size", "大号"} + files);
    QCOMPARE(run.code, 1);
    QCOMPARE(run.out, (QStringList{docx + " 写入失败，未修改：字号“大号”不是数字",
                                   doc + " 写入失败，未修改：字号“大号”不是数字"}));
    QCOMPARE((QList<QByteArray>{bytes(docx), bytes(doc)}), made);

    // The footer alone, with the boxes' default texts: no line, nothing in the journal;
    // the status line's closing text says it ran.
    const qsizetype journalBefore = journal().size();
    run = cli(QStringList{"header-footer-replace", "--footer"} + files);
    QCOMPARE(run.code, 0);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.err, QString("全部操作已完成"));
    QCOMPARE(journal().size(), journalBefore);
    // Both, each with its own pair. Read back after both: the first run's footer pair, its header
    // and body left with the text the second run's header pair finds.
    run = cli(QStringList{"header-footer-replace", "--header", "--header-old", "原文本", "--header-new", "眉",
                          "--footer", "--footer-old", "页脚", "--footer-new", "脚"} +
              files);
    QCOMPARE(run.code, 0);
    QVERIFY(run.out.isEmpty());
    for (const QString& file : files) {
        const WordState state = readBack(file);
        QCOMPARE(state.headers, QStringList{"页眉 眉"});
        QCOMPARE(state.footers, QStringList{"脚 新文本"});
        QVERIFY2(state.body.startsWith("第一页的正文 原文本"), qPrintable(state.body));
    }

    // The page number alone, centred, typed before what the footer holds, where the selection
    // starts; a Latin font leaves the font of Chinese text as it is.
    run = cli(QStringList{"header-footer-write", "--page-number", "--footer-font", "Liberation Serif",
                          "--footer-size", "12"} +
              files);
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, (QStringList{docx + " 页码已写入", doc + " 页码已写入"}));
    QCOMPARE(run.err, QString("已完成 2 个文件！ 全部操作已完成"));
    for (const QString& file : files) {
        const UnoDocuments::Paragraph footer = UnoDocuments::readHeaderFooter(file).footer.value(0);
        QVERIFY2(QRegularExpression("^第\\d+页脚 新文本$").match(footer.text).hasMatch(),
                 qPrintable(footer.text));
        QCOMPARE(footer.alignment, QString("center"));
        QVERIFY(!footer.runs.isEmpty());
        const UnoDocuments::TextRun& typed = footer.runs.first();
        QCOMPARE(typed.font, QString("Liberation Serif"));
        QVERIFY(typed.asianFont != "Liberation Serif");
        QCOMPARE(typed.size, 12.0);
        // Every page shows the replaced footer after its own number, centred: the line's middle in the
        // page's middle. (The replaced header shows on every page after the one written below.)
        const QList<UnoDocuments::RenderedPage> pages = UnoDocuments::renderLines(file);
        QCOMPARE(pages.size(), 3);
        for (int number = 1; number <= 3; ++number) {
            const UnoDocuments::RenderedPage& page = pages.at(number - 1);
            QVERIFY2(text(page).contains(QString("第%1页脚新文本").arg(number)), qPrintable(text(page)));
            const UnoDocuments::PlacedLine* shown = line(page, "脚新文本");
            QVERIFY(shown);
            QVERIFY2(qAbs((shown->left + shown->right) / 2 - page.width / 2) < 3, qPrintable(shown->text));
        }
    }

    // A right-aligned bold header in 黑体 14 before the header's own text; the old footer
    // deleted and replaced by the footer text and the page number in the defaults (宋体 10,
    // text left, number centred: justified, 26 blanks between).
    run = cli(QStringList{"header-footer-write", "--header", "眉头Head", "--header-font", "黑体",
                          "--header-size", "14", "--header-bold", "--header-align", "居右", "--footer",
                          "脚注Foot", "--delete-footer", "--page-number"} +
              files);
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, (QStringList{docx + " 页眉已写入内容", docx + " 页码和页脚已写入内容",
                                   doc + " 页眉已写入内容", doc + " 页码和页脚已写入内容"}));
    for (const QString& file : files) {
        const UnoDocuments::HeaderFooterParagraphs saved = UnoDocuments::readHeaderFooter(file);
        const UnoDocuments::Paragraph header = saved.header.value(0);
        // Typed where the view's selection starts: before the text the header held.
        QCOMPARE(header.text, QString("眉头Head页眉 眉"));
        QCOMPARE(header.alignment, QString("right"));
        QVERIFY(header.runs.size() >= 2);
        const UnoDocuments::TextRun& typed = header.runs.first();
        QCOMPARE(typed.text, QString("眉头Head"));
        QCOMPARE(typed.font, QString("黑体"));
        QCOMPARE(typed.asianFont, QString("黑体"));
        QCOMPARE(typed.size, 14.0);
        QCOMPARE(typed.asianSize, 14.0);
        QVERIFY(typed.bold && typed.asianBold);
        const UnoDocuments::TextRun& old = header.runs.last();
        QVERIFY(!old.bold);
        QVERIFY(old.asianFont != "黑体");

        QCOMPARE(saved.footer.size(), 1);
        const UnoDocuments::Paragraph& footer = saved.footer.first();
        QVERIFY2(footer.text.startsWith("脚注Foot" + QString(26, ' ') + "第") && footer.text.endsWith("页"),
                 qPrintable(footer.text));
        QVERIFY(!footer.text.contains("新文本"));
        QCOMPARE(footer.alignment, QString("justified"));
        int fields = 0;
        for (const UnoDocuments::TextRun& part : footer.runs) {
            fields += part.field;
            QCOMPARE(part.font, QString("宋体"));
            QCOMPARE(part.asianFont, QString("宋体"));
            QCOMPARE(part.size, 10.0);
            QVERIFY(!part.bold);
        }
        QCOMPARE(fields, 1);

        // Every page shows the header, the footer text and its own number; the header flush
        // with the right margin, the footer text flush with the left one, as the body's text is.
        const QList<UnoDocuments::RenderedPage> pages = UnoDocuments::renderLines(file);
        QCOMPARE(pages.size(), 3);
        for (int number = 1; number <= 3; ++number) {
            const UnoDocuments::RenderedPage& page = pages.at(number - 1);
            const QString shown = text(page);
            for (const QString& part :
                 {QString("眉头Head页眉眉"), QString("脚注Foot"), QString("第%1页").arg(number)})
                QVERIFY2(shown.contains(part), qPrintable(shown));
            QVERIFY2(!shown.contains("新文本"), qPrintable(shown));
            const UnoDocuments::PlacedLine* body = line(page, "的正文");
            const UnoDocuments::PlacedLine* headerLine = line(page, "眉头Head");
            const UnoDocuments::PlacedLine* footerText = line(page, "脚注Foot");
            QVERIFY(body && headerLine && footerText);
            QVERIFY2(qAbs(headerLine->right - (page.width - body->left)) < 3,
                     qPrintable(QString("the header ends at %1 on a page %2 wide")
                                    .arg(headerLine->right)
                                    .arg(page.width)));
            QVERIFY2(qAbs(footerText->left - body->left) < 1, qPrintable(QString::number(footerText->left)));
        }
    }

    // The number on the left and the text on the right, in bold: the number, then the text and 52 blanks.
    run = cli(QStringList{"header-footer-write", "--footer", "右边", "--delete-footer", "--footer-align",
                          "居右", "--page-number", "--page-number-align", "居左", "--footer-bold"} +
              files);
    QCOMPARE(run.code, 0);
    for (const QString& file : files) {
        const UnoDocuments::Paragraph footer = UnoDocuments::readHeaderFooter(file).footer.value(0);
        QVERIFY2(QRegularExpression("^第\\d+页右边 {52}$").match(footer.text).hasMatch(),
                 qPrintable(QString("%1 (%2)").arg(footer.text).arg(footer.text.size())));
        QCOMPARE(footer.alignment, QString("justified"));
        QVERIFY(!footer.runs.isEmpty() && footer.runs.first().bold && footer.runs.last().bold);
    }
}

// Which header "the current page's" is, in documents of each layout, all in one run (and those
// whose header is emptied first in another): pages 1 to 3 afterwards show the header, then the body.
void TestJobsEndToEnd::currentPageHeaders()
{
    // Each layout: its kind, whether the header is emptied first, what pages 1 to 3 show afterwards.
    const QList<std::tuple<QString, bool, QStringList>> layouts{
        // A first page of its own: Word's current page is the first, so is its header.
        {"first", false, {"新首页眉一", "主页眉二", "主页眉三"}},
        // "删除页眉" empties section 1's primary header, whatever the view shows.
        {"first", true, {"新首页眉一", "二", "三"}},
        // Even pages of their own: page 1 is odd, its header the primary one.
        {"even", false, {"新主页眉一", "偶页眉二", "新主页眉三"}},
        // Sections with headers of their own: the first section's only.
        {"sections", false, {"新页眉一一", "页眉二第2节正文", "页眉三第3节正文"}},
    };
    QMap<QString, QStringList> shown;
    QStringList kept, emptied;
    for (const QString extension : {"docx", "doc"}) {
        for (const auto& [kind, deleteFirst, pages] : layouts) {
            const QString file =
                m_dir.filePath(QString("当前页%1%2.%3").arg(kind).arg(deleteFirst).arg(extension));
            if (kind == "sections") {
                UnoDocuments::writeDocument(file, {{"一"}, {}, {"页眉一", "页眉二", "页眉三"}, {}, {}});
            } else {
                UnoDocuments::PagedDocument content;
                content.pages = {"一", "二", "三"};
                content.header = "主页眉";
                if (kind == "first")
                    content.firstPageHeader = "首页眉";
                else
                    content.evenPagesHeader = "偶页眉";
                UnoDocuments::writePaged(file, content);
            }
            (deleteFirst ? emptied : kept) << file;
            shown.insert(file, pages);
        }
    }
    QCOMPARE(cli(QStringList{"header-footer-write", "--header", "新"} + kept).code, 0);
    QCOMPARE(cli(QStringList{"header-footer-write", "--header", "新", "--delete-header"} + emptied).code, 0);
    for (auto file = shown.cbegin(); file != shown.cend(); ++file) {
        const QList<UnoDocuments::RenderedPage> pages = UnoDocuments::renderLines(file.key());
        QCOMPARE(pages.size(), 3);
        for (int page = 0; page < 3; ++page)
            QVERIFY2(text(pages.at(page)).startsWith(file.value().at(page)),
                     qPrintable(
                         QString("%1, page %2: %3").arg(file.key()).arg(page + 1).arg(text(pages.at(page)))));
    }
}

void TestJobsEndToEnd::cellWriteEveryWorksheetAndBadCells()
{
    const QString xlsx = m_dir.filePath("表.xlsx");
    const QString xls = m_dir.filePath("表.xls");
    UnoDocuments::writeWorkbook(xlsx, {{"一月", {{1, 1, "甲"}, {3, 2, "旧值"}}}, {"二月", {{2, 2, "乙"}}}});
    UnoDocuments::writeWorkbook(xls,
                                {{"Sheet1", {{1, 1, "丙"}}}, {"第二页", {}}, {"第三页", {{3, 3, "丁"}}}});
    QStringList paths{xlsx, xls};
    for (const QString real : {"xlsx/any_sheets.xlsx", "xls/any_sheets.xls"}) {
        paths << m_dir.filePath("real-" + QFileInfo(real).fileName());
        if (!QFile::copy(QStringLiteral(YANHE_CORPUS "/") + real, paths.last()))
            QSKIP("the shared corpus (../shared/corpus) is not there");
        QFile::setPermissions(paths.last(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    QStringList expected;
    for (const QString& path : paths) {
        const auto sheets = sheetsAndCell(path, 3, 2);
        QVERIFY(sheets.size() >= 2);
        for (const auto& [name, cell] : sheets)
            expected << path + "-" + name + "已替换内容";
    }

    CliRun run = cli(QStringList{"cell-write", "--row", "3", "--column", "2.5", "--text", "写入 x"} + paths);
    QCOMPARE(run.out, expected);
    QCOMPARE(run.err, QString("已完成 4 个文件！ 全部操作已完成"));
    QCOMPARE(run.code, 0);

    // Row 3, column 2 of every worksheet; nothing else changed; each file kept its format.
    for (const QString& path : paths) {
        for (const auto& [name, cell] : sheetsAndCell(path, 3, 2))
            QVERIFY2(cell == "写入 x", qPrintable(path + "-" + name + ": " + cell));
    }
    QCOMPARE(sheetsAndCell(xlsx, 1, 1).first().second, QString("甲"));
    QCOMPARE(sheetsAndCell(xlsx, 2, 2).at(1).second, QString("乙"));
    QCOMPARE(sheetsAndCell(xls, 3, 3).at(2).second, QString("丁"));
    QCOMPARE(bytes(xlsx).left(2), QByteArray("PK"));
    QCOMPARE(bytes(xls).left(4), QByteArray::fromHex("d0cf11e0"));

    // What a user sees: the old value gone, the new one on the pages, the rest still there.
    const QString pages = UnoDocuments::rendered(xlsx);
    QVERIFY2(pages.count("写入 x") == 2, qPrintable(pages));
    QVERIFY(pages.contains("甲") && !pages.contains("旧值"));

    // Row 70,000 is a cell of an .xlsx, not of an .xls (the engine gives its size); a protected
    // sheet is never written, nor the open one before it.
    const QString locked = m_dir.filePath("保护.xlsx");
    UnoDocuments::writeWorkbook(locked, {{"开放", {{1, 1, "c"}}}, {"保护", {{1, 1, "d"}}, true}});
    const QList<QByteArray> before{bytes(xls), bytes(locked)};
    run = cli({"cell-write", "--row", "70000", "--column", "2", "--text", "v", xlsx, xls, locked});
    QCOMPARE(run.code, 1);
    QCOMPARE(
        run.out,
        (QStringList{
            xlsx + "-一月已替换内容", xlsx + "-二月已替换内容",
            xls + " 写入失败，未修改：单元格第 70000 行第 2 列不存在（工作表“Sheet1”有 65536 行、256 列）",
            locked + " 写入失败，未修改：工作表“保护”受保护，无法写入"}));
    QCOMPARE(run.err, QString("已完成 3 个文件！ 全部操作已完成"));
    QCOMPARE(sheetsAndCell(xlsx, 70000, 2).at(1).second, QString("v"));
    QCOMPARE((QList<QByteArray>{bytes(xls), bytes(locked)}), before);
}

QTEST_GUILESS_MAIN(TestJobsEndToEnd)
#include "tst_jobs_end_to_end.moc"
