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

// The rendered pages without blanks: pdftotext puts them between Chinese and Latin text.
QStringList rendered(const QString& path)
{
    QStringList pages = UnoDocuments::pages(path);
    for (QString& page : pages)
        page.remove(QRegularExpression("\\s"));
    return pages;
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
    void headerFooterReplace_data();
    void headerFooterReplace();
    void writeHeaderFooterAndPageNumbers_data();
    void writeHeaderFooterAndPageNumbers();
    void writerLayoutsFontsAndFailures();
    void currentPageHeaders_data();
    void currentPageHeaders();
    void cellWriteEveryWorksheetOfMadeAndRealWorkbooks();
    void cellWriteBadCellsLeaveTheBytes();

private:
    CliRun cli(const QStringList& arguments) { return CliRun::of(arguments, m_app.path()); }
    QStringList journal() { return journalMessages(m_app.filePath("Journal")); }
    QString path(const QString& name, const QString& extension)
    {
        return m_dir.filePath(name + "." + extension);
    }

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
    const QString file = path("多文本", extension);
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
    state = readBack(file);
    QCOMPARE(state.headers, (QStringList{"页眉 叁", "页眉二 叁", "页眉三 叁"}));
    QCOMPARE(state.footers, (QStringList{"页脚 四号", "页脚二 四号", "页脚三 四号"}));

    // Every scope: the page's text box, every section's header and footer, the first header's text box.
    run = cli({"word-replace-pairs", "--old", "二号|四号|五号", "--new", "贰|肆|伍", "--scope",
               "textboxes,headers-footers,header-textboxes", file});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, (QStringList{file + " 未找到内容", file + " 未找到内容", file + " 未找到内容"}));
    state = readBack(file);
    QCOMPARE(state.boxes, QStringList{"文本框 贰"});
    QCOMPARE(state.footers, (QStringList{"页脚 肆", "页脚二 肆", "页脚三 肆"}));
    QCOMPARE(state.headerBox, QString("页眉框 伍"));
    QVERIFY2(state.body.startsWith("正文 壹 贰"), qPrintable(state.body));
}

void TestJobsEndToEnd::headerFooterReplace_data()
{
    replacePairsWithAndWithoutScopes_data();
}

void TestJobsEndToEnd::headerFooterReplace()
{
    QFETCH(QString, extension);
    const QString file = path("页眉替换", extension);
    UnoDocuments::PagedDocument content;
    content.pages = {"正文 原文本", "第二页"};
    content.header = "页眉 原文本";
    content.footer = "页脚 原文本";
    UnoDocuments::writePaged(file, content);
    const qsizetype journalBefore = journal().size();

    // The footer alone, with the boxes' default texts: no line, nothing in the journal;
    // the status line's closing text says it ran.
    CliRun run = cli({"header-footer-replace", "--footer", file});
    QCOMPARE(run.code, 0);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.err, QString("全部操作已完成"));
    QCOMPARE(journal().size(), journalBefore);
    WordState state = readBack(file);
    QCOMPARE(state.footers, QStringList{"页脚 新文本"});
    QCOMPARE(state.headers, QStringList{"页眉 原文本"});
    QVERIFY(state.body.startsWith("正文 原文本"));

    // Both, each with its own pair.
    run = cli({"header-footer-replace", "--header", "--header-old", "原文本", "--header-new", "眉",
               "--footer", "--footer-old", "页脚", "--footer-new", "脚", file});
    QCOMPARE(run.code, 0);
    QVERIFY(run.out.isEmpty());
    state = readBack(file);
    QCOMPARE(state.headers, QStringList{"页眉 眉"});
    QCOMPARE(state.footers, QStringList{"脚 新文本"});
    const QStringList pages = rendered(file);
    QCOMPARE(pages.size(), 2);
    QVERIFY2(pages.at(1).contains("页眉眉") && pages.at(1).contains("脚新文本"), qPrintable(pages.at(1)));
}

void TestJobsEndToEnd::writeHeaderFooterAndPageNumbers_data()
{
    replacePairsWithAndWithoutScopes_data();
}

void TestJobsEndToEnd::writeHeaderFooterAndPageNumbers()
{
    QFETCH(QString, extension);
    const QString file = path("三页", extension);
    UnoDocuments::PagedDocument content;
    content.pages = {"第一页的正文", "第二页的正文", "第三页的正文"};
    content.header = "旧页眉";
    content.footer = "旧页脚";
    UnoDocuments::writePaged(file, content);

    // A right-aligned bold header in 黑体 14 before the header's own text; the old footer
    // deleted and replaced by the footer text and the page number in the defaults (宋体 10,
    // text left, number centred: justified, 26 blanks between).
    const CliRun run = cli({"header-footer-write", "--header", "眉头Head", "--header-font", "黑体",
                            "--header-size", "14", "--header-bold", "--header-align", "居右", "--footer",
                            "脚注Foot", "--delete-footer", "--page-number", file});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, (QStringList{file + " 页眉已写入内容", file + " 页码和页脚已写入内容"}));
    QCOMPARE(run.err, QString("全部操作已完成"));

    const UnoDocuments::HeaderFooterParagraphs saved = UnoDocuments::readHeaderFooter(file);
    const UnoDocuments::Paragraph header = saved.header.value(0);
    // Typed where the view's selection starts: before the text the header held.
    QCOMPARE(header.text, QString("眉头Head旧页眉"));
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
    QCOMPARE(old.text, QString("旧页眉"));
    QVERIFY(!old.bold);
    QVERIFY(old.asianFont != "黑体");

    QCOMPARE(saved.footer.size(), 1);
    const UnoDocuments::Paragraph& footer = saved.footer.first();
    QVERIFY2(footer.text.startsWith("脚注Foot" + QString(26, ' ') + "第") && footer.text.endsWith("页"),
             qPrintable(footer.text));
    QVERIFY(!footer.text.contains("旧页脚"));
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

    // Every page shows the header, the footer text and its own number.
    const QStringList pages = rendered(file);
    QCOMPARE(pages.size(), 3);
    for (int page = 1; page <= 3; ++page) {
        const QString& shown = pages.at(page - 1);
        QVERIFY2(shown.contains("眉头Head旧页眉"), qPrintable(shown));
        QVERIFY2(shown.contains("脚注Foot"), qPrintable(shown));
        QVERIFY2(shown.contains(QString("第%1页").arg(page)), qPrintable(shown));
        QVERIFY2(!shown.contains("旧页脚"), qPrintable(shown));
    }
    // Where the lines stand: the header flush with the right margin, the footer text
    // flush with the left one, as the body's text is.
    for (const UnoDocuments::RenderedPage& page : UnoDocuments::renderLines(file)) {
        const UnoDocuments::PlacedLine* body = line(page, "的正文");
        const UnoDocuments::PlacedLine* headerLine = line(page, "眉头Head");
        const UnoDocuments::PlacedLine* footerText = line(page, "脚注Foot");
        QVERIFY(body && headerLine && footerText);
        QVERIFY2(
            qAbs(headerLine->right - (page.width - body->left)) < 3,
            qPrintable(
                QString("the header ends at %1 on a page %2 wide").arg(headerLine->right).arg(page.width)));
        QVERIFY2(qAbs(footerText->left - body->left) < 1, qPrintable(QString::number(footerText->left)));
    }
}

void TestJobsEndToEnd::writerLayoutsFontsAndFailures()
{
    UnoDocuments::PagedDocument content;
    content.pages = {"一", "二", "三"};
    content.footer = "旧页脚";
    const QString docx = path("页码", "docx");
    const QString doc = path("页码", "doc");
    const QString bad = path("字号", "docx");
    for (const QString& file : {docx, doc, bad})
        UnoDocuments::writePaged(file, content);
    const QByteArray badBefore = bytes(bad);

    // The page number alone, centred, typed before what the footer holds, where the
    // selection starts; a Latin font leaves the font of Chinese text as it is.
    CliRun run = cli({"header-footer-write", "--page-number", "--footer-font", "Liberation Serif",
                      "--footer-size", "12", "--footer-bold", docx, doc});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, (QStringList{docx + " 页码已写入", doc + " 页码已写入"}));
    QCOMPARE(run.err, QString("已完成 2 个文件！ 全部操作已完成"));
    for (const QString& file : {docx, doc}) {
        const UnoDocuments::Paragraph footer = UnoDocuments::readHeaderFooter(file).footer.value(0);
        QVERIFY2(footer.text.startsWith("第") && footer.text.endsWith("页旧页脚"), qPrintable(footer.text));
        QCOMPARE(footer.alignment, QString("center"));
        QVERIFY(!footer.runs.isEmpty());
        const UnoDocuments::TextRun& number = footer.runs.first();
        QCOMPARE(number.font, QString("Liberation Serif"));
        QVERIFY(number.asianFont != "Liberation Serif");
        QCOMPARE(number.size, 12.0);
        QVERIFY(number.bold);
        const QStringList pages = rendered(file);
        QCOMPARE(pages.size(), 3);
        for (int page = 1; page <= 3; ++page)
            QVERIFY2(pages.at(page - 1).contains(QString("第%1页旧页脚").arg(page)),
                     qPrintable(pages.at(page - 1)));
        // Centred: the line's middle in the page's middle.
        for (const UnoDocuments::RenderedPage& page : UnoDocuments::renderLines(file)) {
            const UnoDocuments::PlacedLine* shown = line(page, "页旧页脚");
            QVERIFY(shown);
            QVERIFY2(qAbs((shown->left + shown->right) / 2 - page.width / 2) < 3, qPrintable(shown->text));
        }
    }

    // The number on the left and the text on the right: the number, then the text and 52 blanks.
    run = cli({"header-footer-write", "--footer", "右边", "--delete-footer", "--footer-align", "居右",
               "--page-number", "--page-number-align", "居左", docx});
    QCOMPARE(run.code, 0);
    const UnoDocuments::Paragraph footer = UnoDocuments::readHeaderFooter(docx).footer.value(0);
    QVERIFY2(QRegularExpression("^第\\d+页右边 {52}$").match(footer.text).hasMatch(),
             qPrintable(QString("%1 (%2)").arg(footer.text).arg(footer.text.size())));
    QCOMPARE(footer.alignment, QString("justified"));

    // A size that is not a number: that file's failure line, its bytes untouched, the run goes on.
    run = cli({"header-footer-write", "--header", "眉", "--header-size", "大号", bad, doc});
    QCOMPARE(run.code, 1);
    QCOMPARE(run.out, (QStringList{bad + " 写入失败，未修改：字号“大号”不是数字",
                                   doc + " 写入失败，未修改：字号“大号”不是数字"}));
    QCOMPARE(bytes(bad), badBefore);
}

void TestJobsEndToEnd::currentPageHeaders_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("deleteFirst");
    QTest::addColumn<QStringList>("shown"); // pages 1 to 3 afterwards: header, then body
    for (const QString extension : {"docx", "doc"}) {
        // A first page of its own: Word's current page is the first, so is its header.
        QTest::addRow("first page %s", qPrintable(extension))
            << extension << "first" << false << QStringList{"新首页眉一", "主页眉二", "主页眉三"};
        // "删除页眉" empties section 1's primary header, whatever the view shows.
        QTest::addRow("first page, deleted %s", qPrintable(extension))
            << extension << "first" << true << QStringList{"新首页眉一", "二", "三"};
        // Even pages of their own: page 1 is odd, its header the primary one.
        QTest::addRow("even pages %s", qPrintable(extension))
            << extension << "even" << false << QStringList{"新主页眉一", "偶页眉二", "新主页眉三"};
        // Sections with headers of their own: the first section's only.
        QTest::addRow("sections %s", qPrintable(extension))
            << extension << "sections" << false
            << QStringList{"新页眉一一", "页眉二第2节正文", "页眉三第3节正文"};
    }
}

void TestJobsEndToEnd::currentPageHeaders()
{
    QFETCH(QString, extension);
    QFETCH(QString, kind);
    QFETCH(bool, deleteFirst);
    QFETCH(QStringList, shown);
    const QString file = path(QString("当前页%1%2").arg(kind).arg(deleteFirst), extension);
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
    QStringList arguments{"header-footer-write", "--header", "新", file};
    if (deleteFirst)
        arguments << "--delete-header";
    const CliRun run = cli(arguments);
    QCOMPARE(run.code, 0);
    const QStringList pages = rendered(file);
    QCOMPARE(pages.size(), 3);
    for (int page = 0; page < 3; ++page)
        QVERIFY2(pages.at(page).startsWith(shown.at(page)),
                 qPrintable(QString("page %1: %2").arg(page + 1).arg(pages.at(page))));
}

void TestJobsEndToEnd::cellWriteEveryWorksheetOfMadeAndRealWorkbooks()
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

    const CliRun run =
        cli(QStringList{"cell-write", "--row", "3", "--column", "2.5", "--text", "写入 x"} + paths);
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
}

void TestJobsEndToEnd::cellWriteBadCellsLeaveTheBytes()
{
    const QString xlsx = m_dir.filePath("大.xlsx");
    const QString xls = m_dir.filePath("小.xls");
    const QString locked = m_dir.filePath("保护.xlsx");
    UnoDocuments::writeWorkbook(xlsx, {{"S1", {{1, 1, "a"}}}, {"S2", {}}});
    UnoDocuments::writeWorkbook(xls, {{"S1", {{1, 1, "b"}}}, {"S2", {}}});
    UnoDocuments::writeWorkbook(locked, {{"开放", {{1, 1, "c"}}}, {"保护", {{1, 1, "d"}}, true}});
    QMap<QString, QByteArray> before;
    for (const QString& path : {xlsx, xls, locked})
        before[path] = bytes(path);

    // Row 70,000 is a cell of an .xlsx, not of an .xls (the engine gives its size); a protected
    // sheet is never written.
    const CliRun run =
        cli({"cell-write", "--row", "70000", "--column", "2", "--text", "v", xlsx, xls, locked});
    QCOMPARE(run.code, 1);
    QCOMPARE(run.out,
             (QStringList{
                 xlsx + "-S1已替换内容", xlsx + "-S2已替换内容",
                 xls + " 写入失败，未修改：单元格第 70000 行第 2 列不存在（工作表“S1”有 65536 行、256 列）",
                 locked + " 写入失败，未修改：工作表“保护”受保护，无法写入"}));
    QCOMPARE(run.err, QString("已完成 3 个文件！ 全部操作已完成"));
    QCOMPARE(sheetsAndCell(xlsx, 70000, 2).at(1).second, QString("v"));
    QCOMPARE(bytes(xls), before[xls]);
    QCOMPARE(bytes(locked), before[locked]);
}

QTEST_GUILESS_MAIN(TestJobsEndToEnd)
#include "tst_jobs_end_to_end.moc"
