#include "office/OfficeRegistry.h"
#include "support/CliRun.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// yanhe-cli cell-write on workbooks it has never seen, made here or copied from
// real-world files, through the real LibreOffice; read back and rendered.
namespace {

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

class TestCellWriteEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void cleanupTestCase()
    {
        reader()->quit();
        UnoDocuments::shutdown();
    }
    void everyWorksheetOfMadeAndRealWorkbooks();
    void badCellsLeaveTheBytes();

private:
    CliRun cli(const QStringList& arguments) { return CliRun::of(arguments, m_app.path()); }

    QTemporaryDir m_dir;
    QTemporaryDir m_app;
};

void TestCellWriteEndToEnd::everyWorksheetOfMadeAndRealWorkbooks()
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

void TestCellWriteEndToEnd::badCellsLeaveTheBytes()
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
    const auto write = [&](const QString& row, const QString& column, const QStringList& files) {
        return cli(QStringList{"cell-write", "--row", row, "--column", column, "--text", "v"} + files);
    };

    // No cell at all: every workbook fails, none is touched.
    CliRun run = write("0", "2", {xlsx, xls, locked});
    QCOMPARE(run.code, 1);
    QCOMPARE(run.out, (QStringList{xlsx + " 写入失败，未修改：单元格第 0 行第 2 列不存在",
                                   xls + " 写入失败，未修改：单元格第 0 行第 2 列不存在",
                                   locked + " 写入失败，未修改：单元格第 0 行第 2 列不存在"}));
    QCOMPARE(bytes(xlsx), before[xlsx]);

    // Row 70,000 is a cell of an .xlsx, not of an .xls; a protected sheet is never written.
    run = write("70000", "2", {xlsx, xls, locked});
    QCOMPARE(run.code, 1);
    QCOMPARE(run.out,
             (QStringList{
                 xlsx + "-S1已替换内容", xlsx + "-S2已替换内容",
                 xls + " 写入失败，未修改：单元格第 70000 行第 2 列不存在（工作表“S1”有 65536 行、256 列）",
                 locked + " 写入失败，未修改：工作表“保护”受保护，无法写入"}));
    QCOMPARE(run.err, QString("已完成 3 个文件！ 全部操作已完成"));
    QCOMPARE(sheetsAndCell(xlsx, 70000, 2).at(1).second, QString("v"));

    // A column past 256 in an .xls.
    run = write("1", "257", {xls});
    QCOMPARE(run.code, 1);
    QVERIFY2(run.out.value(0).startsWith(xls + " 写入失败，未修改：单元格第 1 行第 257 列不存在"),
             qPrintable(run.out.join('\n')));
    QCOMPARE(bytes(xls), before[xls]);
    QCOMPARE(bytes(locked), before[locked]);
}

QTEST_GUILESS_MAIN(TestCellWriteEndToEnd)
#include "tst_cellwrite_end_to_end.moc"
