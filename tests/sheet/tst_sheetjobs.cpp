#include "jobs/JobTable.h"
#include "sheet/CellReplace.h"
#include "sheet/WorkbookReplace.h"
#include "support/FakeOffice.h"
#include "support/MemoryJobHost.h"

#include <QTest>

// The workbook jobs against an office program in memory.
namespace {

// Named sheets, each with one text in A1.
FakeOffice::WorkbookFile workbook(const QList<QPair<QString, QString>>& sheets)
{
    FakeOffice::WorkbookFile file;
    for (const auto& [name, text] : sheets) {
        FakeOffice::Sheet sheet;
        sheet.name = name;
        sheet.cells[{1, 1}] = text;
        file.sheets.append(sheet);
    }
    return file;
}

std::function<QString()> fixed(const QString& text)
{
    return [text] { return text; };
}

} // namespace

class TestSheetJobs : public QObject
{
    Q_OBJECT
private slots:
    void replaceSheetBySheet();
    void replaceFailuresAndWps();
    void cellInEveryWorksheet();
    void cellsThatCannotBeWrittenLeaveTheWorkbook();
};

void TestSheetJobs::replaceSheetBySheet()
{
    FakeOffice office;
    office.workbooks["/x/a.xlsx"] = workbook({{"一月", "无"}, {"二月", "有旧数据"}, {"三月", "无"}});
    office.workbooks["/x/b.xls"] = workbook({{"Sheet1", "无"}});
    MemoryJobHost host({"/x/a.xlsx", "/x/b.xls"});
    QCOMPARE(WorkbookReplace::ExcelReplace(host, office, "旧", "新").total, 2);
    QCOMPARE(host.log, (QStringList{"/x/a.xlsx-一月没找到替换的内容", "/x/a.xlsx-二月已替换内容",
                                    "/x/a.xlsx-三月没找到替换的内容", "/x/b.xls-Sheet1没找到替换的内容"}));
    QCOMPARE(host.journalLines, host.log);
    QCOMPARE(host.max, 2);
    QCOMPARE(host.label, QString("已完成 2 个文件！ 全部操作已完成"));
    QCOMPARE(office.workbooks["/x/a.xlsx"].sheets.at(1).cells.value({1, 1}), QString("有新数据"));
    // Saved and closed one at a time, each sheet activated first, the instance kept hidden.
    QCOMPARE(office.calls,
             (QStringList{"create excel.application", "open /x/a.xlsx", "visible 0", "activate 1",
                          "activate 2", "activate 3", "close /x/a.xlsx 1", "open /x/b.xls", "visible 0",
                          "activate 1", "close /x/b.xls 1", "quit"}));
    QCOMPARE(office.workbooks["/x/b.xls"].saves, 1);

    // One workbook: no yield. None: the bar at 0, no line, no Quit.
    MemoryJobHost one({"/x/b.xls"});
    WorkbookReplace::ExcelReplace(one, office, "旧", "新");
    QCOMPARE(one.value, 1);
    QCOMPARE(one.yields, 0);
    MemoryJobHost none;
    office.calls.clear();
    WorkbookReplace::ExcelReplace(none, office, "旧", "新");
    QCOMPARE(none.value, 0);
    QVERIFY(none.journalLines.isEmpty());
    QCOMPARE(office.calls, QStringList{"create excel.application"});
}

void TestSheetJobs::replaceFailuresAndWps()
{
    FakeOffice office;
    for (const QString path : {"/x/a.xlsx", "/x/locked.xlsx", "/x/ro.xls"})
        office.workbooks[path] = workbook({{"S", "旧"}});
    office.workbooks["/x/locked.xlsx"].failOpen = true;
    office.workbooks["/x/ro.xls"].failSave = true;
    MemoryJobHost failing({"/x/locked.xlsx", "/x/ro.xls", "/x/a.xlsx"});
    QCOMPARE(WorkbookReplace::ExcelReplace(failing, office, "旧", "新").failures, 2);
    QCOMPARE(failing.log, (QStringList{"/x/locked.xlsx 打开失败，未修改：文件不存在", "/x/ro.xls-S已替换内容",
                                       "/x/ro.xls 保存失败，未修改：无法保存（此文件前面的行作废）",
                                       "/x/a.xlsx-S已替换内容"}));
    QCOMPARE(office.workbooks["/x/ro.xls"].sheets.at(0).cells.value({1, 1}), QString("旧"));
    QCOMPARE(failing.label, QString("已完成 3 个文件！ 全部操作已完成"));

    // WPS: ET; and a line when it cannot be started.
    office.registered = {"et.application"};
    MemoryJobHost host({"/x/a.xlsx"});
    WorkbookReplace::WpsSheetReplace(host, office, "新", "旧");
    QCOMPARE(office.calls.at(office.calls.lastIndexOf("create ET.Application") + 1),
             QString("open /x/a.xlsx"));
    QCOMPARE(host.log, QStringList{"/x/a.xlsx-S已替换内容"});
    office.registered.clear();
    MemoryJobHost none({"/x/a.xlsx"});
    QVERIFY(!WorkbookReplace::WpsSheetReplace(none, office, "旧", "新").started);
    QCOMPARE(none.log.size(), 1);
    QVERIFY(none.log.first().startsWith("无法启动 WPS 表格"));
}

void TestSheetJobs::cellInEveryWorksheet()
{
    FakeOffice office;
    office.workbooks["/x/a.xlsx"] = workbook({{"一月", "原有"}, {"二月", "原有"}});
    office.workbooks["/x/b.xls"] = workbook({{"Sheet1", "原有"}});
    MemoryJobHost host;
    host.tick({"/x/a.xlsx", "/x/skip.xls", "/x/b.xls"}, {0, 2});
    host.log << "旧行";
    // The content box is read for every worksheet: an edit during the yield
    // after the first workbook reaches the next.
    QString content = "x";
    host.onYield = [&] { content = "y"; };
    const CellReplace::Result result =
        CellReplace::ExcelCellReplace(host, office, "3", "2", [&] { return content; });
    QCOMPARE(result.total, 2);
    QCOMPARE(result.failures, 0);
    QCOMPARE(host.log, (QStringList{"/x/a.xlsx-一月已替换内容", "/x/a.xlsx-二月已替换内容",
                                    "/x/b.xls-Sheet1已替换内容"}));
    QCOMPARE(host.journalLines, host.log);
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
    MemoryJobHost again({"/x/b.xls"});
    CellReplace::ExcelCellReplace(again, office, "3.5", "4abc", fixed(""));
    QVERIFY(office.workbooks["/x/b.xls"].sheets.at(0).cells.contains({4, 4}));
    QCOMPARE(office.workbooks["/x/b.xls"].sheets.at(0).cells.value({4, 4}), QString(""));

    // The button drives Excel whatever program is registered besides; the content box's
    // hint text is written like any text.
    office.registered = {"excel.application", "et.application"};
    const ReadInputs read = [] { return std::any(CellReplace::Inputs{"2", "3", "输入替换内容"}); };
    JobContext context{again, read, office, office};
    const JobRow* row = JobTable::forButton("Command8");
    QCOMPARE(row->command, QString("cell-write"));
    office.calls.clear();
    JobTable::run(*row, context);
    QCOMPARE(office.calls.first(), QString("create excel.application"));
    QCOMPARE(office.workbooks["/x/b.xls"].sheets.at(0).cells.value({2, 3}), QString("输入替换内容"));
}

// A cell that some worksheet of a workbook cannot take fails the whole workbook
// before any sheet is written: one line, nothing saved, and the run goes on.
void TestSheetJobs::cellsThatCannotBeWrittenLeaveTheWorkbook()
{
    FakeOffice office;
    office.workbooks["/x/small.xls"] = workbook({{"A", "原有"}, {"B", "原有"}});
    office.workbooks["/x/small.xls"].sheets[1].rows = 65536;
    office.workbooks["/x/small.xls"].sheets[1].columns = 256;
    office.workbooks["/x/locked.xlsx"] = workbook({{"开放", "原有"}, {"保护", "原有"}});
    office.workbooks["/x/locked.xlsx"].sheets[1].protectedContents = true;
    office.workbooks["/x/good.xlsx"] = workbook({{"S", "原有"}});
    const auto untouched = [&](const QString& path) {
        const FakeOffice::WorkbookFile& file = office.workbooks[path];
        return file.saves == 0 && std::all_of(file.sheets.begin(), file.sheets.end(),
                                              [](const auto& sheet) { return sheet.cells.size() == 1; });
    };

    // Past the last row of the .xls sheet; the protected sheet; the good one written.
    MemoryJobHost past({"/x/small.xls", "/x/locked.xlsx", "/x/good.xlsx"});
    QCOMPARE(CellReplace::ExcelCellReplace(past, office, "70000", "2", fixed("v")).failures, 2);
    QCOMPARE(
        past.log,
        (QStringList{
            "/x/small.xls 写入失败，未修改：单元格第 70000 行第 2 列不存在（工作表“B”有 65536 行、256 列）",
            "/x/locked.xlsx 写入失败，未修改：工作表“保护”受保护，无法写入",
            "/x/good.xlsx-S已替换内容",
        }));
    QCOMPARE(past.journalLines, past.log);
    QVERIFY(untouched("/x/small.xls"));
    QVERIFY(untouched("/x/locked.xlsx"));
    QVERIFY(office.calls.contains("close /x/small.xls 0"));
    QCOMPARE(office.workbooks["/x/good.xlsx"].sheets.at(0).cells.value({70000, 2}), QString("v"));

    // A row or column that names no cell at all: no workbook is opened.
    for (const auto& [rowText, columnText, shown] :
         QList<std::tuple<QString, QString, QString>>{{"", "2", "第 0 行第 2 列"},
                                                      {"-1", "abc", "第 -1 行第 0 列"},
                                                      {"3", "99999999999", "第 3 行第 99999999999 列"},
                                                      {"3", "300", "第 3 行第 300 列"}}) {
        office.calls.clear();
        MemoryJobHost bad({"/x/small.xls"});
        CellReplace::ExcelCellReplace(bad, office, rowText, columnText, fixed("v"));
        QCOMPARE(bad.log.size(), 1);
        QVERIFY2(bad.log.first().startsWith("/x/small.xls 写入失败，未修改：单元格" + shown + "不存在"),
                 qPrintable(bad.log.first()));
        QVERIFY(untouched("/x/small.xls"));
        QCOMPARE(office.calls.contains("open /x/small.xls"), columnText == "300");
    }
}

QTEST_GUILESS_MAIN(TestSheetJobs)
#include "tst_sheetjobs.moc"
