#include "app/FileKeeper.h"
#include "app/RuntimeError.h"
#include "office/OfficeRegistry.h"
#include "office/com/ComEngines.h"
#include "support/MemoryJobHost.h"
#include "word/SingleTextReplace.h"

#include <QHash>
#include <QTest>
#include <condition_variable>
#include <mutex>

namespace {

// A COM object model that records what is asked of it, with the runtime that serves it. Every object
// is named by the member path that reached it ("Word.Application.Documents.Open(...)"); method calls
// and property writes are recorded with their arguments and types ("Replace:=2 As Integer"). Results
// come from `answers` by path, else a new object; a collection has `counts[path]` items. A call listed
// in `hangs` returns when its process is ended, failing as a call into an ended process does. Each
// created instance has a process of its own (1001, 1002 ...); `running` lists the running instances.
// While a hung call waits, CPU time grows at each of the next `busyLooks` looks. As a job's factory it
// bounds every call by 200 ms; as the file keeper of the run (while it lives) it records what it is told
// among the calls.
class RecordingCom final : public comseam::Runtime, public word::Factory, public FileKeeper
{
public:
    QStringList calls;
    QMap<QString, QVariant> answers;
    QMap<QString, int> counts;
    QStringList hangs;
    QStringList running;
    int created = 0;
    int busyLooks = 0;
    bool refuseToKeep = false;

    RecordingCom() { FileKeeper::setCurrent(this); }
    ~RecordingCom() override { FileKeeper::setCurrent(nullptr); }

    comseam::ObjectPtr object(const QString& path);
    QVariant answer(const QString& call, bool recorded)
    {
        if (recorded)
            calls << call;
        if (hangs.contains(call)) {
            std::unique_lock lock(m_mutex);
            m_hanging = true;
            m_endedOne.wait(lock, [this] { return !m_hanging; });
            throw RuntimeError(RuntimeError::Automation, RuntimeError::nameOf(RuntimeError::Automation),
                               "The RPC server is unavailable.");
        }
        return answers.contains(call) ? answers.value(call) : QVariant::fromValue(object(call));
    }
    QList<qint64> endedProcesses()
    {
        const std::lock_guard lock(m_mutex);
        return m_ended;
    }

    bool isRegistered(const QString&) override { return true; }
    comseam::ObjectPtr create(const QString& progId) override
    {
        const comseam::ObjectPtr instance = object(progId);
        const std::lock_guard lock(m_mutex);
        m_pids[instance.get()] = 1001 + created++;
        return instance;
    }
    comseam::ObjectPtr attach(const QString& progId) override
    {
        return running.contains(progId) ? object("running " + progId) : nullptr;
    }
    comseam::ObjectPtr getObject(const QString& moniker) override { return object(moniker); }
    qint64 serverProcess(const comseam::ObjectPtr& instance) override
    {
        const std::lock_guard lock(m_mutex);
        return m_pids.value(instance.get());
    }
    std::optional<qint64> cpuTime(qint64) override
    {
        const std::lock_guard lock(m_mutex);
        if (m_hanging && busyLooks > 0) {
            --busyLooks;
            m_cpu += 10000;
        }
        return m_cpu;
    }
    void endProcess(qint64 pid) override
    {
        {
            const std::lock_guard lock(m_mutex);
            m_ended << pid;
            m_hanging = false;
        }
        m_endedOne.notify_all();
    }
    word::ApplicationPtr createWordProcessor(const QString& id) override
    {
        return comseam::wordProcessor(*this, id, 200);
    }
    void keep(const QString& target, const QString& result) override
    {
        calls << "keep " + target + " " + result;
        if (refuseToKeep)
            throw RuntimeError(RuntimeError::PathFileAccess, "无法写入备份");
    }
    void renamed(const QString&, const QString&) override {}

private:
    std::mutex m_mutex;
    std::condition_variable m_endedOne;
    bool m_hanging = false;
    QHash<const comseam::Object*, qint64> m_pids;
    QList<qint64> m_ended;
    qint64 m_cpu = 0;
};

QString shown(const QVariant& value);
QString shown(const QVariantList& values, const QList<comseam::Named>& named = {})
{
    QStringList parts;
    for (const QVariant& value : values)
        parts << shown(value);
    for (const comseam::Named& argument : named)
        parts << argument.name + ":=" + shown(argument.value);
    return parts.join(", ");
}

class RecordingObject final : public comseam::Object
{
public:
    RecordingObject(RecordingCom& com, QString at)
        : path(std::move(at))
        , m_com(com)
    {}
    const QString path;

    QVariant invoke(const QString& member, const QVariantList& arguments,
                    const QList<comseam::Named>& named) override
    {
        return m_com.answer(path + "." + member + "(" + shown(arguments, named) + ")", true);
    }
    QVariant get(const QString& member, const QVariantList& arguments) override
    {
        return m_com.answer(property(member, arguments), false);
    }
    void put(const QString& member, const QVariant& value, const QVariantList& arguments) override
    {
        m_com.answer(property(member, arguments) + " = " + shown(value), true);
    }
    QList<comseam::ObjectPtr> items() override
    {
        QList<comseam::ObjectPtr> list;
        for (int i = 1; i <= m_com.counts.value(path); ++i)
            list << m_com.object(QString("%1[%2]").arg(path).arg(i));
        return list;
    }

private:
    // "path.Member(1 As Long, ...)"; the default member adds nothing.
    QString property(const QString& member, const QVariantList& arguments) const
    {
        return path + (member.isEmpty() ? "" : "." + member) +
               (arguments.isEmpty() ? "" : "(" + shown(arguments) + ")");
    }

    RecordingCom& m_com;
};

comseam::ObjectPtr RecordingCom::object(const QString& path)
{
    return std::make_shared<RecordingObject>(*this, path);
}

QString shown(const QVariant& value)
{
    if (!value.isValid())
        return "Empty";
    if (comseam::holdsObject(value))
        return "<" + static_cast<RecordingObject*>(value.value<comseam::ObjectPtr>().get())->path + ">";
    switch (value.metaType().id()) {
    case QMetaType::Short:
        return QString::number(value.value<qint16>()) + " As Integer";
    case QMetaType::Int:
        return QString::number(value.toInt()) + " As Long";
    case QMetaType::Bool:
        return value.toBool() ? "True" : "False";
    default:
        return "\"" + value.toString() + "\"";
    }
}

} // namespace

class TestComSeam : public QObject
{
    Q_OBJECT
private slots:
    void wordMemberPathsAndArguments();
    void excelMemberPathsAndArguments();
    void runningInstanceAndProcesses();
    void wpsCannotBeCreatedHere();
    void hungCallEndsOnlyTheJobsOfficeAndTheRunGoesOn();
};

// The member paths of the word processor, its selection included; a save in place is kept before and
// after, and a file the keeper cannot keep is not saved.
void TestComSeam::wordMemberPathsAndArguments()
{
    RecordingCom com;
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
    com.answers[doc + ".FullName"] = "C:\\a.doc";
    com.counts["Word.Application.Selection.Sections"] = 1;

    word::ApplicationPtr word = comseam::wordProcessor(com, "Word.Application");
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
    com.refuseToKeep = true;
    QVERIFY_THROWS_EXCEPTION(RuntimeError, document->save());
    com.refuseToKeep = false;

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
    word->quit();

    const QString replace = "(findtext:=\"旧\", replacewith:=\"新\", Replace:=2 As Integer)";
    const QString s = "Word.Application.Selection";
    QCOMPARE(com.calls,
             (QStringList{
                 "Word.Application.Documents.Open(\"C:\\a.doc\")",
                 doc + ".Content.Find.Execute(\"旧\")",
                 doc + ".Content.Find.Execute(\"无\")",
                 doc + ".Content.Find.Execute" + replace,
                 doc + ".StoryRanges[2].NextStoryRange.Find.Execute" + replace,
                 doc + ".Sections[3].Headers(1 As Integer).Range.Find.Execute" + replace,
                 "keep C:\\a.doc C:\\a.doc",
                 doc + ".Save()",
                 "keep C:\\a.doc C:\\a.doc",
                 "keep C:\\a.doc C:\\a.doc", // refused: no save follows
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
                 "Word.Application.Quit(SaveChanges:=0 As Integer)",
             }));
}

// The member paths of the spreadsheet, what the cell job asks before it writes (Rows.Count,
// Columns.Count, ProtectContents), and a save in place kept before and after. A call that hangs while
// the office works for three more rounds ends its process once the work stops; the next workbook
// starts a fresh instance, and only that one quits.
void TestComSeam::excelMemberPathsAndArguments()
{
    RecordingCom com;
    const QString book = "excel.application.Workbooks.Open(\"D:\\b.xls\")";
    com.answers[book + ".Worksheets.Count"] = 3;
    com.answers[book + ".Worksheets(2 As Long).Name"] = "二月";
    com.answers[book + ".Worksheets(2 As Long).Cells.Find(\"旧\")"] = QVariant(); // Nothing
    com.answers[book + ".Worksheets(1 As Long).Rows.Count"] = 65536;
    com.answers[book + ".Worksheets(1 As Long).Columns.Count"] = 256;
    com.answers[book + ".Worksheets(1 As Long).ProtectContents"] = true;
    com.answers["excel.application"] = "Microsoft Excel";
    com.answers["excel.application.Version"] = "16.0";
    com.answers[book + ".FullName"] = "D:\\b.xls";
    const QString big = "excel.application.Workbooks.Open(\"D:\\big.xlsx\")";
    com.hangs << big;

    sheet::ApplicationPtr excel = comseam::spreadsheet(com, "excel.application", 200);
    QCOMPARE(excel->defaultValue(), QString("Microsoft Excel"));
    QCOMPARE(excel->version(), QString("16.0"));
    excel->setVisible(false);
    sheet::WorkbookPtr workbook = excel->workbooksOpen("D:\\b.xls");
    QCOMPARE(workbook->worksheetsCount(), 3);
    workbook->sheetsActivate(2);
    sheet::WorksheetPtr sheet = workbook->worksheets(2);
    QCOMPARE(sheet->name(), QString("二月"));
    QVERIFY(!sheet->cellsFind("旧"));
    const sheet::WorksheetPtr first = workbook->worksheets(1);
    QVERIFY(first->cellsFind("旧"));
    QCOMPARE(first->rowsCount(), 65536);
    QCOMPARE(first->columnsCount(), 256);
    QVERIFY(first->protectContents());
    sheet->cellsReplace("旧", "新");
    sheet->setCell(3, 2, "x");
    workbook->close(true);
    com.busyLooks = 3;
    try {
        excel->workbooksOpen("D:\\big.xlsx");
        QFAIL("opened");
    } catch (const RuntimeError& error) {
        QCOMPARE(error.description(), QString("办公软件没有应答，已结束它"));
        QVERIFY(error.detail().contains("1001"));
    }
    QCOMPARE(com.busyLooks, 0);
    QCOMPARE(com.endedProcesses(), QList<qint64>{1001});
    excel->workbooksOpen("D:\\next.xlsx");
    QCOMPARE(com.created, 2);
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
                            "keep D:\\b.xls D:\\b.xls",
                            book + ".Close(True)",
                            "keep D:\\b.xls D:\\b.xls",
                            big,
                            "excel.application.Workbooks.Open(\"D:\\next.xlsx\")",
                            "excel.application.DisplayAlerts = False",
                            "excel.application.Quit()",
                        }));
}

void TestComSeam::runningInstanceAndProcesses()
{
    RecordingCom com;
    const std::unique_ptr<RunningOffice> office = comseam::runningOffice(com);
    QVERIFY(!office->openDocuments("Word.Application").has_value());

    com.running << "Word.Application";
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
    const auto number = [](const std::function<void()>& create) {
        try {
            create();
        } catch (const RuntimeError& error) {
            return error.number();
        }
        return 0;
    };
    for (const char* id : {"ET.Application", "ket.application", "Nothing.Here"}) {
        QCOMPARE(number([&] { OfficeRegistry::system().createSpreadsheet(id); }), 429);
        QCOMPARE(number([&] { OfficeRegistry::system().createWordProcessor(id); }), 429);
    }
#endif
}

void TestComSeam::hungCallEndsOnlyTheJobsOfficeAndTheRunGoesOn()
{
    RecordingCom com;
    const QString b = "word.Application.Documents.Open(\"C:\\b.doc\")";
    com.answers["word.Application.Documents.Open(\"C:\\a.doc\").Content.Find.Execute(\"旧\")"] = true;
    com.answers["word.Application.Documents.Open(\"C:\\c.doc\").Content.Find.Execute(\"旧\")"] = true;
    com.hangs << b + ".Content.Find.Execute(\"旧\")";

    MemoryJobHost host;
    host.tick({"C:\\a.doc", "C:\\b.doc", "C:\\c.doc"}, {0, 1, 2});
    const auto result = SingleTextReplace::WordReplace(host, com, "旧", "新", {});

    QCOMPARE(result.failures, 1);
    QCOMPARE(host.log,
             (QStringList{"C:\\a.doc 已替换内容", "C:\\b.doc 替换失败，未修改：办公软件没有应答，已结束它",
                          "C:\\c.doc 已替换内容"}));
    QCOMPARE(host.label, QString("已完成 3 个文件！ 全部操作已完成"));
    // The first instance's process, and only it, was ended; c.doc went on a fresh instance.
    QCOMPARE(com.endedProcesses(), QList<qint64>{1001});
    QCOMPARE(com.created, 2);
    // Nothing but the hung call reached b.doc: it was neither changed, kept nor saved. The fresh
    // instance quits without saving anything.
    QCOMPARE(com.calls.filter("b.doc"), (QStringList{b, b + ".Content.Find.Execute(\"旧\")"}));
    QCOMPARE(com.calls.count("word.Application.Quit(SaveChanges:=0 As Integer)"), 1);
    QCOMPARE(com.calls.last(), QString("word.Application.Quit(SaveChanges:=0 As Integer)"));
}

QTEST_GUILESS_MAIN(TestComSeam)
#include "tst_comseam.moc"
