#include "jobs/JobTable.h"
#include "support/FakeOffice.h"
#include "support/MemoryJobHost.h"
#include "support/MemoryJobInputs.h"
#include "word/HeaderFooterReplace.h"
#include "word/MultiPairReplace.h"
#include "word/SingleTextReplace.h"

#include <QTest>
#include <algorithm>

// The replace jobs of the document tab against an office program in memory.
namespace {

using Result = Batch::Result;

// A body, page text boxes, and per section a header and a footer, each with a text box;
// every part but the body holds its name and then `parts`.
FakeOffice::DocumentFile document(const QString& body, const QString& parts = "旧", int shapes = 1,
                                  int sections = 1)
{
    FakeOffice::DocumentFile file;
    file.body.text = body;
    for (int i = 0; i < shapes; ++i)
        file.shapes.append({QStringLiteral("框%1 ").arg(i) + parts});
    file.sections.clear();
    for (int i = 0; i < sections; ++i) {
        FakeOffice::Section section;
        section.header.range.text = QStringLiteral("页眉%1 ").arg(i) + parts;
        section.footer.range.text = QStringLiteral("页脚%1 ").arg(i) + parts;
        section.header.shapes.append({"页眉框 " + parts});
        section.footer.shapes.append({"页脚框 " + parts});
        file.sections.append(section);
    }
    return file;
}

// The same text in the body (after "正文 ") and in every other part.
FakeOffice::DocumentFile everywhere(const QString& text, int sections = 1)
{
    return document("正文 " + text, text, 1, sections);
}

// Which parts hold `text` ("+") and which do not ("-"): the body and the page's text boxes,
// then per section, after a "|", its header, the header's text box, its footer and the footer's.
QString holding(const FakeOffice::DocumentFile& file, const QString& text = "新")
{
    QString marks;
    const auto mark = [&](const FakeOffice::Story& story) { marks += story.text.contains(text) ? '+' : '-'; };
    mark(file.body);
    std::for_each(file.shapes.begin(), file.shapes.end(), mark);
    for (const FakeOffice::Section& section : file.sections) {
        marks += '|';
        for (const FakeOffice::HeaderFooter& part : {section.header, section.footer}) {
            mark(part.range);
            std::for_each(part.shapes.begin(), part.shapes.end(), mark);
        }
    }
    return marks;
}

std::function<MultiPairReplace::Inputs()> lists(const QString& oldTexts, const QString& newTexts,
                                                MultiPairReplace::Scopes scopes = {})
{
    return [=] { return MultiPairReplace::Inputs{oldTexts, newTexts, scopes}; };
}

const QString kDefaultOld = "学习目标|经典例说|夯实基础|能力提升|拓展提高";
const QString kDefaultNew = "成功点要|预习指导|预习自测|尝试探索|拓展训练";

} // namespace

class TestWordReplace : public QObject
{
    Q_OBJECT
private slots:
    void singleTextOverTickedFiles();
    void singleTextScopes();
    void wpsFallsBackOrSaysSo();
    void failingFilesAndStop();
    void theInputsChooseTheProgram();
    void pairsOverDocumentsWithoutThem();
    void pairsSplitPairedAndReadPerDocument();
    void pairScopesInTheirOwnOrder();
    void headerFooterPairs();
};

void TestWordReplace::singleTextOverTickedFiles()
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

    const Result result = SingleTextReplace::WordReplace(host, office, "旧", "新", {});
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
    QCOMPARE(office.documents["/d/3.doc"].sections.at(0).header.range.text, QString("页眉0 旧")); // no scope
    // Every ticked document saved, even where nothing was found; all left open until Quit.
    QCOMPARE(office.calls,
             (QStringList{"create word.Application", "open /d/2.docx", "save /d/2.docx", "open /d/3.doc",
                          "save /d/3.doc", "open /d/5.doc", "save /d/5.doc", "quit"}));
    QCOMPARE(office.documents["/d/1.doc"].saves, 0);

    // One ticked: the closing text alone, not after what the status line held.
    MemoryJobHost one({"/d/3.doc"});
    one.label = "before";
    SingleTextReplace::WordReplace(one, office, "旧", "新", {});
    QCOMPARE(one.value, 1);
    QCOMPARE(one.label, QString("全部操作已完成"));

    // None ticked: the log emptied, the bar at 0 and not shown, nothing else; no Quit.
    MemoryJobHost none;
    none.tick({"/d/3.doc"}, {});
    none.log << "earlier";
    none.max = 7;
    office.calls.clear();
    QCOMPARE(SingleTextReplace::WordReplace(none, office, "旧", "新", {}).total, 0);
    QVERIFY(none.log.isEmpty() && none.journalLines.isEmpty());
    QCOMPARE(none.value, 0);
    QCOMPARE(none.max, 7);
    QVERIFY(!none.visible);
    QCOMPARE(none.beeps, 0);
    QCOMPARE(office.calls, QStringList{"create word.Application"});
}

void TestWordReplace::singleTextScopes()
{
    FakeOffice office;
    office.documents["/d/none.doc"] = document("正文", "旧", 0);
    office.documents["/d/two.doc"] = document("正文", "旧", 2);
    MemoryJobHost boxes({"/d/none.doc", "/d/two.doc"});
    SingleTextReplace::WordReplace(boxes, office, "旧", "新", {.pageTextBoxes = true});
    // One line per shape, whether or not it held the text; none for a document without shapes.
    QCOMPARE(boxes.journalLines, (QStringList{"/d/none.doc 没找到替换的内容", "/d/two.doc 没找到替换的内容",
                                              "已替换文本框内容", "已替换文本框内容"}));
    QCOMPARE(holding(office.documents["/d/two.doc"]), QString("-++|----"));

    // Headers and footers: every section's, two lines each; their text boxes only with their own box.
    office.documents["/d/three.doc"] = document("旧正文", "旧", 0, 3);
    MemoryJobHost headers({"/d/three.doc"});
    SingleTextReplace::WordReplace(headers, office, "旧", "新", {.headersFooters = true});
    QCOMPARE(headers.journalLines,
             (QStringList{"/d/three.doc 已替换内容", "已替换页眉内容", "已替换页页脚内容", "已替换页眉内容",
                          "已替换页页脚内容", "已替换页眉内容", "已替换页页脚内容"}));
    QCOMPARE(holding(office.documents["/d/three.doc"]), QString("+|+-+-|+-+-|+-+-"));

    // The text boxes of section 1's header and footer alone, without journal lines.
    office.documents["/d/three.doc"] = document("正文", "旧", 0, 3);
    MemoryJobHost headerBoxes({"/d/three.doc"});
    SingleTextReplace::WordReplace(headerBoxes, office, "旧", "新", {.headerFooterTextBoxes = true});
    QCOMPARE(headerBoxes.journalLines, QStringList{"/d/three.doc 没找到替换的内容"});
    QCOMPARE(holding(office.documents["/d/three.doc"]), QString("-|-+-+|----|----"));
}

void TestWordReplace::wpsFallsBackOrSaysSo()
{
    FakeOffice office;
    office.documents["/d/three.doc"] = document("旧正文", "旧", 0, 3);
    // Only KET is registered: ET fails with 429 and KET is taken.
    office.registered = {"ket.application"};
    MemoryJobHost host({"/d/three.doc"});
    QVERIFY(SingleTextReplace::WpsReplace(host, office, "旧", "新", {.headersFooters = true}).started);
    QCOMPARE(office.calls.mid(0, 2), (QStringList{"create ET.Application", "create KET.Application"}));
    // The WPS job writes no header or footer lines, but replaces there all the same.
    QCOMPARE(host.journalLines, QStringList{"/d/three.doc 已替换内容"});
    QCOMPARE(office.documents["/d/three.doc"].sections.at(1).header.range.text, QString("页眉1 新"));
    QCOMPARE(host.yields, 0); // the WPS job does not yield for one file

    // Neither identifier: one line, and the job ends.
    office.registered = {"word.application"};
    MemoryJobHost none({"/d/three.doc"});
    QVERIFY(!SingleTextReplace::WpsReplace(none, office, "旧", "新", {}).started);
    QCOMPARE(none.log.size(), 1);
    QVERIFY(none.log.first().startsWith("无法启动 WPS"));
    QCOMPARE(none.journalLines, none.log);
    QCOMPARE(none.beeps, 0);
}

void TestWordReplace::failingFilesAndStop()
{
    FakeOffice office;
    for (const QString path : {"/d/1.doc", "/d/2.doc", "/d/4.doc", "/d/5.doc"})
        office.documents[path] = document("旧");
    office.documents["/d/2.doc"].failOpen = true; // password-protected
    office.documents["/d/4.doc"].failSave = true;
    const QStringList paths{"/d/1.doc", "/d/2.doc", "/d/3.doc", "/d/4.doc", "/d/5.doc"};
    MemoryJobHost host(paths);
    QCOMPARE(SingleTextReplace::WordReplace(host, office, "旧", "新", {}).failures, 3);
    QCOMPARE(host.log, (QStringList{"/d/1.doc 已替换内容", "/d/2.doc 打开失败，未修改：文件不存在",
                                    "/d/3.doc 打开失败，未修改：文件不存在", "/d/4.doc 已替换内容",
                                    "/d/4.doc 保存失败，未修改：只读文件，无法保存（此文件前面的行作废）",
                                    "/d/5.doc 已替换内容"}));
    QCOMPARE(host.journalLines, host.log);
    QCOMPARE(office.documents["/d/4.doc"].body.text, QString("旧"));
    QCOMPARE(office.documents["/d/5.doc"].body.text, QString("新"));
    QCOMPARE(host.label, QString("已完成 5 个文件！ 全部操作已完成"));
    QCOMPARE(office.calls.last(), QString("quit"));

    // Asked to stop while the second ticked file is in hand: it is finished,
    // the rest are left as they were, the office program is quit.
    for (const QString& path : paths)
        office.documents[path] = document("旧");
    MemoryJobHost stopped;
    stopped.tick(paths, {0, 1, 3, 4});
    stopped.onYield = [&] { stopped.stop = stopped.stop || office.calls.contains("open /d/2.doc"); };
    office.calls.clear();
    const Result result = SingleTextReplace::WordReplace(stopped, office, "旧", "新", {});
    QVERIFY(result.stopped);
    QCOMPARE(result.failures, 0);
    QCOMPARE(stopped.log,
             (QStringList{"/d/1.doc 已替换内容", "/d/2.doc 已替换内容", " 用户停止，未处理 2 个文件"}));
    QCOMPARE(stopped.journalLines, stopped.log);
    for (const QString& path : paths)
        QCOMPARE(office.documents[path].body.text, QString(path <= "/d/2.doc" ? "新" : "旧"));
    QCOMPARE(office.calls.last(), QString("quit"));
    // Where it stopped stays in sight; no closing text, no beep.
    QCOMPARE(stopped.label, QString("已完成 2 个文件！ "));
    QCOMPARE(stopped.beeps, 0);
}

// The command's options and the window's engine choice reach the job as its
// inputs: the program chosen runs, none runs when neither is chosen, and a
// worker rebuilds the same inputs from the row's fields.
void TestWordReplace::theInputsChooseTheProgram()
{
    using SingleTextReplace::Engine;
    const JobRow& row = *JobTable::forCommand("word-replace");
    QString problem;
    const std::any given = commandLineInputs(
        row, {{"engine", "WPS"}, {"old", "旧"}, {"new", "新"}, {"scope", "headers-footers,textboxes"}},
        &problem);
    QCOMPARE(problem, QString());
    auto inputs = std::any_cast<SingleTextReplace::Inputs>(throughFields(row, given));
    QCOMPARE(inputs.engine, Engine::Wps);
    QCOMPARE(QStringList({inputs.oldText, inputs.newText}), QStringList({"旧", "新"}));
    QVERIFY(inputs.scopes.headersFooters && inputs.scopes.pageTextBoxes &&
            !inputs.scopes.headerFooterTextBoxes);
    QCOMPARE(row.describe(given),
             (QStringList{"engine=wps", "old=旧", "new=新", "scope.textboxes", "scope.headers-footers"}));

    FakeOffice office;
    office.documents["/d/three.doc"] = document("旧正文", "旧", 0, 3);
    office.registered = {"et.application"};
    MemoryJobHost host({"/d/three.doc"});
    const ReadInputs read = [&] { return std::any(inputs); };
    JobContext context{host, read, office, office};
    QVERIFY(JobTable::run(row, context).started);
    QCOMPARE(office.calls.first(), QString("create ET.Application"));
    QCOMPARE(office.documents["/d/three.doc"].body.text, QString("新正文"));
    QCOMPARE(office.documents["/d/three.doc"].sections.at(1).header.range.text, QString("页眉1 新"));

    // The window's spreadsheet engine chosen: the document button does nothing.
    inputs.engine = Engine::None;
    office.calls.clear();
    QCOMPARE(JobTable::run(row, context).total, 0);
    QVERIFY(office.calls.isEmpty());

    // Word by default; an empty engine chooses none; an unknown scope is a usage error.
    using SingleTextReplace::Inputs;
    QCOMPARE(std::any_cast<Inputs>(commandLineInputs(row, {})).engine, Engine::Word);
    QCOMPARE(std::any_cast<Inputs>(commandLineInputs(row, {{"engine", ""}})).engine, Engine::None);
    commandLineInputs(row, {{"scope", "textboxes,footnotes"}}, &problem);
    QCOMPARE(problem, QString("unknown scope \"footnotes\" (textboxes, header-textboxes, headers-footers)"));
}

void TestWordReplace::pairsOverDocumentsWithoutThem()
{
    FakeOffice office;
    office.documents["/d/1.doc"] = everywhere("无关");
    office.documents["/d/2.docx"] = everywhere("无关");
    MemoryJobHost host({"/d/1.doc", "/d/2.docx"});
    host.log << "earlier";
    host.label = "before";
    const Result result = MultiPairReplace::Command9(host, office, lists(kDefaultOld, kDefaultNew));
    QCOMPARE(result.total, 2);
    QCOMPARE(result.failures, 0);
    QStringList log;
    QStringList journal;
    for (const QString path : {"/d/1.doc", "/d/2.docx"}) {
        for (const QString& old : kDefaultOld.split('|')) {
            log << path + " 未找到内容";
            journal << path + " 未找到内容" + old;
        }
    }
    QCOMPARE(host.log, log);
    QCOMPARE(host.journalLines, journal);
    QCOMPARE(host.value, 2);
    // The status line shows the last path: no progress text, no closing text, no beep.
    QCOMPARE(host.label, QString("/d/2.docx"));
    QCOMPARE(host.beeps, 0);
    QCOMPARE(host.yields, 4); // after each open and each progress step
    // Always Word; every document saved and left open until the one Quit.
    QCOMPARE(office.calls, (QStringList{"create word.Application", "open /d/1.doc", "save /d/1.doc",
                                        "open /d/2.docx", "save /d/2.docx", "quit"}));

    // One document: its path in the status line all the same.
    MemoryJobHost one;
    one.tick({"/d/1.doc", "/d/2.doc"}, {0});
    MultiPairReplace::Command9(one, office, lists("甲", "乙"));
    QCOMPARE(one.value, 1);
    QCOMPARE(one.label, QString("/d/1.doc"));

    // Nothing ticked: the log emptied, the bar at 0, no Quit.
    MemoryJobHost none;
    none.tick({"/d/1.doc"}, {});
    none.log << "earlier";
    office.calls.clear();
    QCOMPARE(MultiPairReplace::Command9(none, office, lists("甲", "乙")).total, 0);
    QVERIFY(none.log.isEmpty());
    QCOMPARE(none.value, 0);
    QCOMPARE(office.calls, QStringList{"create word.Application"});

    // A file that cannot be saved and one that is missing: their lines, and the run goes on.
    office.documents["/d/2.doc"] = everywhere("甲");
    office.documents["/d/2.doc"].failSave = true;
    office.documents["/d/4.doc"] = everywhere("甲");
    MemoryJobHost failing({"/d/2.doc", "/d/3.doc", "/d/4.doc"});
    QCOMPARE(MultiPairReplace::Command9(failing, office, lists("甲", "乙")).failures, 2);
    QCOMPARE(failing.log, (QStringList{"/d/2.doc 已替换内容",
                                       "/d/2.doc 保存失败，未修改：只读文件，无法保存（此文件前面的行作废）",
                                       "/d/3.doc 打开失败，未修改：文件不存在", "/d/4.doc 已替换内容"}));
    QCOMPARE(office.documents["/d/2.doc"].body.text, QString("正文 甲"));
    QCOMPARE(office.documents["/d/4.doc"].body.text, QString("正文 乙"));
    QCOMPARE(failing.label, QString("/d/4.doc"));
}

void TestWordReplace::pairsSplitPairedAndReadPerDocument()
{
    FakeOffice office;
    office.documents["/d/a.doc"] = everywhere("a b c");
    MemoryJobHost host({"/d/a.doc"});

    // Three pairs; the middle one searches the empty text (finding nothing), z goes with b.
    MultiPairReplace::Command9(host, office, lists("a||b", "x|y|z", {true, true, true}));
    QCOMPARE(host.log, (QStringList{"/d/a.doc 已替换内容", "/d/a.doc 未找到内容", "/d/a.doc 已替换内容"}));
    QCOMPARE(host.journalLines,
             (QStringList{"/d/a.doc 已替换内容a", "/d/a.doc 未找到内容", "/d/a.doc 已替换内容b"}));
    QCOMPARE(holding(office.documents["/d/a.doc"], " x z c"), QString("++|++++"));

    // A pair without a new entry is reported and skipped, in the body and in every scope.
    office.documents["/d/a.doc"] = everywhere("a b c");
    host.journalLines.clear();
    MultiPairReplace::Command9(host, office, lists("a|b", "x", {true, true, true}));
    QCOMPARE(host.log, (QStringList{"/d/a.doc 已替换内容", "/d/a.doc 缺少对应的新文本：b"}));
    QCOMPARE(host.journalLines, (QStringList{"/d/a.doc 已替换内容a", "/d/a.doc 缺少对应的新文本：b"}));
    QCOMPARE(holding(office.documents["/d/a.doc"], " x b c"), QString("++|++++"));

    // Entries are not trimmed: " b" is not "b".
    office.documents["/d/a.doc"] = everywhere("a b c");
    MultiPairReplace::Command9(host, office, lists("a| c", "x|Y"));
    QCOMPARE(office.documents["/d/a.doc"].body.text, QString("正文 x bY"));

    // An empty old box: no pairs, no lines; the document is still opened, saved and counted.
    office.calls.clear();
    host.journalLines.clear();
    MultiPairReplace::Command9(host, office, lists("", "x|y"));
    QVERIFY(host.log.isEmpty() && host.journalLines.isEmpty());
    QCOMPARE(office.calls,
             (QStringList{"create word.Application", "open /d/a.doc", "save /d/a.doc", "quit"}));
    QCOMPARE(host.value, 1);

    // Edited during the first document's progress yield: the second document reads the new lists.
    office.documents["/d/1.doc"] = everywhere("旧 甲");
    office.documents["/d/2.doc"] = everywhere("旧 甲");
    MemoryJobHost edited({"/d/1.doc", "/d/2.doc"});
    QString oldTexts = "旧";
    edited.onYield = [&] {
        if (edited.value == 1)
            oldTexts = "甲";
    };
    MultiPairReplace::Command9(edited, office, [&] { return MultiPairReplace::Inputs{oldTexts, "新", {}}; });
    QCOMPARE(office.documents["/d/1.doc"].body.text, QString("正文 新 甲"));
    QCOMPARE(office.documents["/d/2.doc"].body.text, QString("正文 旧 新"));
    QCOMPARE(edited.journalLines, (QStringList{"/d/1.doc 已替换内容旧", "/d/2.doc 已替换内容甲"}));
}

void TestWordReplace::pairScopesInTheirOwnOrder()
{
    FakeOffice office;
    office.documents["/d/s.doc"] = everywhere("旧", 3);
    MemoryJobHost host({"/d/s.doc"});

    // The header and footer text of every section, not their text boxes nor page boxes.
    MultiPairReplace::Command9(host, office, lists("旧", "新", {.headersFooters = true}));
    QCOMPARE(holding(office.documents["/d/s.doc"]), QString("+-|+-+-|+-+-|+-+-"));
    QCOMPARE(host.log, QStringList{"/d/s.doc 已替换内容"}); // scope passes write no lines

    // The text boxes of section 1's header and footer only, and the page's boxes.
    office.documents["/d/s.doc"] = everywhere("旧", 3);
    MultiPairReplace::Command9(host, office,
                               lists("旧", "新", {.pageTextBoxes = true, .headerFooterTextBoxes = true}));
    QCOMPARE(holding(office.documents["/d/s.doc"]), QString("++|-+-+|----|----"));

    // The scope passes run when the body holds none of the text.
    office.documents["/d/s.doc"] = document("正文 无", "无");
    office.documents["/d/s.doc"].shapes[0].text = "框 旧";
    MultiPairReplace::Command9(host, office, lists("旧", "新", {.pageTextBoxes = true}));
    QCOMPARE(host.log, QStringList{"/d/s.doc 未找到内容"});
    QCOMPARE(office.documents["/d/s.doc"].shapes.at(0).text, QString("框 新"));
}

// Header and footer text replaced each with its own pair through its view; the job
// writes no lines and shows no bar.
void TestWordReplace::headerFooterPairs()
{
    FakeOffice office;
    FakeOffice::DocumentFile file = document("正文 原文本", "原文本");
    file.sections[0].footer.range.text = "页脚 原文本 旧";
    const QStringList paths{"/d/1.doc", "/d/2.doc", "/d/3.doc"};
    for (const QString& path : paths)
        office.documents[path] = file;
    const auto boxes = [](bool header, bool footer) {
        return [=] { return HeaderFooterReplace::Inputs{header, "原文本", "新文本", footer, "旧", "新"}; };
    };
    MemoryJobHost one;
    one.tick(paths, {0});
    HeaderFooterReplace::Command7(one, office, boxes(false, true));
    QCOMPARE(office.documents["/d/1.doc"].sections.at(0).footer.range.text, QString("页脚 原文本 新"));
    QCOMPARE(office.documents["/d/1.doc"].sections.at(0).header.range.text, QString("页眉0 原文本"));
    QCOMPARE(office.documents["/d/1.doc"].body.text, QString("正文 原文本"));
    QCOMPARE(office.calls, (QStringList{"create word.Application", "open /d/1.doc", "seek 10",
                                        "replace 旧 > 新", "seek 0", "save /d/1.doc", "quit"}));

    // Both boxes over three documents: one Quit; the footer's "原文本" is not the header's.
    MemoryJobHost host(paths);
    host.log << "an earlier job's line";
    host.label = "before";
    office.calls.clear();
    QCOMPARE(HeaderFooterReplace::Command7(host, office, boxes(true, true)).failures, 0);
    QCOMPARE(office.calls.mid(2, 6), (QStringList{"seek 9", "replace 原文本 > 新文本", "seek 0", "seek 10",
                                                  "replace 旧 > 新", "seek 0"}));
    QCOMPARE(office.calls.count("quit"), 1);
    QCOMPARE(office.calls.last(), QString("quit"));
    for (const QString& path : paths) {
        QCOMPARE(office.documents[path].sections.at(0).header.range.text, QString("页眉0 新文本"));
        QCOMPARE(office.documents[path].sections.at(0).footer.range.text, QString("页脚 原文本 新"));
    }
    // No lines, no journal, no bar, no yield, no beep; only the closing text says it ran.
    QVERIFY(host.log.isEmpty() && host.journalLines.isEmpty());
    QCOMPARE(host.value, -1);
    QVERIFY(host.maxima.isEmpty());
    QVERIFY(!host.visible);
    QCOMPARE(host.label, QString("全部操作已完成"));
    QCOMPARE(host.yields, 0);
    QCOMPARE(host.beeps, 0);

    // None ticked: the program created and quit. Neither box: opened and saved, unchanged.
    MemoryJobHost none;
    none.tick(paths, {});
    office.calls.clear();
    HeaderFooterReplace::Command7(none, office, boxes(true, true));
    QCOMPARE(office.calls, (QStringList{"create word.Application", "quit"}));
    office.documents["/d/1.doc"] = file;
    office.calls.clear();
    HeaderFooterReplace::Command7(one, office, boxes(false, false));
    QCOMPARE(office.calls,
             (QStringList{"create word.Application", "open /d/1.doc", "save /d/1.doc", "quit"}));
    QCOMPARE(office.documents["/d/1.doc"].sections.at(0).header.range.text, QString("页眉0 原文本"));

    // A missing file and one that cannot be saved get their lines; the others go on.
    office.documents["/d/1.doc"] = file;
    office.documents["/d/2.doc"].failSave = true;
    MemoryJobHost failing({"/d/gone.doc", "/d/2.doc", "/d/1.doc"});
    QCOMPARE(HeaderFooterReplace::Command7(failing, office, boxes(true, false)).failures, 2);
    QCOMPARE(failing.log, (QStringList{"/d/gone.doc 打开失败，未修改：文件不存在",
                                       "/d/2.doc 保存失败，未修改：只读文件，无法保存"}));
    QCOMPARE(failing.journalLines, failing.log);
    QCOMPARE(office.documents["/d/1.doc"].sections.at(0).header.range.text, QString("页眉0 新文本"));
}

QTEST_GUILESS_MAIN(TestWordReplace)
#include "tst_wordreplace.moc"
