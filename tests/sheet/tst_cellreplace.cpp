#include "jobs/JobTable.h"
#include "sheet/CellReplace.h"
#include "support/FakeOffice.h"
#include "support/MemoryJobHost.h"
#include "support/MemoryJobInputs.h"

#include <QTest>

using namespace CellReplace;

namespace {

FakeOffice::WorkbookFile workbook(const QStringList& sheetNames)
{
    FakeOffice::WorkbookFile file;
    for (const QString& name : sheetNames) {
        FakeOffice::Sheet sheet;
        sheet.name = name;
        sheet.cells[{1, 1}] = "原有";
        file.sheets.append(sheet);
    }
    return file;
}

std::function<QString()> fixed(const QString& text)
{
    return [text] { return text; };
}

} // namespace

class TestCellReplace : public QObject
{
    Q_OBJECT
private slots:
    void everyWorksheetOfEveryWorkbook();
    void theButtonIgnoresTheEngineOption();
    void cellsThatCannotBeWrittenLeaveTheWorkbook();
};

void TestCellReplace::everyWorksheetOfEveryWorkbook()
{
    FakeOffice office;
    office.workbooks["/x/a.xlsx"] = workbook({"一月", "二月"});
    office.workbooks["/x/b.xls"] = workbook({"Sheet1"});
    MemoryJobHost host;
    host.tick({"/x/a.xlsx", "/x/skip.xls", "/x/b.xls"}, {0, 2});
    host.log << "旧行";
    // The content box is read for every worksheet: an edit during the yield
    // after the first workbook reaches the next.
    QString content = "x";
    host.onYield = [&] { content = "y"; };

    const Result result = ExcelCellReplace(host, office, "3", "2", [&] { return content; });

    QCOMPARE(result.total, 2);
    QCOMPARE(result.failures, 0);
    QCOMPARE(host.log, (QStringList{"/x/a.xlsx-一月已替换内容", "/x/a.xlsx-二月已替换内容",
                                    "/x/b.xls-Sheet1已替换内容"}));
    QCOMPARE(host.journalLines, host.log);
    QCOMPARE(host.maxima, (QList<int>{1, 2}));
    QCOMPARE(host.value, 2);
    QVERIFY(host.visible);
    QCOMPARE(host.label, QString("已完成 2 个文件！ 全部操作已完成"));
    QCOMPARE(host.beeps, 1);
    for (const FakeOffice::Sheet& sheet : office.workbooks["/x/a.xlsx"].sheets) {
        QCOMPARE(sheet.cells.value({3, 2}), QString("x"));
        QCOMPARE(sheet.cells.value({1, 1}), QString("原有"));
    }
    QCOMPARE(office.workbooks["/x/b.xls"].sheets.at(0).cells.value({3, 2}), QString("y"));
    QCOMPARE(office.calls, (QStringList{"create excel.application", "open /x/a.xlsx", "visible 0",
                                        "activate 1", "activate 2", "close /x/a.xlsx 1", "open /x/b.xls",
                                        "visible 0", "activate 1", "close /x/b.xls 1", "quit"}));

    // Row and column read as numbers: 3.5 is 4, 4abc is 4; an empty content empties the cell.
    MemoryJobHost again;
    again.tick({"/x/b.xls"}, {0});
    ExcelCellReplace(again, office, "3.5", "4abc", fixed(""));
    QVERIFY(office.workbooks["/x/b.xls"].sheets.at(0).cells.contains({4, 4}));
    QCOMPARE(office.workbooks["/x/b.xls"].sheets.at(0).cells.value({4, 4}), QString(""));
}

void TestCellReplace::theButtonIgnoresTheEngineOption()
{
    FakeOffice office;
    office.workbooks["/x/a.xlsx"] = workbook({"S"});
    // Excel whatever program is registered besides; the content box's hint text
    // is written like any text.
    office.registered = {"excel.application", "et.application"};
    MemoryJobHost host;
    host.tick({"/x/a.xlsx"}, {0});
    MemoryJobInputs<Inputs> inputs;
    inputs.value = {"2", "3", "输入替换内容"};
    const ReadInputs read = inputs.reader();
    JobContext context{host, read, office, office};
    const JobRow* row = JobTable::forButton("Command8");
    QVERIFY(row);
    QCOMPARE(row->command, QString("cell-write"));
    JobTable::run(*row, context);
    QCOMPARE(office.calls.first(), QString("create excel.application"));
    QCOMPARE(office.workbooks["/x/a.xlsx"].sheets.at(0).cells.value({2, 3}), QString("输入替换内容"));
}

// A cell that some worksheet of a workbook cannot take fails the whole workbook
// before any sheet is written: one line, nothing saved, and the run goes on.
void TestCellReplace::cellsThatCannotBeWrittenLeaveTheWorkbook()
{
    FakeOffice office;
    office.workbooks["/x/small.xls"] = workbook({"A", "B"});
    office.workbooks["/x/small.xls"].sheets[1].rows = 65536;
    office.workbooks["/x/small.xls"].sheets[1].columns = 256;
    office.workbooks["/x/locked.xlsx"] = workbook({"开放", "保护"});
    office.workbooks["/x/locked.xlsx"].sheets[1].protectedContents = true;
    office.workbooks["/x/good.xlsx"] = workbook({"S"});
    const QStringList paths{"/x/small.xls", "/x/locked.xlsx", "/x/good.xlsx"};
    const auto untouched = [&](const QString& path) {
        const FakeOffice::WorkbookFile& file = office.workbooks[path];
        if (file.saves != 0)
            return false;
        for (const FakeOffice::Sheet& sheet : file.sheets) {
            if (sheet.cells.size() != 1)
                return false;
        }
        return true;
    };

    // Past the last row of the .xls sheet; the protected sheet; the good one written.
    MemoryJobHost past;
    past.tick(paths, {0, 1, 2});
    const Result result = ExcelCellReplace(past, office, "70000", "2", fixed("v"));
    QCOMPARE(
        past.log,
        (QStringList{
            "/x/small.xls 写入失败，未修改：单元格第 70000 行第 2 列不存在（工作表“B”有 65536 行、256 列）",
            "/x/locked.xlsx 写入失败，未修改：工作表“保护”受保护，无法写入",
            "/x/good.xlsx-S已替换内容",
        }));
    QCOMPARE(past.journalLines, past.log);
    QCOMPARE(result.failures, 2);
    QVERIFY(untouched("/x/small.xls"));
    QVERIFY(untouched("/x/locked.xlsx"));
    QVERIFY(office.calls.contains("close /x/small.xls 0"));
    QCOMPARE(office.workbooks["/x/good.xlsx"].sheets.at(0).cells.value({70000, 2}), QString("v"));
    QCOMPARE(past.label, QString("已完成 3 个文件！ 全部操作已完成"));

    // A row or column that names no cell at all: no workbook is opened.
    for (const auto& [rowText, columnText, shown] :
         QList<std::tuple<QString, QString, QString>>{{"", "2", "第 0 行第 2 列"},
                                                      {"-1", "abc", "第 -1 行第 0 列"},
                                                      {"3", "99999999999", "第 3 行第 99999999999 列"},
                                                      {"3", "300", "第 3 行第 300 列"}}) {
        office.calls.clear();
        MemoryJobHost bad;
        bad.tick({"/x/small.xls"}, {0});
        ExcelCellReplace(bad, office, rowText, columnText, fixed("v"));
        QCOMPARE(bad.log.size(), 1);
        QVERIFY2(bad.log.first().startsWith("/x/small.xls 写入失败，未修改：单元格" + shown + "不存在"),
                 qPrintable(bad.log.first()));
        QVERIFY(untouched("/x/small.xls"));
        QCOMPARE(office.calls.contains("open /x/small.xls"), columnText == "300");
    }
}

QTEST_GUILESS_MAIN(TestCellReplace)
#include "tst_cellreplace.moc"
