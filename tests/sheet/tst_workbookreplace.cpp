#include "sheet/WorkbookReplace.h"
#include "support/FakeOffice.h"
#include "support/MemoryJobHost.h"

#include <QTest>

using namespace WorkbookReplace;

namespace {

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

} // namespace

class TestWorkbookReplace : public QObject
{
    Q_OBJECT
private slots:
    void twoWorkbooksSheetBySheet();
    void oneNoneAndFailures();
    void wpsSheets();
};

void TestWorkbookReplace::twoWorkbooksSheetBySheet()
{
    FakeOffice office;
    office.workbooks["/x/a.xlsx"] = workbook({{"一月", "无"}, {"二月", "有旧数据"}, {"三月", "无"}});
    office.workbooks["/x/b.xls"] = workbook({{"Sheet1", "无"}});
    MemoryJobHost host;
    host.tick({"/x/a.xlsx", "/x/b.xls"}, {0, 1});
    const Result result = ExcelReplace(host, office, "旧", "新");
    QCOMPARE(result.total, 2);
    QCOMPARE(host.log, (QStringList{"/x/a.xlsx-一月没找到替换的内容", "/x/a.xlsx-二月已替换内容",
                                    "/x/a.xlsx-三月没找到替换的内容", "/x/b.xls-Sheet1没找到替换的内容"}));
    QCOMPARE(host.journalLines, host.log);
    QCOMPARE(host.max, 2);
    QCOMPARE(host.value, 2);
    QCOMPARE(host.label, QString("已完成 2 个文件！ 全部操作已完成"));
    QCOMPARE(office.workbooks["/x/a.xlsx"].sheets.at(1).cells.value({1, 1}), QString("有新数据"));
    // Saved and closed one at a time, each sheet activated first, the instance kept hidden.
    QCOMPARE(office.calls,
             (QStringList{"create excel.application", "open /x/a.xlsx", "visible 0", "activate 1",
                          "activate 2", "activate 3", "close /x/a.xlsx 1", "open /x/b.xls", "visible 0",
                          "activate 1", "close /x/b.xls 1", "quit"}));
    QCOMPARE(office.workbooks["/x/b.xls"].saves, 1);
}

void TestWorkbookReplace::oneNoneAndFailures()
{
    FakeOffice office;
    office.workbooks["/x/a.xlsx"] = workbook({{"S", "旧"}});
    office.workbooks["/x/locked.xlsx"] = workbook({{"S", "旧"}});
    office.workbooks["/x/locked.xlsx"].failOpen = true;
    office.workbooks["/x/ro.xls"] = workbook({{"S", "旧"}});
    office.workbooks["/x/ro.xls"].failSave = true;

    MemoryJobHost one;
    one.tick({"/x/a.xlsx"}, {0});
    one.label = "前";
    ExcelReplace(one, office, "旧", "新");
    QCOMPARE(one.value, 1);
    QCOMPARE(one.label, QString("全部操作已完成")); // not after what was there
    QCOMPARE(one.yields, 0);

    MemoryJobHost none;
    office.calls.clear();
    ExcelReplace(none, office, "旧", "新");
    QCOMPARE(none.value, 0);
    QVERIFY(none.journalLines.isEmpty());
    QVERIFY(!office.calls.contains("quit"));

    MemoryJobHost failing;
    failing.tick({"/x/locked.xlsx", "/x/ro.xls", "/x/a.xlsx"}, {0, 1, 2});
    const Result result = ExcelReplace(failing, office, "新", "新新");
    QCOMPARE(result.failures, 2);
    QVERIFY(failing.log.at(0).startsWith("/x/locked.xlsx 打开失败，未修改："));
    QCOMPARE(failing.log.at(1), QString("/x/ro.xls-S没找到替换的内容"));
    QVERIFY(failing.log.at(2).startsWith("/x/ro.xls 保存失败，未修改："));
    QCOMPARE(failing.log.at(3), QString("/x/a.xlsx-S已替换内容"));
    QCOMPARE(office.workbooks["/x/ro.xls"].sheets.at(0).cells.value({1, 1}), QString("旧"));
    QCOMPARE(failing.label, QString("已完成 3 个文件！ 全部操作已完成"));
}

void TestWorkbookReplace::wpsSheets()
{
    FakeOffice office;
    office.workbooks["/x/a.xls"] = workbook({{"S", "旧"}});
    office.registered = {"et.application"};
    MemoryJobHost host;
    host.tick({"/x/a.xls"}, {0});
    WpsSheetReplace(host, office, "旧", "新");
    QCOMPARE(office.calls.first(), QString("create ET.Application"));
    QCOMPARE(host.log, QStringList{"/x/a.xls-S已替换内容"});

    office.registered.clear();
    MemoryJobHost none;
    none.tick({"/x/a.xls"}, {0});
    QVERIFY(!WpsSheetReplace(none, office, "旧", "新").started);
    QVERIFY(none.log.first().startsWith("无法启动 WPS 表格"));
}

QTEST_GUILESS_MAIN(TestWorkbookReplace)
#include "tst_workbookreplace.moc"
