#include "sheet/CellReplace.h"
#include "sheet/WorkbookReplace.h"
#include "support/FakeOffice.h"
#include "support/MemoryJobHost.h"
#include "support/MemoryJobInputs.h"

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

// The texts of a workbook's cells, sheet by sheet.
QString texts(const FakeOffice::WorkbookFile& file)
{
    QStringList sheets;
    for (const FakeOffice::Sheet& sheet : file.sheets)
        sheets << sheet.cells.values().join(' ');
    return sheets.join('|');
}

} // namespace

class TestSheetJobs : public QObject
{
    Q_OBJECT
private slots:
    void runPattern_data();
    void runPattern();
    void cellContentRowsAndColumns();
};

// Each job over a run with a missing workbook and one that cannot be saved, then over one
// ticked workbook and over none.
void TestSheetJobs::runPattern_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<std::any>("inputs");
    QTest::addColumn<QString>("created");
    QTest::addColumn<QString>("cannotStart");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("texts"); // of /x/a.xlsx afterwards
    using WorkbookReplace::Engine;
    const QString missing = "/x/locked.xlsx 打开失败，未修改：文件不存在";
    const QString unsaved = "/x/ro.xls 保存失败，未修改：无法保存（此文件前面的行作废）";
    const QStringList replaced{"/x/a.xlsx-一月没找到替换的内容", "/x/a.xlsx-二月已替换内容",
                               "/x/a.xlsx-三月没找到替换的内容", missing,
                               "/x/ro.xls-S已替换内容",          unsaved,
                               "/x/b.xls-Sheet1没找到替换的内容"};
    QTest::newRow("replace") << "sheet-replace"
                             << std::any(WorkbookReplace::Inputs{Engine::Excel, "旧", "新"})
                             << "excel.application"
                             << "无法启动电子表格程序（excel.application）：" << replaced << "无|有新数据|无";
    QTest::newRow("wps") << "sheet-replace" << std::any(WorkbookReplace::Inputs{Engine::Wps, "旧", "新"})
                         << "ET.Application"
                         << "无法启动 WPS 表格（ET.Application、KET.Application）：" << replaced
                         << "无|有新数据|无";
    // The button drives Excel whatever program is registered besides; the content box's
    // hint text is written like any text.
    const QString hint = "输入替换内容";
    QTest::newRow("cell") << "cell-write" << std::any(CellReplace::Inputs{"3", "2", hint})
                          << "excel.application"
                          << "无法启动电子表格程序（excel.application）："
                          << QStringList{"/x/a.xlsx-一月已替换内容", "/x/a.xlsx-二月已替换内容",
                                         "/x/a.xlsx-三月已替换内容", missing,
                                         "/x/ro.xls-S已替换内容",    unsaved,
                                         "/x/b.xls-Sheet1已替换内容"}
                          << "无 " + hint + "|有旧数据 " + hint + "|无 " + hint;
}

void TestSheetJobs::runPattern()
{
    QFETCH(QString, command);
    QFETCH(std::any, inputs);
    QFETCH(QString, created);
    FakeOffice office;
    office.registered << "et.application";
    office.workbooks["/x/a.xlsx"] = workbook({{"一月", "无"}, {"二月", "有旧数据"}, {"三月", "无"}});
    office.workbooks["/x/skip.xls"] = office.workbooks["/x/ro.xls"] = workbook({{"S", "旧"}});
    office.workbooks["/x/ro.xls"].failSave = true; // and /x/locked.xlsx is missing
    office.workbooks["/x/b.xls"] = workbook({{"Sheet1", "无"}});
    const QStringList paths{"/x/a.xlsx", "/x/skip.xls", "/x/locked.xlsx", "/x/ro.xls", "/x/b.xls"};
    MemoryJobHost host(paths, {0, 2, 3, 4});
    host.log << "旧行";
    const Batch::Result result = runCommand(command, host, office, inputs);
    QCOMPARE(result.total, 4);
    QCOMPARE(result.failures, 2);
    QTEST(host.log, "log");
    QCOMPARE(host.journalLines, host.log);
    QTEST(texts(office.workbooks["/x/a.xlsx"]), "texts");
    QCOMPARE(texts(office.workbooks["/x/ro.xls"]), QString("旧"));
    QCOMPARE(host.maxima, (QList<int>{1, 2, 3, 4}));
    QCOMPARE(host.label, QString("已完成 4 个文件！ 全部操作已完成"));
    QCOMPARE(host.beeps, 1);
    // Saved and closed one at a time, each sheet activated first, the instance kept hidden;
    // one that could not be saved closed without saving.
    QCOMPARE(office.calls,
             (QStringList{"create " + created, "open /x/a.xlsx", "visible 0", "activate 1", "activate 2",
                          "activate 3", "close /x/a.xlsx 1", "open /x/locked.xlsx", "open /x/ro.xls",
                          "visible 0", "activate 1", "close /x/ro.xls 1", "close /x/ro.xls 0",
                          "open /x/b.xls", "visible 0", "activate 1", "close /x/b.xls 1", "quit"}));

    // One workbook: no yield. None: the bar at 0, no line, no Quit.
    MemoryJobHost one({"/x/b.xls"});
    runCommand(command, one, office, inputs);
    QCOMPARE(one.value, 1);
    QCOMPARE(one.yields, 0);
    MemoryJobHost none;
    office.calls.clear();
    runCommand(command, none, office, inputs);
    QCOMPARE(none.value, 0);
    QVERIFY(none.journalLines.isEmpty());
    QCOMPARE(office.calls, QStringList{"create " + created});

    // Nothing that can be created: one line, and the job ends.
    office.registered.clear();
    QVERIFY(!runCommand(command, one, office, inputs).started);
    QCOMPARE(one.log.size(), 1);
    QFETCH(QString, cannotStart);
    QVERIFY2(one.log.first().startsWith(cannotStart), qPrintable(one.log.first()));
}

// The content box is read for every worksheet: an edit during the yield after the first
// workbook reaches the next. Row and column are read as numbers.
void TestSheetJobs::cellContentRowsAndColumns()
{
    FakeOffice office;
    office.workbooks["/x/a.xlsx"] = workbook({{"一月", "原有"}, {"二月", "原有"}});
    office.workbooks["/x/b.xls"] = workbook({{"Sheet1", "原有"}});
    MemoryJobHost host({"/x/a.xlsx", "/x/b.xls"});
    QString content = "x";
    host.onYield = [&] { content = "y"; };
    CellReplace::ExcelCellReplace(host, office, "3", "2", [&] { return content; });
    QCOMPARE(texts(office.workbooks["/x/a.xlsx"]), QString("原有 x|原有 x"));
    QCOMPARE(texts(office.workbooks["/x/b.xls"]), QString("原有 y"));

    // 3.5 is 4, 4abc is 4; an empty content empties the cell.
    MemoryJobHost again({"/x/b.xls"});
    CellReplace::ExcelCellReplace(again, office, "3.5", "4abc", [] { return QString(); });
    QVERIFY(office.workbooks["/x/b.xls"].sheets.at(0).cells.contains({4, 4}));
    QCOMPARE(office.workbooks["/x/b.xls"].sheets.at(0).cells.value({4, 4}), QString(""));

    // A cell that some worksheet of a workbook cannot take fails the whole workbook
    // before any sheet is written: one line, nothing saved, and the run goes on.
    office.workbooks["/x/small.xls"] = workbook({{"A", "原有"}, {"B", "原有"}});
    office.workbooks["/x/small.xls"].sheets[1].rows = 65536;
    office.workbooks["/x/small.xls"].sheets[1].columns = 256;
    office.workbooks["/x/locked.xlsx"] = workbook({{"开放", "原有"}, {"保护", "原有"}});
    office.workbooks["/x/locked.xlsx"].sheets[1].protectedContents = true;
    office.workbooks["/x/good.xlsx"] = workbook({{"S", "原有"}});
    const auto untouched = [&](const QString& path) {
        return office.workbooks[path].saves == 0 && texts(office.workbooks[path]) == "原有|原有";
    };

    // Past the last row of the .xls sheet; the protected sheet; the good one written.
    MemoryJobHost past({"/x/small.xls", "/x/locked.xlsx", "/x/good.xlsx"});
    QCOMPARE(CellReplace::ExcelCellReplace(past, office, "70000", "2", [] { return QString("v"); }).failures,
             2);
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
        CellReplace::ExcelCellReplace(bad, office, rowText, columnText, [] { return QString("v"); });
        QCOMPARE(bad.log.size(), 1);
        QVERIFY2(bad.log.first().startsWith("/x/small.xls 写入失败，未修改：单元格" + shown + "不存在"),
                 qPrintable(bad.log.first()));
        QVERIFY(untouched("/x/small.xls"));
        QCOMPARE(office.calls.contains("open /x/small.xls"), columnText == "300");
    }
}

QTEST_GUILESS_MAIN(TestSheetJobs)
#include "tst_sheetjobs.moc"
