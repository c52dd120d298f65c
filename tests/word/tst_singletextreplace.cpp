#include "jobs/JobTable.h"
#include "support/FakeOffice.h"
#include "support/MemoryJobHost.h"
#include "support/MemoryJobInputs.h"
#include "word/SingleTextReplace.h"

#include <QTest>

using namespace SingleTextReplace;

namespace {

FakeOffice::DocumentFile document(const QString& body, int shapes = 0, int sections = 1)
{
    FakeOffice::DocumentFile file;
    file.body.text = body;
    for (int i = 0; i < shapes; ++i)
        file.shapes.append({QStringLiteral("框%1 旧").arg(i)});
    file.sections.clear();
    for (int i = 0; i < sections; ++i) {
        FakeOffice::Section section;
        section.header.range.text = QStringLiteral("页眉%1 旧").arg(i);
        section.footer.range.text = QStringLiteral("页脚%1 旧").arg(i);
        section.header.shapes.append({QStringLiteral("页眉框 旧")});
        section.footer.shapes.append({QStringLiteral("页脚框 旧")});
        file.sections.append(section);
    }
    return file;
}

} // namespace

class TestSingleTextReplace : public QObject
{
    Q_OBJECT
private slots:
    void threeOfFiveTickedTextInTheSecond();
    void oneTickedAndNoneTicked();
    void pageTextBoxes();
    void headersAndFootersPerSection();
    void wpsFallsBackOrSaysSo();
    void failingFilesInTheMiddle();
    void stopAfterTheFileInHand();
    void theInputsChooseTheProgram();
};

void TestSingleTextReplace::threeOfFiveTickedTextInTheSecond()
{
    FakeOffice office;
    const QStringList paths{"/d/1.doc", "/d/2.docx", "/d/3.doc", "/d/4.doc", "/d/5.doc"};
    for (const QString& path : paths)
        office.documents[path] = document("无关");
    office.documents["/d/3.doc"] = document("这里有旧文字，还有一个旧字");
    MemoryJobHost host;
    host.tick(paths, {1, 2, 4});
    host.label = "/d/";
    host.log << "old line";

    const Result result = WordReplace(host, office, "旧", "新", {});
    QCOMPARE(result.total, 3);
    QCOMPARE(result.failures, 0);
    QCOMPARE(host.log,
             (QStringList{"/d/2.docx 没找到替换的内容", "/d/3.doc 已替换内容", "/d/5.doc 没找到替换的内容"}));
    QCOMPARE(host.journalLines, host.log);
    QCOMPARE(host.maxima, (QList<int>{1, 2, 3}));
    QCOMPARE(host.value, 3);
    QVERIFY(host.visible);
    QCOMPARE(host.label, QString("已完成 3 个文件！ 全部操作已完成"));
    QCOMPARE(host.beeps, 1);
    QCOMPARE(office.documents["/d/3.doc"].body.text, QString("这里有新文字，还有一个新字"));
    // Every ticked document saved, even where nothing was found; all left open until Quit.
    QCOMPARE(office.calls,
             (QStringList{"create word.Application", "open /d/2.docx", "save /d/2.docx", "open /d/3.doc",
                          "save /d/3.doc", "open /d/5.doc", "save /d/5.doc", "quit"}));
    QCOMPARE(office.documents["/d/1.doc"].saves, 0);
}

void TestSingleTextReplace::oneTickedAndNoneTicked()
{
    FakeOffice office;
    office.documents["/d/a.doc"] = document("旧");
    MemoryJobHost host;
    host.tick({"/d/a.doc", "/d/b.doc"}, {0});
    host.label = "before";
    WordReplace(host, office, "旧", "新", {});
    QCOMPARE(host.value, 1);
    QCOMPARE(host.label, QString("全部操作已完成")); // not after what was there

    // None ticked: the log emptied, the bar at 0, nothing else; no Quit.
    MemoryJobHost none;
    none.tick({"/d/a.doc"}, {});
    none.log << "earlier";
    none.max = 7;
    office.calls.clear();
    const Result result = WordReplace(none, office, "旧", "新", {});
    QCOMPARE(result.total, 0);
    QVERIFY(none.log.isEmpty());
    QCOMPARE(none.value, 0);
    QCOMPARE(none.max, 7);
    QVERIFY(!none.visible);
    QVERIFY(none.journalLines.isEmpty());
    QCOMPARE(none.beeps, 0);
    QCOMPARE(office.calls, QStringList{"create word.Application"});
}

void TestSingleTextReplace::pageTextBoxes()
{
    FakeOffice office;
    office.documents["/d/none.doc"] = document("正文", 0);
    office.documents["/d/two.doc"] = document("正文", 2);
    MemoryJobHost host;
    host.tick({"/d/none.doc", "/d/two.doc"}, {0, 1});
    Scopes scopes;
    scopes.pageTextBoxes = true;
    WordReplace(host, office, "旧", "新", scopes);
    // One line per shape, whether or not it held the text; none for a document without shapes.
    QCOMPARE(host.journalLines, (QStringList{"/d/none.doc 没找到替换的内容", "/d/two.doc 没找到替换的内容",
                                             "已替换文本框内容", "已替换文本框内容"}));
    QCOMPARE(office.documents["/d/two.doc"].shapes.at(1).text, QString("框1 新"));
    // Headers untouched without their box.
    QCOMPARE(office.documents["/d/two.doc"].sections.at(0).header.range.text, QString("页眉0 旧"));
}

void TestSingleTextReplace::headersAndFootersPerSection()
{
    FakeOffice office;
    office.documents["/d/three.doc"] = document("旧正文", 0, 3);
    MemoryJobHost host;
    host.tick({"/d/three.doc"}, {0});
    Scopes scopes;
    scopes.headersFooters = true;
    WordReplace(host, office, "旧", "新", scopes);
    QCOMPARE(host.journalLines,
             (QStringList{"/d/three.doc 已替换内容", "已替换页眉内容", "已替换页页脚内容", "已替换页眉内容",
                          "已替换页页脚内容", "已替换页眉内容", "已替换页页脚内容"}));
    const FakeOffice::DocumentFile& saved = office.documents["/d/three.doc"];
    QCOMPARE(saved.sections.at(2).footer.range.text, QString("页脚2 新"));
    QCOMPARE(saved.sections.at(0).header.shapes.at(0).text, QString("页眉框 旧")); // Check13(1) not ticked

    // Check13(1): the text boxes of section 1's header and footer, without journal lines.
    office.documents["/d/three.doc"] = document("正文", 0, 3);
    MemoryJobHost boxes;
    boxes.tick({"/d/three.doc"}, {0});
    Scopes boxScope;
    boxScope.headerFooterTextBoxes = true;
    WordReplace(boxes, office, "旧", "新", boxScope);
    QCOMPARE(boxes.journalLines, QStringList{"/d/three.doc 没找到替换的内容"});
    QCOMPARE(office.documents["/d/three.doc"].sections.at(0).footer.shapes.at(0).text, QString("页脚框 新"));
    QCOMPARE(office.documents["/d/three.doc"].sections.at(1).header.shapes.at(0).text, QString("页眉框 旧"));
}

void TestSingleTextReplace::wpsFallsBackOrSaysSo()
{
    FakeOffice office;
    office.documents["/d/three.doc"] = document("旧正文", 0, 3);
    // Only KET is registered: ET fails with 429 and KET is taken.
    office.registered = {"ket.application"};
    MemoryJobHost host;
    host.tick({"/d/three.doc"}, {0});
    Scopes scopes;
    scopes.headersFooters = true;
    const Result result = WpsReplace(host, office, "旧", "新", scopes);
    QVERIFY(result.started);
    QCOMPARE(office.calls.mid(0, 2), (QStringList{"create ET.Application", "create KET.Application"}));
    // The WPS job writes no header or footer lines, but replaces there all the same.
    QCOMPARE(host.journalLines, QStringList{"/d/three.doc 已替换内容"});
    QCOMPARE(office.documents["/d/three.doc"].sections.at(1).header.range.text, QString("页眉1 新"));
    QCOMPARE(host.yields, 0); // the WPS job does not yield for one file

    // Neither identifier: one line, and the job ends.
    office.registered = {"word.application"};
    MemoryJobHost none;
    none.tick({"/d/three.doc"}, {0});
    const Result failed = WpsReplace(none, office, "旧", "新", {});
    QVERIFY(!failed.started);
    QCOMPARE(none.log.size(), 1);
    QVERIFY(none.log.first().startsWith("无法启动 WPS"));
    QCOMPARE(none.journalLines, none.log);
    QCOMPARE(none.beeps, 0);
}

void TestSingleTextReplace::failingFilesInTheMiddle()
{
    FakeOffice office;
    office.documents["/d/1.doc"] = document("旧");
    office.documents["/d/2.doc"] = document("旧");
    office.documents["/d/2.doc"].failOpen = true; // password-protected
    office.documents["/d/4.doc"] = document("旧");
    office.documents["/d/4.doc"].failSave = true;
    office.documents["/d/5.doc"] = document("旧");
    MemoryJobHost host;
    host.tick({"/d/1.doc", "/d/2.doc", "/d/3.doc", "/d/4.doc", "/d/5.doc"}, {0, 1, 2, 3, 4});
    const Result result = WordReplace(host, office, "旧", "新", {});
    QCOMPARE(result.failures, 3);
    QCOMPARE(host.log.size(), 6);
    QCOMPARE(host.log.at(0), QString("/d/1.doc 已替换内容"));
    QVERIFY(host.log.at(1).startsWith("/d/2.doc 打开失败，未修改："));
    QCOMPARE(host.log.at(2), QString("/d/3.doc 打开失败，未修改：文件不存在"));
    QCOMPARE(host.log.at(3), QString("/d/4.doc 已替换内容"));
    QVERIFY(host.log.at(4).startsWith("/d/4.doc 保存失败，未修改："));
    QCOMPARE(host.log.at(5), QString("/d/5.doc 已替换内容"));
    QCOMPARE(host.journalLines, host.log);
    QCOMPARE(office.documents["/d/4.doc"].body.text, QString("旧"));
    QCOMPARE(office.documents["/d/5.doc"].body.text, QString("新"));
    QCOMPARE(host.value, 5);
    QCOMPARE(host.label, QString("已完成 5 个文件！ 全部操作已完成"));
    QCOMPARE(host.beeps, 1);
    QCOMPARE(office.calls.last(), QString("quit"));
}

void TestSingleTextReplace::stopAfterTheFileInHand()
{
    // Asked to stop while the second ticked file is in hand: it is finished,
    // the rest are left as they were, the office program is quit.
    FakeOffice office;
    const QStringList paths{"/d/1.doc", "/d/2.doc", "/d/3.doc", "/d/4.doc", "/d/5.doc"};
    for (const QString& path : paths)
        office.documents[path] = document("旧");
    MemoryJobHost host;
    host.tick(paths, {0, 1, 3, 4});
    host.onYield = [&] { host.stop = host.stop || office.calls.contains("open /d/2.doc"); };

    const Result result = WordReplace(host, office, "旧", "新", {});
    QVERIFY(result.stopped);
    QCOMPARE(result.failures, 0);
    QCOMPARE(host.log,
             (QStringList{"/d/1.doc 已替换内容", "/d/2.doc 已替换内容", " 用户停止，未处理 2 个文件"}));
    QCOMPARE(host.journalLines, host.log);
    for (const QString& path : paths)
        QCOMPARE(office.documents[path].body.text, QString(path <= "/d/2.doc" ? "新" : "旧"));
    QCOMPARE(office.calls.last(), QString("quit"));
    // Where it stopped stays in sight; no closing text, no beep.
    QCOMPARE(host.label, QString("已完成 2 个文件！ "));
    QCOMPARE(host.beeps, 0);
}

QTEST_GUILESS_MAIN(TestSingleTextReplace)
// The command's options and the window's engine choice reach the job as its
// inputs: the program chosen runs, none runs when neither is chosen, and a
// worker rebuilds the same inputs from the row's fields.
void TestSingleTextReplace::theInputsChooseTheProgram()
{
    const JobRow& row = *JobTable::forCommand("word-replace");
    QString problem;
    const std::any given = commandLineInputs(
        row, {{"engine", "WPS"}, {"old", "旧"}, {"new", "新"}, {"scope", "headers-footers,textboxes"}},
        &problem);
    QCOMPARE(problem, QString());
    MemoryJobInputs<Inputs> inputs;
    inputs.value = std::any_cast<Inputs>(throughFields(row, given));
    QCOMPARE(inputs.value.engine, Engine::Wps);
    QCOMPARE(inputs.value.oldText, QString("旧"));
    QCOMPARE(inputs.value.newText, QString("新"));
    QVERIFY(inputs.value.scopes.headersFooters && inputs.value.scopes.pageTextBoxes);
    QVERIFY(!inputs.value.scopes.headerFooterTextBoxes);
    QCOMPARE(row.describe(given),
             (QStringList{"engine=wps", "old=旧", "new=新", "scope.textboxes", "scope.headers-footers"}));

    FakeOffice office;
    office.documents["/d/three.doc"] = document("旧正文", 0, 3);
    office.registered = {"et.application"};
    MemoryJobHost host;
    host.tick({"/d/three.doc"}, {0});
    const ReadInputs read = inputs.reader();
    JobContext context{host, read, office, office};
    QVERIFY(JobTable::run(row, context).started);
    QCOMPARE(office.calls.first(), QString("create ET.Application"));
    QCOMPARE(office.documents["/d/three.doc"].body.text, QString("新正文"));
    QCOMPARE(office.documents["/d/three.doc"].sections.at(1).header.range.text, QString("页眉1 新"));

    // The window's spreadsheet engine chosen: the document button does nothing.
    inputs.value.engine = Engine::None;
    office.calls.clear();
    QCOMPARE(JobTable::run(row, context).total, 0);
    QVERIFY(office.calls.isEmpty());

    // Word by default; an empty engine chooses none; an unknown scope is a usage error.
    QCOMPARE(std::any_cast<Inputs>(commandLineInputs(row, {})).engine, Engine::Word);
    QCOMPARE(std::any_cast<Inputs>(commandLineInputs(row, {{"engine", ""}})).engine, Engine::None);
    commandLineInputs(row, {{"scope", "textboxes,footnotes"}}, &problem);
    QCOMPARE(problem, QString("unknown scope \"footnotes\" (textboxes, header-textboxes, headers-footers)"));
}

#include "tst_singletextreplace.moc"
