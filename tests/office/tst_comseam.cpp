#include "app/FileKeeper.h"
#include "app/RuntimeError.h"
#include "office/OfficeRegistry.h"
#include "office/com/ComEngines.h"
#include "support/MemoryJobHost.h"
#include "support/RecordingDispatch.h"
#include "word/SingleTextReplace.h"

#include <QScopeGuard>
#include <QTest>

namespace {

// The Word job's factory over the recording runtime, with a short time-out.
class RecordingFactory final : public word::Factory
{
public:
    RecordingFactory(RecordingRuntime& runtime, int timeoutMs)
        : m_runtime(runtime)
        , m_timeoutMs(timeoutMs)
    {}
    word::ApplicationPtr createWordProcessor(const QString& progId) override
    {
        return comseam::wordProcessor(m_runtime, progId, m_timeoutMs);
    }

private:
    RecordingRuntime& m_runtime;
    int m_timeoutMs;
};

// What the run's keeper was told, beside the calls made by then.
class RecordingKeeper final : public FileKeeper
{
public:
    explicit RecordingKeeper(const RecordingDispatch& com)
        : m_com(com)
    {}
    void keep(const QString& target, const QString& result) override
    {
        told << QString("keep %1 %2 after %3").arg(target, result, m_com.calls.value(m_com.calls.size() - 1));
        if (refuse)
            throw RuntimeError(RuntimeError::PathFileAccess, "无法写入备份");
    }
    void renamed(const QString&, const QString&) override {}
    QStringList told;
    bool refuse = false;

private:
    const RecordingDispatch& m_com;
};

} // namespace

class TestComSeam : public QObject
{
    Q_OBJECT
private slots:
    void wordMemberPathsAndArguments();
    void writerSelectionPaths();
    void excelMemberPathsAndArguments();
    void excelSheetSizeAndProtection();
    void runningInstanceAndProcesses();
    void wpsCannotBeCreatedHere();
    void hungCallEndsOnlyTheJobsOfficeAndTheRunGoesOn();
    void busyOfficeGetsMoreTimeThenEnds();
    void savesInPlaceAreKeptFirst();
};

void TestComSeam::wordMemberPathsAndArguments()
{
    RecordingDispatch com;
    RecordingRuntime runtime(com);
    const QString doc = "Word.Application.Documents.Open(\"C:\\a.doc\")";
    com.answers[doc + ".Content.Find.Execute(\"旧\")"] = true;
    com.answers[doc + ".Content.Find.Execute(\"无\")"] = QVariant(); // null: not found
    // Text boxes are the text frame stories: the first of them among the
    // document's stories, then each next one until there is none.
    com.counts[doc + ".StoryRanges"] = 2;
    com.answers[doc + ".StoryRanges[1].StoryType"] = 1;
    com.answers[doc + ".StoryRanges[2].StoryType"] = 5;
    com.answers[doc + ".StoryRanges[2].NextStoryRange.NextStoryRange"] = QVariant();
    com.counts[doc + ".Sections"] = 3;

    word::ApplicationPtr word = comseam::wordProcessor(runtime, "Word.Application");
    word::DocumentPtr document = word->documentsOpen("C:\\a.doc");
    word::RangePtr content = document->content();
    QVERIFY(content->findExecute("旧"));
    QVERIFY(!content->findExecute("无"));
    content->replaceAll("旧", "新");
    const QList<word::ShapePtr> boxes = document->shapes();
    QCOMPARE(boxes.size(), 2);
    boxes.at(1)->textFrameTextRange()->replaceAll("旧", "新");
    const QList<word::SectionPtr> sections = document->sections();
    QCOMPARE(sections.size(), 3);
    sections.at(2)->headers(1)->range()->replaceAll("旧", "新");
    sections.at(0)->footers(1)->shapes();
    document->save();
    word->quit();

    const QString replace = "(findtext:=\"旧\", replacewith:=\"新\", Replace:=2 As Integer)";
    QCOMPARE(com.calls, (QStringList{
                            "Word.Application.Documents.Open(\"C:\\a.doc\")",
                            doc + ".Content.Find.Execute(\"旧\")",
                            doc + ".Content.Find.Execute(\"无\")",
                            doc + ".Content.Find.Execute" + replace,
                            doc + ".StoryRanges[2].NextStoryRange.Find.Execute" + replace,
                            doc + ".Sections[3].Headers(1 As Integer).Range.Find.Execute" + replace,
                            doc + ".Save()",
                            "Word.Application.Quit(SaveChanges:=0 As Integer)",
                        }));
    // Nothing was ended: the calls all returned.
    QVERIFY(runtime.endedProcesses().isEmpty());
}

void TestComSeam::writerSelectionPaths()
{
    RecordingDispatch com;
    RecordingRuntime runtime(com);
    com.counts["Word.Application.Selection.Sections"] = 1;
    word::ApplicationPtr word = comseam::wordProcessor(runtime, "Word.Application");
    word->documentsOpen("C:\\b.docx")->close();
    word->setVisible(false);
    word->setDisplayAlerts(-1);
    word->setSeekView(word::kSeekCurrentPageFooter);
    word::SelectionPtr selection = word->selection();
    selection->sections().at(0)->footers(1)->range()->Delete();
    selection->setFontName("宋体");
    selection->setFontSize("10");
    selection->setFontBold(true);
    selection->typeText("第");
    selection->fieldsAdd(word::kFieldPage);
    selection->typeText("页");
    selection->setParagraphAlignment(word::kAlignJustify);
    selection->findReplaceAll("原文本", "新文本");
    word->setSeekView(word::kSeekMainDocument);

    const QString s = "Word.Application.Selection";
    QCOMPARE(com.calls,
             (QStringList{
                 "Word.Application.Documents.Open(\"C:\\b.docx\")",
                 "Word.Application.Documents.Open(\"C:\\b.docx\").Close(SaveChanges:=0 As Integer)",
                 "Word.Application.Visible = False",
                 "Word.Application.DisplayAlerts = True",
                 "Word.Application.ActiveWindow.ActivePane.View.SeekView = 10 As Integer",
                 s + ".Sections[1].Footers(1 As Integer).Range.Delete()",
                 s + ".Font.Name = \"宋体\"",
                 s + ".Font.Size = \"10\"",
                 s + ".Font.Bold = True",
                 s + ".TypeText(\"第\")",
                 s + ".Fields.Add(Range:=<" + s + ".Range>, Type:=33 As Integer)",
                 s + ".TypeText(\"页\")",
                 s + ".ParagraphFormat.Alignment = 3 As Long",
                 s + ".Find.Execute(findtext:=\"原文本\", replacewith:=\"新文本\", Replace:=2 As Integer)",
                 "Word.Application.ActiveWindow.ActivePane.View.SeekView = 0 As Integer",
             }));
}

void TestComSeam::excelMemberPathsAndArguments()
{
    RecordingDispatch com;
    RecordingRuntime runtime(com);
    const QString book = "excel.application.Workbooks.Open(\"D:\\b.xls\")";
    com.answers[book + ".Worksheets.Count"] = 3;
    com.answers[book + ".Worksheets(2 As Long).Name"] = "二月";
    com.answers[book + ".Worksheets(2 As Long).Cells.Find(\"旧\")"] = QVariant(); // Nothing
    com.answers["excel.application"] = "Microsoft Excel";
    com.answers["excel.application.Version"] = "16.0";

    sheet::ApplicationPtr excel = comseam::spreadsheet(runtime, "excel.application");
    QCOMPARE(excel->defaultValue(), QString("Microsoft Excel"));
    QCOMPARE(excel->version(), QString("16.0"));
    excel->setVisible(false);
    sheet::WorkbookPtr workbook = excel->workbooksOpen("D:\\b.xls");
    QCOMPARE(workbook->worksheetsCount(), 3);
    workbook->sheetsActivate(2);
    sheet::WorksheetPtr sheet = workbook->worksheets(2);
    QCOMPARE(sheet->name(), QString("二月"));
    QVERIFY(!sheet->cellsFind("旧"));
    QVERIFY(workbook->worksheets(1)->cellsFind("旧"));
    sheet->cellsReplace("旧", "新");
    sheet->setCell(3, 2, "x");
    workbook->close(true);
    excel->quit();

    QCOMPARE(com.calls, (QStringList{
                            "excel.application.Visible = False",
                            "excel.application.Workbooks.Open(\"D:\\b.xls\")",
                            book + ".Sheets(2 As Long).Activate()",
                            book + ".Worksheets(2 As Long).Cells.Find(\"旧\")",
                            book + ".Worksheets(1 As Long).Cells.Find(\"旧\")",
                            book + ".Worksheets(2 As Long).Cells.Replace(What:=\"旧\", Replacement:=\"新\", "
                                   "LookAt:=2 As Integer, SearchOrder:=1 As Integer, MatchCase:=False, "
                                   "SearchFormat:=False, ReplaceFormat:=False)",
                            book + ".Worksheets(2 As Long).Cells(3 As Long, 2 As Long) = \"x\"",
                            book + ".Close(True)",
                            "excel.application.DisplayAlerts = False",
                            "excel.application.Quit()",
                        }));
}

// What the cell job asks before it writes: Rows.Count, Columns.Count, ProtectContents.
void TestComSeam::excelSheetSizeAndProtection()
{
    RecordingDispatch com;
    const QString sheet = "excel.application.Workbooks.Open(\"D:\\b.xls\").Worksheets(1 As Long)";
    com.answers[sheet + ".Rows.Count"] = 65536;
    com.answers[sheet + ".Columns.Count"] = 256;
    com.answers[sheet + ".ProtectContents"] = true;
    RecordingRuntime runtime(com);
    sheet::ApplicationPtr excel = comseam::spreadsheet(runtime, "excel.application");
    const sheet::WorksheetPtr worksheet = excel->workbooksOpen("D:\\b.xls")->worksheets(1);
    QCOMPARE(worksheet->rowsCount(), 65536);
    QCOMPARE(worksheet->columnsCount(), 256);
    QVERIFY(worksheet->protectContents());
}

void TestComSeam::runningInstanceAndProcesses()
{
    RecordingDispatch com;
    RecordingRuntime runtime(com);
    const std::unique_ptr<RunningOffice> office = comseam::runningOffice(runtime);
    QVERIFY(!office->openDocuments("Word.Application").has_value());

    runtime.running << "Word.Application";
    com.counts["running Word.Application.Documents"] = 2;
    com.answers["running Word.Application.Documents[1].FullName"] = "C:\\a.docx";
    com.answers["running Word.Application.Documents[2].FullName"] = "C:\\b.doc";
    QCOMPARE(*office->openDocuments("Word.Application"), (QStringList{"C:\\a.docx", "C:\\b.doc"}));

    const QString query = "winmgmts:.ExecQuery(\"select * from Win32_Process where name='winword.EXE'\")";
    com.counts[query] = 2;
    QCOMPARE(office->endAllProcesses("winword.EXE"), 2);
    QCOMPARE(com.calls, (QStringList{query, query + "[1].Terminate(0 As Integer)",
                                     query + "[2].Terminate(0 As Integer)"}));
}

void TestComSeam::wpsCannotBeCreatedHere()
{
#ifndef Q_OS_WIN
    for (const QString& id :
         {QString("ET.Application"), QString("ket.application"), QString("Nothing.Here")}) {
        try {
            OfficeRegistry::system().createSpreadsheet(id);
            QFAIL("created");
        } catch (const RuntimeError& error) {
            QCOMPARE(error.number(), 429);
        }
        QVERIFY_THROWS_EXCEPTION(RuntimeError, OfficeRegistry::system().createWordProcessor(id));
    }
#endif
}

void TestComSeam::hungCallEndsOnlyTheJobsOfficeAndTheRunGoesOn()
{
    RecordingDispatch com;
    RecordingRuntime runtime(com);
    const QString b = "word.Application.Documents.Open(\"C:\\b.doc\")";
    com.answers["word.Application.Documents.Open(\"C:\\a.doc\").Content.Find.Execute(\"旧\")"] = true;
    com.answers["word.Application.Documents.Open(\"C:\\c.doc\").Content.Find.Execute(\"旧\")"] = true;
    com.hangs << b + ".Content.Find.Execute(\"旧\")";

    MemoryJobHost host;
    host.tick({"C:\\a.doc", "C:\\b.doc", "C:\\c.doc"}, {0, 1, 2});
    RecordingFactory factory(runtime, 200);
    const auto result = SingleTextReplace::WordReplace(host, factory, "旧", "新", {});

    QCOMPARE(result.failures, 1);
    QCOMPARE(host.log,
             (QStringList{"C:\\a.doc 已替换内容", "C:\\b.doc 替换失败，未修改：办公软件没有应答，已结束它",
                          "C:\\c.doc 已替换内容"}));
    QCOMPARE(host.label, QString("已完成 3 个文件！ 全部操作已完成"));
    // The first instance's process, and only it, was ended; c.doc went on a fresh instance.
    QCOMPARE(runtime.endedProcesses(), QList<qint64>{1001});
    QCOMPARE(runtime.created, 2);
    // b.doc was neither saved nor changed; the fresh instance quits without saving anything.
    QVERIFY(!com.calls.contains(b + ".Save()"));
    QVERIFY(!com.calls.contains(
        b + ".Content.Find.Execute(findtext:=\"旧\", replacewith:=\"新\", Replace:=2 As Integer)"));
    QCOMPARE(com.calls.count("word.Application.Quit(SaveChanges:=0 As Integer)"), 1);
    QCOMPARE(com.calls.last(), QString("word.Application.Quit(SaveChanges:=0 As Integer)"));
}

void TestComSeam::busyOfficeGetsMoreTimeThenEnds()
{
    RecordingDispatch com;
    RecordingRuntime runtime(com);
    runtime.busyLooks = 3; // working on a big file for three rounds, then stuck
    com.hangs << "excel.application.Workbooks.Open(\"D:\\big.xlsx\")";
    sheet::ApplicationPtr excel = comseam::spreadsheet(runtime, "excel.application", 100);
    try {
        excel->workbooksOpen("D:\\big.xlsx");
        QFAIL("opened");
    } catch (const RuntimeError& error) {
        QCOMPARE(error.description(), QString("办公软件没有应答，已结束它"));
        QVERIFY(error.detail().contains("1001"));
    }
    QCOMPARE(runtime.endedProcesses(), QList<qint64>{1001});
    // A look when the call began, one per busy round, and the last one that found it stuck.
    QVERIFY2(runtime.cpuLooks >= 4, qPrintable(QString::number(runtime.cpuLooks)));
    // Nothing to quit: the instance is gone. The next workbook starts a fresh one.
    excel->workbooksOpen("D:\\next.xlsx");
    QCOMPARE(runtime.created, 2);
    excel->quit();
    QCOMPARE(com.calls.last(), QString("excel.application.Quit()"));
}

// Word and Excel save in place: the keeper keeps the file before the save and
// learns what it wrote after; a file it cannot keep is not saved.
void TestComSeam::savesInPlaceAreKeptFirst()
{
    RecordingDispatch com;
    RecordingRuntime runtime(com);
    const QString doc = "Word.Application.Documents.Open(\"C:\\a.doc\")";
    const QString book = "Excel.Application.Workbooks.Open(\"D:\\b.xls\")";
    com.answers[doc + ".FullName"] = "C:\\a.doc";
    com.answers[book + ".FullName"] = "D:\\b.xls";
    RecordingKeeper keeper(com);
    FileKeeper::setCurrent(&keeper);
    const auto unset = qScopeGuard([] { FileKeeper::setCurrent(nullptr); });

    comseam::wordProcessor(runtime, "Word.Application")->documentsOpen("C:\\a.doc")->save();
    comseam::spreadsheet(runtime, "Excel.Application")->workbooksOpen("D:\\b.xls")->close(true);
    QCOMPARE(keeper.told, (QStringList{"keep C:\\a.doc C:\\a.doc after " + doc,
                                       "keep C:\\a.doc C:\\a.doc after " + doc + ".Save()",
                                       "keep D:\\b.xls D:\\b.xls after " + book,
                                       "keep D:\\b.xls D:\\b.xls after " + book + ".Close(True)"}));

    keeper.refuse = true;
    com.calls.clear();
    QVERIFY_THROWS_EXCEPTION(
        RuntimeError,
        comseam::wordProcessor(runtime, "Word.Application")->documentsOpen("C:\\a.doc")->save());
    QVERIFY(!com.calls.contains(doc + ".Save()"));
}

QTEST_GUILESS_MAIN(TestComSeam)
#include "tst_comseam.moc"
