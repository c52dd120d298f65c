#include "support/FakeOffice.h"
#include "support/FakeRunningOffice.h"
#include "support/MemoryJobHost.h"
#include "support/MemoryJobInputs.h"
#include "word/HeaderFooterReplace.h"
#include "word/HeaderFooterWriter.h"
#include "word/MultiPairReplace.h"
#include "word/OpenDocumentGuard.h"
#include "word/SingleTextReplace.h"

#include <QRegularExpression>
#include <QTest>
#include <algorithm>

// The replace jobs of the document tab against an office program in memory, and the
// guards against documents already open.
Q_DECLARE_METATYPE(FakeOffice::DocumentFile)

namespace {

using Result = Batch::Result;
using SingleTextReplace::Engine;

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

std::any single(SingleTextReplace::Scopes scopes = {}, Engine engine = Engine::Word)
{
    return SingleTextReplace::Inputs{engine, "旧", "新", scopes};
}

std::any pairs(MultiPairReplace::Scopes scopes = {})
{
    return MultiPairReplace::Inputs{"旧", "新", scopes};
}

// The header and footer writer over documents with "旧页眉" and "旧页脚", the tab's
// defaults as the window starts, Word chosen.
struct Writer
{
    FakeOffice office;
    MemoryJobHost host;
    HeaderFooterWriter::Inputs inputs{true,
                                      {false, false, {}, "宋体", "10", false, "居中"},
                                      {false, false, {}, "宋体", "10", false, "居左"},
                                      false,
                                      "居中"};
    Result result;

    explicit Writer(const QStringList& paths = {"/d/a.doc"})
        : host(paths)
    {
        for (const QString& path : paths) {
            FakeOffice::DocumentFile& file = office.documents[path];
            file.body.text = "正文";
            file.sections.first().header.range.text = "旧页眉";
            file.sections.first().footer.range.text = "旧页脚";
        }
    }
    // The blocks whose boxes are ticked.
    Writer& blocks(bool header, bool footer, bool pageNumber)
    {
        inputs.header.write = header;
        inputs.footer.write = footer;
        inputs.pageNumber = pageNumber;
        return *this;
    }
    Writer& go()
    {
        office.calls.clear();
        result = HeaderFooterWriter::Command3(host, office, [this] { return inputs; });
        return *this;
    }
    // The header and the footer of a document.
    QStringList parts(const QString& path = "/d/a.doc")
    {
        const FakeOffice::Section& section = office.documents[path].sections[0];
        return {section.header.range.text, section.footer.range.text};
    }
};

const QString kNumber = "第{PAGE}页";

} // namespace

class TestWordJobs : public QObject
{
    Q_OBJECT
private slots:
    void runPattern_data();
    void runPattern();
    void scopes_data();
    void scopes();
    void stopAndCannotStart();
    void pairsSplitPairedAndReadPerDocument();
    void headerFooterPairsThroughTheirViews();
    void writerBlocksAndLayouts_data();
    void writerBlocksAndLayouts();
    void writerFontsSizesAndDelete();
    void commandLines();
    void openDocumentGuards_data();
    void openDocumentGuards();
};

// Each job over a run with a missing file and one that cannot be saved, then over one
// ticked file and over none: its lines, its status line, its bar, its beep.
void TestWordJobs::runPattern_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<std::any>("inputs");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QStringList>("journal");
    QTest::addColumn<QString>("holds"); // /d/1.doc afterwards
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("oneLabel"); // after one ticked file
    QTest::addColumn<int>("beeps");
    QTest::addColumn<int>("yields");
    QTest::addColumn<QList<int>>("maxima");     // empty: no bar
    QTest::addColumn<QStringList>("lifecycle"); // creating, opening, saving, closing, quitting
    QTest::addColumn<QStringList>("noneCalls"); // with nothing ticked
    const QString missing = "/d/3.doc 打开失败，未修改：文件不存在";
    const QString unsaved = "/d/4.doc 保存失败，未修改：只读文件，无法保存";
    const QString voided = unsaved + "（此文件前面的行作废）";
    const QStringList lines{"/d/1.doc 已替换内容", missing, "/d/4.doc 已替换内容", voided,
                            "/d/5.docx 没找到替换的内容"};
    // Every document opened is saved, even where nothing was found, and left open until the one Quit.
    const QStringList word{"create word.Application"};
    const QStringList saved =
        word + QStringList{"open /d/1.doc", "save /d/1.doc",  "open /d/3.doc",  "open /d/4.doc",
                           "save /d/4.doc", "open /d/5.docx", "save /d/5.docx", "quit"};
    QTest::newRow("single text") << "word-replace" << single() << lines << lines << "+-|----"
                                 << "已完成 4 个文件！ 全部操作已完成"
                                 << "全部操作已完成" << 1 << 9 << QList<int>{1, 2, 3, 4} << saved << word;
    // The status line shows the last path: no progress text, no closing text, no beep.
    QTest::newRow("pairs") << "word-replace-pairs" << pairs()
                           << QStringList{"/d/1.doc 已替换内容", missing, "/d/4.doc 已替换内容", voided,
                                          "/d/5.docx 未找到内容"}
                           << QStringList{"/d/1.doc 已替换内容旧", missing, "/d/4.doc 已替换内容旧", voided,
                                          "/d/5.docx 未找到内容旧"}
                           << "+-|----"
                           << "/d/5.docx"
                           << "/d/1.doc" << 0 << 7 << QList<int>{1, 2, 3, 4} << saved << word;
    // No lines but failures, no bar, no yield, no beep; only the closing text says it ran.
    QTest::newRow("header and footer")
        << "header-footer-replace"
        << std::any(HeaderFooterReplace::Inputs{true, "旧", "新", true, "旧", "新"})
        << QStringList{missing, unsaved} << QStringList{missing, unsaved} << "--|+-+-"
        << "全部操作已完成"
        << "全部操作已完成" << 0 << 0 << QList<int>{} << saved << word + QStringList{"quit"};
    // The writer closes each document before the next, and quits with nothing ticked.
    const QString footer = "页脚已写入内容";
    const QStringList written{"/d/1.doc " + footer, missing, "/d/4.doc " + footer, voided,
                              "/d/5.docx " + footer};
    QTest::newRow("writer") << "header-footer-write"
                            << std::any(HeaderFooterWriter::Inputs{
                                   true, {}, {true, false, "新", "宋体", "10", false, "居左"}, false, {}})
                            << written << written << "--|--+-"
                            << "已完成 4 个文件！ 全部操作已完成"
                            << "全部操作已完成" << 1 << 4 << QList<int>{1, 2, 3, 4}
                            << QStringList{"create Word.Application", "open /d/1.doc",   "save /d/1.doc",
                                           "close /d/1.doc",          "open /d/3.doc",   "open /d/4.doc",
                                           "save /d/4.doc",           "close /d/4.doc",  "open /d/5.docx",
                                           "save /d/5.docx",          "close /d/5.docx", "quit"}
                            << QStringList{"create Word.Application", "quit"};
}

void TestWordJobs::runPattern()
{
    QFETCH(QString, command);
    QFETCH(std::any, inputs);
    QFETCH(QList<int>, maxima);
    FakeOffice office;
    office.documents["/d/1.doc"] = office.documents["/d/2.doc"] = office.documents["/d/4.doc"] =
        everywhere("旧");
    office.documents["/d/4.doc"].failSave = true; // and /d/3.doc is missing
    office.documents["/d/5.docx"] = everywhere("无关");
    const QStringList paths{"/d/1.doc", "/d/2.doc", "/d/3.doc", "/d/4.doc", "/d/5.docx"};
    MemoryJobHost host(paths, {0, 2, 3, 4});
    host.log << "an earlier job's line";
    host.label = "before";
    const Result result = runCommand(command, host, office, inputs);
    QCOMPARE(result.total, 4);
    QCOMPARE(result.failures, 2);
    QTEST(host.log, "log");
    QTEST(host.journalLines, "journal");
    QTEST(holding(office.documents["/d/1.doc"]), "holds");
    QCOMPARE(holding(office.documents["/d/4.doc"]), QString("--|----"));
    QTEST(host.label, "label");
    QTEST(host.beeps, "beeps");
    QTEST(host.yields, "yields");
    QCOMPARE(host.maxima, maxima);
    QCOMPARE(host.value, maxima.isEmpty() ? -1 : 4);
    QCOMPARE(host.visible, !maxima.isEmpty());
    QTEST(office.calls.filter(QRegularExpression("^(create|open|save|close|quit)")), "lifecycle");

    // One ticked: the closing text alone, not after what the status line held.
    MemoryJobHost one({"/d/1.doc"});
    one.label = "before";
    runCommand(command, one, office, inputs);
    QTEST(one.label, "oneLabel");
    QCOMPARE(one.value, maxima.isEmpty() ? -1 : 1);

    // None ticked: the log emptied, the bar at 0 and not shown, nothing else.
    MemoryJobHost none(paths, {});
    none.log << "earlier";
    office.calls.clear();
    QCOMPARE(runCommand(command, none, office, inputs).total, 0);
    QVERIFY(none.log.isEmpty() && none.journalLines.isEmpty() && none.maxima.isEmpty());
    QCOMPARE(none.value, maxima.isEmpty() ? -1 : 0);
    QVERIFY(!none.visible);
    QCOMPARE(none.beeps, 0);
    QTEST(office.calls, "noneCalls");
}

// Where else than the body each job replaces, by the scopes ticked, and the lines it writes.
void TestWordJobs::scopes_data()
{
    QTest::addColumn<std::any>("inputs"); // of the single text job or of the pairs job
    QTest::addColumn<FakeOffice::DocumentFile>("file");
    QTest::addColumn<QString>("holds");
    QTest::addColumn<QStringList>("journal");
    QTest::addColumn<int>("yields");
    QTest::addColumn<QStringList>("creates");
    const auto row = [](const char* tag, const std::any& inputs, const FakeOffice::DocumentFile& file,
                        const QString& holds, const QStringList& journal, int yields = 2,
                        const QStringList& creates = {"create word.Application"}) {
        QTest::newRow(tag) << inputs << file << holds << journal << yields << creates;
    };
    const QString found = "/d/s.doc 已替换内容";
    const QString missed = "/d/s.doc 没找到替换的内容";
    const QString box = "已替换文本框内容";
    const QStringList sections = {"已替换页眉内容", "已替换页页脚内容"};
    // One line per page text box, whether or not it held the text; none without boxes.
    row("boxes", single({.pageTextBoxes = true}), document("正文", "旧", 2), "-++|----", {missed, box, box});
    row("no boxes", single({.pageTextBoxes = true}), document("正文", "旧", 0), "-|----", {missed});
    // Every section's header and footer, two lines each; their text boxes only with their own box.
    row("headers", single({.headersFooters = true}), document("旧正文", "旧", 0, 3), "+|+-+-|+-+-|+-+-",
        QStringList{found} + sections + sections + sections);
    // The text boxes of section 1's header and footer alone, without lines.
    row("header boxes", single({.headerFooterTextBoxes = true}), document("正文", "旧", 0, 3),
        "-|-+-+|----|----", {missed}, 1);
    // WPS: KET when ET cannot be created; it writes no header or footer lines and does
    // not yield for one file, but replaces there all the same.
    row("wps", single({.headersFooters = true}, Engine::Wps), document("旧正文", "旧", 0, 3),
        "+|+-+-|+-+-|+-+-", {found}, 0, {"create ET.Application", "create KET.Application"});
    // The window's spreadsheet engine chosen: the document button does nothing.
    row("no engine", single({.headersFooters = true}, Engine::None), document("旧正文", "旧", 0, 3),
        "-|----|----|----", {}, 0, {});
    // Pairs: the header and footer text of every section, not their text boxes nor page boxes.
    row("pair headers", pairs({.headersFooters = true}), everywhere("旧", 3), "+-|+-+-|+-+-|+-+-",
        {found + "旧"});
    // The text boxes of section 1's header and footer only, and the page's boxes.
    row("pair boxes", pairs({.pageTextBoxes = true, .headerFooterTextBoxes = true}), everywhere("旧", 3),
        "++|-+-+|----|----", {found + "旧"});
    // The scope passes run when the body holds none of the text.
    row("pair boxes, body without", pairs({.pageTextBoxes = true}), document("正文"), "-+|----",
        {"/d/s.doc 未找到内容旧"});
}

void TestWordJobs::scopes()
{
    QFETCH(std::any, inputs);
    QFETCH(FakeOffice::DocumentFile, file);
    FakeOffice office;
    office.registered = {"word.application", "ket.application"};
    office.documents["/d/s.doc"] = file;
    MemoryJobHost host({"/d/s.doc"});
    const bool paired = inputs.type() == typeid(MultiPairReplace::Inputs);
    runCommand(paired ? "word-replace-pairs" : "word-replace", host, office, inputs);
    QTEST(holding(office.documents["/d/s.doc"]), "holds");
    QTEST(host.journalLines, "journal");
    QCOMPARE(host.log.size(), host.journalLines.isEmpty() ? 0 : 1); // the scope passes write none in the box
    QTEST(office.calls.filter("create "), "creates");
    QTEST(host.yields, "yields");
}

void TestWordJobs::stopAndCannotStart()
{
    // Asked to stop while the second ticked file is in hand: it is finished,
    // the rest are left as they were, the office program is quit.
    FakeOffice office;
    const QStringList paths{"/d/1.doc", "/d/2.doc", "/d/3.doc", "/d/4.doc", "/d/5.doc"};
    for (const QString& path : paths)
        office.documents[path] = document("旧");
    MemoryJobHost stopped(paths, {0, 1, 3, 4});
    stopped.onYield = [&] { stopped.stop = stopped.stop || office.calls.contains("open /d/2.doc"); };
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

    // WPS with neither identifier: one line, and the job ends.
    MemoryJobHost none({"/d/1.doc"});
    QVERIFY(!SingleTextReplace::WpsReplace(none, office, "旧", "新", {}).started);
    QCOMPARE(none.log.size(), 1);
    QVERIFY(none.log.first().startsWith("无法启动 WPS"));
    QCOMPARE(none.journalLines, none.log);
    QCOMPARE(none.beeps, 0);
}

void TestWordJobs::pairsSplitPairedAndReadPerDocument()
{
    FakeOffice office;
    office.documents["/d/a.doc"] = everywhere("a b c");
    MemoryJobHost host({"/d/a.doc"});
    const auto lists = [&](const QString& oldTexts, const QString& newTexts,
                           MultiPairReplace::Scopes scopes = {}) {
        return runCommand("word-replace-pairs", host, office,
                          MultiPairReplace::Inputs{oldTexts, newTexts, scopes});
    };

    // Four pairs in one run: the empty one searches nothing (finding nothing) yet takes its new entry, so
    // " c" goes with Z; entries are not trimmed (" c" is not "c"); b, without a new entry, is reported
    // and skipped. In the body and in every scope.
    lists("a|| c|b", "x|y|Z", {true, true, true});
    QCOMPARE(host.log, (QStringList{"/d/a.doc 已替换内容", "/d/a.doc 未找到内容", "/d/a.doc 已替换内容",
                                    "/d/a.doc 缺少对应的新文本：b"}));
    QCOMPARE(host.journalLines, (QStringList{"/d/a.doc 已替换内容a", "/d/a.doc 未找到内容",
                                             "/d/a.doc 已替换内容 c", "/d/a.doc 缺少对应的新文本：b"}));
    QCOMPARE(holding(office.documents["/d/a.doc"], " x bZ"), QString("++|++++"));

    // An empty old box: no pairs, no lines; the document is still opened, saved and counted.
    office.calls.clear();
    host.journalLines.clear();
    lists("", "x|y");
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

// Header and footer text replaced each with its own pair, through its own view: the
// footer's "原文本" is not the header's.
void TestWordJobs::headerFooterPairsThroughTheirViews()
{
    FakeOffice office;
    FakeOffice::DocumentFile file = document("正文 原文本", "原文本");
    file.sections[0].footer.range.text = "页脚 原文本 旧";
    const QStringList header{"seek 9", "replace 原文本 > 新文本", "seek 0"};
    const QStringList footer{"seek 10", "replace 旧 > 新", "seek 0"};
    for (const auto& [boxes, calls, texts] : QList<std::tuple<QPair<bool, bool>, QStringList, QStringList>>{
             {{false, true}, footer, {"页眉0 原文本", "页脚 原文本 新"}},
             {{true, true}, header + footer, {"页眉0 新文本", "页脚 原文本 新"}},
             {{false, false}, {}, {"页眉0 原文本", "页脚 原文本 旧"}}}) {
        office.documents["/d/1.doc"] = file;
        office.calls.clear();
        MemoryJobHost host({"/d/1.doc"});
        runCommand("header-footer-replace", host, office,
                   HeaderFooterReplace::Inputs{boxes.first, "原文本", "新文本", boxes.second, "旧", "新"});
        QCOMPARE(office.calls, (QStringList{"create word.Application", "open /d/1.doc"} + calls +
                                QStringList{"save /d/1.doc", "quit"}));
        const FakeOffice::DocumentFile& saved = office.documents["/d/1.doc"];
        QCOMPARE(QStringList({saved.sections[0].header.range.text, saved.sections[0].footer.range.text}),
                 texts);
        QCOMPARE(saved.body.text, QString("正文 原文本"));
    }
}

// Each block by its box, and the layouts of the footer text beside the page number. The
// alignment codes: 居中 1, 居右 2, 居左 3 (not 0); another text types nothing and aligns
// nothing. The text goes before what the part holds.
void TestWordJobs::writerBlocksAndLayouts_data()
{
    QTest::addColumn<QList<bool>>("boxes");      // header, footer, page number
    QTest::addColumn<QStringList>("alignments"); // header, page number, footer text
    QTest::addColumn<QStringList>("views");      // the calls from entering the first view to leaving the last
    QTest::addColumn<QStringList>("parts");      // header and footer afterwards
    QTest::addColumn<QStringList>("log");
    const QStringList font{"font 宋体", "size 10"};
    const QStringList header = QStringList{"seek 9"} + font + QStringList{"type 眉", "align 1", "seek 0"};
    const QStringList footer = QStringList{"seek 10"} + font;
    const QStringList n{"type 第", "field 33", "type 页"};
    const QString h = "/d/a.doc 页眉已写入内容";
    const QString both = "/d/a.doc 页码和页脚已写入内容";
    const auto typed = [](int blanks) { return QStringList{"type 脚" + QString(blanks, ' ')}; };
    const auto row = [](const char* tag, QList<bool> boxes, QStringList alignments, QStringList views,
                        QStringList parts, QStringList log) {
        QTest::newRow(tag) << boxes << alignments << views << parts << log;
    };
    const QList<bool> headerOnly{true, false, false};
    const QList<bool> footerAndNumber{false, true, true};
    row("header", headerOnly, {"居中", "居中", "居左"}, header, {"眉旧页眉", "旧页脚"}, {h});
    for (const auto& [alignment, code] :
         QList<QPair<QString, QString>>{{"居右", "align 2"}, {"居左", "align 3"}})
        row(qPrintable("header " + alignment), headerOnly, {alignment, "居中", "居左"},
            QStringList{"seek 9"} + font + QStringList{"type 眉", code, "seek 0"}, {"眉旧页眉", "旧页脚"},
            {h});
    row("header other", headerOnly, {"左", "居中", "居左"},
        QStringList{"seek 9"} + font + QStringList{"seek 0"}, {"旧页眉", "旧页脚"}, {h});
    row("footer", {false, true, false}, {"居中", "居中", "居左"},
        footer + QStringList{"type 脚", "align 3", "seek 0"}, {"旧页眉", "脚旧页脚"},
        {"/d/a.doc 页脚已写入内容"});
    // The number's line before leaving the view.
    row("number", {false, false, true}, {"居中", "居中", "居左"},
        footer + n + QStringList{"align 1", "seek 0"}, {"旧页眉", kNumber + "旧页脚"},
        {"/d/a.doc 页码已写入"});
    // Footer text and number: the combined block only, after the header; one save, one close.
    row("all", {true, true, true}, {"居中", "居中", "居左"},
        header + footer + typed(26) + n + QStringList{"align 3", "seek 0"},
        {"眉旧页眉", "脚" + QString(26, ' ') + kNumber + "旧页脚"}, {h, both});
    row("centre/centre", footerAndNumber, {"居中", "居中", "居中"},
        footer + typed(5) + n + QStringList{"align 1", "seek 0"},
        {"旧页眉", "脚" + QString(5, ' ') + kNumber + "旧页脚"}, {both});
    row("centre/right", footerAndNumber, {"居中", "居中", "居右"},
        footer + n + QStringList{"type " + QString(26, ' ') + "脚", "align 2", "seek 0"},
        {"旧页眉", kNumber + QString(26, ' ') + "脚旧页脚"}, {both});
    row("right/left", footerAndNumber, {"居中", "居右", "居左"},
        footer + typed(52) + n + QStringList{"align 2", "seek 0"},
        {"旧页眉", "脚" + QString(52, ' ') + kNumber + "旧页脚"}, {both});
    // The alignment goes between the number and the text here.
    row("left/right", footerAndNumber, {"居中", "居左", "居右"},
        footer + n + QStringList{"align 3"} + typed(52) + QStringList{"seek 0"},
        {"旧页眉", kNumber + "脚" + QString(52, ' ') + "旧页脚"}, {both});
    // Pairs without a layout, and a typed text: nothing typed, no alignment, the line all the same.
    for (const auto& [number, text] : QList<QPair<QString, QString>>{
             {"居左", "居左"}, {"居右", "居右"}, {"居左", "居中"}, {"居右", "居中"}, {"中间", "居左"}})
        QTest::addRow("%s/%s", qPrintable(number), qPrintable(text))
            << footerAndNumber << QStringList{"居中", number, text} << footer + QStringList{"seek 0"}
            << QStringList{"旧页眉", "旧页脚"} << QStringList{both};
}

void TestWordJobs::writerBlocksAndLayouts()
{
    QFETCH(QList<bool>, boxes);
    QFETCH(QStringList, alignments);
    QFETCH(QStringList, views);
    Writer run;
    run.inputs.header.text = "眉";
    run.inputs.footer.text = "脚";
    run.inputs.header.alignment = alignments[0];
    run.inputs.pageNumberPosition = alignments[1];
    run.inputs.footer.alignment = alignments[2];
    run.blocks(boxes[0], boxes[1], boxes[2]).go();
    QCOMPARE(run.office.calls,
             (QStringList{"create Word.Application", "open /d/a.doc", "visible 0", "alerts -1"} + views +
              QStringList{"save /d/a.doc", "close /d/a.doc", "quit"}));
    QTEST(run.parts(), "parts");
    QTEST(run.host.log, "log");
    QCOMPARE(run.host.journalLines, run.host.log);
    QCOMPARE(run.office.documents["/d/a.doc"].saves, 1);

    // Word not chosen: the button does nothing at all.
    Writer off;
    off.inputs.wordChosen = false;
    off.host.log << "earlier";
    off.blocks(boxes[0], boxes[1], boxes[2]).go();
    QVERIFY(off.office.calls.isEmpty());
    QCOMPARE(off.host.log, QStringList{"earlier"});
    QCOMPARE(off.host.value, -1);
}

void TestWordJobs::writerFontsSizesAndDelete()
{
    // "删除页眉"/"删除页脚" empty a part whose block is ticked, even for an empty text, which is still
    // aligned and its line written; without the block the part is left.
    for (const auto& [header, number, parts, aligned, log] :
         QList<std::tuple<bool, bool, QStringList, QStringList, QStringList>>{
             {true, false, {"", "旧页脚"}, {"align 1"}, {"/d/a.doc 页眉已写入内容"}},
             {false, false, {"旧页眉", "旧页脚"}, {}, {}},
             {false, true, {"旧页眉", kNumber}, {"align 1"}, {"/d/a.doc 页码已写入"}}}) {
        Writer deleted;
        deleted.inputs.header.deleteFirst = deleted.inputs.footer.deleteFirst = true;
        deleted.blocks(header, false, number).go();
        QCOMPARE(deleted.parts(), parts);
        QCOMPARE(deleted.office.calls.filter("align "), aligned);
        QCOMPARE(deleted.host.log, log);
    }

    // Each row's own font, size and bold, read again per file: bold is switched on when ticked and never
    // off; the second file's header size is not a number, the third's and the fourth's footer sizes are
    // out of Word's range.
    Writer sizes({"/d/1.doc", "/d/2.doc", "/d/3.doc", "/d/4.doc", "/d/5.doc"});
    sizes.inputs.header.fontName = "黑体";
    sizes.inputs.header.fontSize = "14";
    sizes.inputs.footer.fontName = "Arial";
    sizes.inputs.footer.fontSize = "9.5";
    sizes.inputs.footer.bold = true;
    sizes.blocks(true, true, false);
    sizes.host.onYield = [&] {
        const int done = sizes.host.value;
        sizes.inputs.header.fontSize = done == 1 ? "十" : "12";
        sizes.inputs.footer.fontSize = done == 2 ? "0" : done == 3 ? "2000" : "9";
    };
    sizes.go();
    const QStringList& calls = sizes.office.calls;
    QCOMPARE(calls.mid(0, calls.indexOf("open /d/2.doc"))
                 .filter(QRegularExpression("^(seek [19]|font|size|bold)")),
             (QStringList{"seek 9", "font 黑体", "size 14", "seek 10", "font Arial", "size 9.5", "bold 1"}));
    QVERIFY(!calls.contains("bold 0"));
    QCOMPARE(sizes.result.failures, 3);
    const QString outOfRange = " 写入失败，未修改：字号“%1”不在 1 到 1638 之间";
    QCOMPARE(sizes.host.log, (QStringList{"/d/1.doc 页眉已写入内容", "/d/1.doc 页脚已写入内容",
                                          "/d/2.doc 写入失败，未修改：字号“十”不是数字",
                                          "/d/3.doc" + outOfRange.arg(0), "/d/4.doc" + outOfRange.arg(2000),
                                          "/d/5.doc 页眉已写入内容", "/d/5.doc 页脚已写入内容"}));
    QCOMPARE(sizes.host.journalLines, sizes.host.log);
    // Those documents: closed without a save, nothing written to them; the others go on.
    for (const char* path : {"/d/2.doc", "/d/3.doc", "/d/4.doc"})
        QCOMPARE(sizes.office.documents[path].saves, 0);
    QCOMPARE(sizes.parts("/d/2.doc"), (QStringList{"旧页眉", "旧页脚"}));
    QCOMPARE(calls.mid(calls.indexOf("open /d/2.doc"), 4),
             (QStringList{"open /d/2.doc", "visible 0", "alerts -1", "close /d/2.doc"}));
    QCOMPARE(sizes.office.documents["/d/5.doc"].saves, 1);
}

// The commands' options reach the jobs as their inputs, and a worker rebuilds the
// same inputs from the rows' fields.
void TestWordJobs::commandLines()
{
    QCOMPARE(
        described("word-replace",
                  {{"engine", "WPS"}, {"old", "旧"}, {"new", "新"}, {"scope", "headers-footers,textboxes"}}),
        (QStringList{"engine=wps", "old=旧", "new=新", "scope.textboxes", "scope.headers-footers"}));
    // Word by default; an empty engine chooses none; an unknown scope is a usage error.
    QCOMPARE(described("word-replace", {{"old", "a"}, {"new", "b"}}),
             (QStringList{"engine=word", "old=a", "new=b"}));
    QCOMPARE(described("word-replace", {{"engine", ""}, {"old", "a"}, {"new", "b"}}),
             (QStringList{"old=a", "new=b"}));
    QCOMPARE(described("word-replace", {{"scope", "textboxes,footnotes"}}).last(),
             QString("error: unknown scope \"footnotes\" (textboxes, header-textboxes, headers-footers)"));

    // The writer starts from the tab's defaults with Word chosen, ticks a block by
    // giving its text, and refuses an alignment the tab does not offer.
    QCOMPARE(described("header-footer-write", {}),
             (QStringList{"header-font=宋体", "header-size=10", "header-align=居中", "footer-font=宋体",
                          "footer-size=10", "footer-align=居左", "page-number-align=居中", "word"}));
    QCOMPARE(
        described("header-footer-write", {{"header", ""},
                                          {"footer", "脚"},
                                          {"footer-bold", ""},
                                          {"delete-footer", ""},
                                          {"page-number", ""},
                                          {"footer-size", "9.5"},
                                          {"footer-align", "居右"}}),
        (QStringList{"header.write", "header-font=宋体", "header-size=10", "header-align=居中", "footer=脚",
                     "footer.write", "delete-footer", "footer-font=宋体", "footer-size=9.5", "footer-bold",
                     "footer-align=居右", "page-number", "page-number-align=居中", "word"}));
    QCOMPARE(described("header-footer-write", {{"page-number-align", "居上"}}).last(),
             QString("error: unknown page-number-align \"居上\" (居左, 居中, 居右)"));
}

void TestWordJobs::openDocumentGuards_data()
{
    QTest::addColumn<bool>("excel"); // the Excel guard, else the Word guard
    QTest::addColumn<QString>("instance");
    QTest::addColumn<QStringList>("documents");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("failing");   // "steps": ending the processes and the journal; "attach"
    QTest::addColumn<QStringList>("trace"); // what is asked, the programs ended, the tool ended, the journal
    const QString tail = "已打开，必须手动保存关闭后再执本工具\r\n点“是”直接关闭文档，点“否”退出工具";
    const QString word = "ask 关闭确认...|您有文档" + tail;
    const QString excel = "ask 关闭确认...|您有表格" + tail;
    const QStringList a{"/home/u/a.docx"};
    // Nothing open: no instance, one without documents or with empty entries only, and
    // Excel's documents, which the Word guard does not look at.
    for (const auto& [tag, instance, documents] :
         QList<std::tuple<const char*, QString, QStringList>>{{"no instance", "", {}},
                                                              {"no documents", "Word.Application", {}},
                                                              {"empty entries", "Word.Application", {"", ""}},
                                                              {"excel's", "Excel.Application", a}})
        QTest::newRow(tag) << false << instance << documents << true << "" << QStringList();
    // Yes ends the program once, asking once for two documents; No ends the tool.
    QTest::newRow("yes") << false << "Word.Application" << QStringList{"", a[0], "/home/u/b.doc"} << true
                         << "" << QStringList{word, "end winword.EXE", "关闭了打开的word文档"};
    QTest::newRow("no") << false << "Word.Application" << a << false << ""
                        << QStringList{word, "end the tool"};
    QTest::newRow("excel") << true << "Excel.Application" << a << true << ""
                           << QStringList{excel, "end excel.EXE", "关闭了打开的EXCEL文档"};
    // Failing steps are passed over; attaching fails as if nothing ran.
    QTest::newRow("failing") << true << "Excel.Application" << a << true << "steps"
                             << QStringList{excel, "end excel.EXE"};
    QTest::newRow("attach") << true << "Excel.Application" << a << true << "attach" << QStringList();
}

void TestWordJobs::openDocumentGuards()
{
    QFETCH(bool, excel);
    QFETCH(QString, instance);
    QFETCH(QStringList, documents);
    QFETCH(bool, yes);
    QFETCH(QString, failing);
    FakeRunningOffice office;
    if (!instance.isEmpty())
        office.instances[instance] = documents;
    office.failEnd = failing == "steps";
    office.failAttach = failing == "attach";
    QStringList trace;
    QStringList journal;
    const OpenDocumentGuard::Outcome outcome = OpenDocumentGuard::run(
        excel ? OpenDocumentGuard::excel() : OpenDocumentGuard::word(), office,
        [&](const QString& title, const QString& text) {
            trace << "ask " + title + "|" + text;
            return yes;
        },
        [&](const QString& message) {
            if (office.failEnd)
                throw std::runtime_error("journal folder gone");
            journal << message;
        });
    for (const QString& program : std::as_const(office.ended))
        trace << "end " + program;
    if (outcome == OpenDocumentGuard::Outcome::EndProgram)
        trace << "end the tool";
    QTEST(trace + journal, "trace");
}

QTEST_GUILESS_MAIN(TestWordJobs)
#include "tst_wordjobs.moc"
