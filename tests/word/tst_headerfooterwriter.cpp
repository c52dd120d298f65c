#include "jobs/JobTable.h"
#include "support/FakeOffice.h"
#include "support/MemoryJobHost.h"
#include "support/MemoryJobInputs.h"
#include "word/HeaderFooterWriter.h"

#include <QTest>

using namespace HeaderFooterWriter;

namespace {

// The inputs with the tab's defaults, as the window starts, Word chosen.
Inputs tabDefaults()
{
    Inputs inputs;
    inputs.wordChosen = true;
    inputs.header.fontName = inputs.footer.fontName = "宋体";
    inputs.header.fontSize = inputs.footer.fontSize = "10";
    inputs.header.alignment = "居中";
    inputs.footer.alignment = "居左";
    inputs.pageNumberPosition = "居中";
    return inputs;
}

struct Run
{
    FakeOffice office;
    MemoryJobHost host;
    Inputs inputs = tabDefaults();
    Batch::Result result;

    explicit Run(const QStringList& paths = {"/d/a.doc"})
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
    Run& blocks(bool header, bool footer, bool pageNumber)
    {
        inputs.header.write = header;
        inputs.footer.write = footer;
        inputs.pageNumber = pageNumber;
        return *this;
    }
    Run& go()
    {
        office.calls.clear();
        const ReadInputs read = [this] { return std::any(inputs); };
        JobContext context{host, read, office, office};
        result = JobTable::run(*JobTable::forButton("Command3"), context);
        return *this;
    }
    QString header(const QString& path = "/d/a.doc")
    {
        return office.documents[path].sections.at(0).header.range.text;
    }
    QString footer(const QString& path = "/d/a.doc")
    {
        return office.documents[path].sections.at(0).footer.range.text;
    }
    // The calls from entering the footer view to leaving it.
    QStringList footerCalls()
    {
        const qsizetype from = office.calls.indexOf("seek 10");
        return office.calls.mid(from, office.calls.indexOf("seek 0", from) - from + 1);
    }
};

const QString kNumber = "第{PAGE}页";

} // namespace

class TestHeaderFooterWriter : public QObject
{
    Q_OBJECT
private slots:
    void blocksByTheirBoxes();
    void footerAndPageNumberLayouts_data();
    void footerAndPageNumberLayouts();
    void alignmentFontBoldAndDelete();
    void progressOverThreeFilesAndNone();
    void failingFilesAndBadSizes();
    void commandLineDefaultsAndChecks();
};

void TestHeaderFooterWriter::blocksByTheirBoxes()
{
    // Header only: the header view, the font, the text typed before what the header holds, centred.
    Run header;
    header.inputs.header.text = "眉";
    header.blocks(true, false, false).go();
    QCOMPARE(header.office.calls,
             (QStringList{"create Word.Application", "open /d/a.doc", "visible 0", "alerts -1", "seek 9",
                          "font 宋体", "size 10", "type 眉", "align 1", "seek 0", "save /d/a.doc",
                          "close /d/a.doc", "quit"}));
    QCOMPARE(header.header(), QString("眉旧页眉"));
    QCOMPARE(header.footer(), QString("旧页脚"));
    QCOMPARE(header.host.log, QStringList{"/d/a.doc 页眉已写入内容"});
    QCOMPARE(header.host.journalLines, header.host.log);

    // Footer text only.
    Run footer;
    footer.inputs.footer.text = "脚";
    footer.blocks(false, true, false).go();
    QCOMPARE(footer.footerCalls(),
             (QStringList{"seek 10", "font 宋体", "size 10", "type 脚", "align 3", "seek 0"}));
    QCOMPARE(footer.footer(), QString("脚旧页脚"));
    QCOMPARE(footer.header(), QString("旧页眉"));
    QCOMPARE(footer.host.log, QStringList{"/d/a.doc 页脚已写入内容"});

    // Page number only: 第, the field, 页; the line before leaving the view.
    Run number;
    number.blocks(false, false, true).go();
    QCOMPARE(number.footerCalls(), (QStringList{"seek 10", "font 宋体", "size 10", "type 第", "field 33",
                                                "type 页", "align 1", "seek 0"}));
    QCOMPARE(number.footer(), kNumber + "旧页脚");
    QCOMPARE(number.host.log, QStringList{"/d/a.doc 页码已写入"});

    // Footer text and page number: the combined block only, never the footer-text block.
    Run both;
    both.inputs.footer.text = "脚";
    both.blocks(false, true, true).go();
    QCOMPARE(both.footer(), "脚" + QString(26, ' ') + kNumber + "旧页脚");
    QCOMPARE(both.host.log, QStringList{"/d/a.doc 页码和页脚已写入内容"});
    QCOMPARE(both.office.calls.count("seek 10"), 1);

    // Header and footer: the header first, one save and one close.
    Run all;
    all.blocks(true, true, true).go();
    QCOMPARE(all.host.log, (QStringList{"/d/a.doc 页眉已写入内容", "/d/a.doc 页码和页脚已写入内容"}));
    QVERIFY(all.office.calls.indexOf("seek 9") < all.office.calls.indexOf("seek 10"));
    QCOMPARE(all.office.calls.count("save /d/a.doc"), 1);
    QCOMPARE(all.office.calls.count("close /d/a.doc"), 1);
    QCOMPARE(all.office.documents["/d/a.doc"].saves, 1);

    // Word not chosen: the button does nothing at all.
    Run off;
    off.inputs.wordChosen = false;
    off.host.log << "earlier";
    off.blocks(true, true, true).go();
    QVERIFY(off.office.calls.isEmpty());
    QCOMPARE(off.host.log, QStringList{"earlier"});
    QCOMPARE(off.host.value, -1);
}

void TestHeaderFooterWriter::footerAndPageNumberLayouts_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("footer");
    QTest::addColumn<QStringList>("calls"); // typing and alignment, in order
    const QString t = "脚";
    const QStringList n{"type 第", "field 33", "type 页"};
    const auto row = [](const char* tag, const char* number, const char* text, const QString& footer,
                        const QStringList& calls) {
        QTest::newRow(tag) << number << text << footer << calls;
    };
    const auto typed = [&](int blanks) { return QStringList{"type " + t + QString(blanks, ' ')}; };
    row("centre/centre", "居中", "居中", t + QString(5, ' ') + kNumber,
        typed(5) + n + QStringList{"align 1"});
    row("centre/right", "居中", "居右", kNumber + QString(26, ' ') + t,
        n + QStringList{"type " + QString(26, ' ') + t, "align 2"});
    row("centre/left", "居中", "居左", t + QString(26, ' ') + kNumber,
        typed(26) + n + QStringList{"align 3"});
    row("right/left", "居右", "居左", t + QString(52, ' ') + kNumber, typed(52) + n + QStringList{"align 2"});
    // The alignment goes between the number and the text here.
    row("left/right", "居左", "居右", kNumber + t + QString(52, ' '), n + QStringList{"align 3"} + typed(52));
    // Pairs without a layout, and a typed text: nothing typed, no alignment, the line all the same.
    for (const auto& [number, text] : QList<QPair<QString, QString>>{
             {"居左", "居左"}, {"居右", "居右"}, {"居左", "居中"}, {"居右", "居中"}, {"中间", "居左"}})
        QTest::addRow("%s/%s", qPrintable(number), qPrintable(text))
            << number << text << QString() << QStringList();
}

void TestHeaderFooterWriter::footerAndPageNumberLayouts()
{
    QFETCH(QString, number);
    QFETCH(QString, text);
    QFETCH(QString, footer);
    QFETCH(QStringList, calls);
    Run run;
    run.inputs.footer.deleteFirst = true;
    run.inputs.footer.text = "脚";
    run.inputs.pageNumberPosition = number;
    run.inputs.footer.alignment = text;
    run.blocks(false, true, true).go();
    QCOMPARE(run.footer(), footer);
    QStringList typing;
    for (const QString& call : run.footerCalls()) {
        if (call.startsWith("type ") || call.startsWith("field ") || call.startsWith("align "))
            typing << call;
    }
    QCOMPARE(typing, calls);
    QCOMPARE(run.host.log, QStringList{"/d/a.doc 页码和页脚已写入内容"});
    QCOMPARE(run.office.documents["/d/a.doc"].saves, 1);
}

void TestHeaderFooterWriter::alignmentFontBoldAndDelete()
{
    // The header's codes: 居中 1, 居右 2, 居左 3 (not 0); another text types nothing and aligns nothing.
    for (const auto& [combo, code] : QList<QPair<QString, QString>>{
             {"居中", "align 1"}, {"居右", "align 2"}, {"居左", "align 3"}, {"左", ""}}) {
        Run run;
        run.inputs.header.text = "眉";
        run.inputs.header.alignment = combo;
        run.blocks(true, false, false).go();
        QCOMPARE(run.office.calls.filter("align "), code.isEmpty() ? QStringList() : QStringList{code});
        QCOMPARE(run.header(), code.isEmpty() ? QString("旧页眉") : QString("眉旧页眉"));
        QCOMPARE(run.host.log, QStringList{"/d/a.doc 页眉已写入内容"});
    }

    // Each row's own font, size and bold; bold is switched on when ticked and never off.
    Run run;
    run.inputs.footer.bold = true;
    run.inputs.header.fontName = "黑体";
    run.inputs.header.fontSize = "14";
    run.inputs.footer.fontName = "Arial";
    run.inputs.footer.fontSize = "9.5";
    run.blocks(true, true, false).go();
    QCOMPARE(run.office.calls.filter(QRegularExpression("^(seek [19]|font|size|bold)")),
             (QStringList{"seek 9", "font 黑体", "size 14", "seek 10", "font Arial", "size 9.5", "bold 1"}));
    QVERIFY(!run.office.calls.contains("bold 0"));

    // "删除页眉" with the header's box and an empty text: the header emptied, nothing typed,
    // the alignment applied, the line written.
    Run header;
    header.inputs.header.deleteFirst = true;
    header.blocks(true, false, false).go();
    QCOMPARE(header.header(), QString());
    QCOMPARE(header.office.calls.filter("align "), QStringList{"align 1"});
    QCOMPARE(header.host.log, QStringList{"/d/a.doc 页眉已写入内容"});

    // "删除页眉" alone leaves the header untouched.
    Run alone;
    alone.inputs.header.deleteFirst = true;
    alone.go();
    QCOMPARE(alone.header(), QString("旧页眉"));
    QVERIFY(alone.host.log.isEmpty());

    // "删除页脚" with the page number alone: the footer replaced by the number.
    Run number;
    number.inputs.footer.deleteFirst = true;
    number.blocks(false, false, true).go();
    QCOMPARE(number.footer(), kNumber);
}

void TestHeaderFooterWriter::progressOverThreeFilesAndNone()
{
    Run three({"/d/1.doc", "/d/2.docx", "/d/3.doc"});
    three.host.log << "earlier";
    three.blocks(false, false, true).go();
    QCOMPARE(three.host.label, QString("已完成 3 个文件！ 全部操作已完成"));
    QCOMPARE(three.host.log,
             (QStringList{"/d/1.doc 页码已写入", "/d/2.docx 页码已写入", "/d/3.doc 页码已写入"}));
    QCOMPARE(three.host.yields, 3);
    QCOMPARE(three.host.beeps, 1);
    // One document open at a time: each closed before the next opens; Quit at the end.
    const QStringList& calls = three.office.calls;
    QVERIFY(calls.indexOf("close /d/1.doc") < calls.indexOf("open /d/2.docx"));
    QCOMPARE(calls.last(), QString("quit"));

    // Nothing ticked: the instance is quit, the log emptied, the bar at 0, no beep.
    Run none;
    none.host.tick({"/d/a.doc"}, {});
    none.host.log << "earlier";
    none.blocks(false, false, true).go();
    QCOMPARE(none.office.calls, (QStringList{"create Word.Application", "quit"}));
    QVERIFY(none.host.log.isEmpty());
    QCOMPARE(none.host.value, 0);
    QCOMPARE(none.host.beeps, 0);
}

void TestHeaderFooterWriter::failingFilesAndBadSizes()
{
    Run run({"/d/1.doc", "/d/2.doc", "/d/3.doc", "/d/4.doc"});
    run.office.documents.remove("/d/2.doc");
    run.office.documents["/d/4.doc"].failSave = true;
    run.blocks(true, false, true);
    // The header's size is read again per file: not a number for the third one.
    run.host.onYield = [&] { run.inputs.header.fontSize = run.host.value == 2 ? "十" : "12"; };
    run.go();
    QCOMPARE(run.result.failures, 3);
    QCOMPARE(
        run.host.log,
        (QStringList{"/d/1.doc 页眉已写入内容", "/d/1.doc 页码已写入",
                     "/d/2.doc 打开失败，未修改：文件不存在", "/d/3.doc 写入失败，未修改：字号“十”不是数字",
                     "/d/4.doc 页眉已写入内容", "/d/4.doc 页码已写入",
                     "/d/4.doc 保存失败，未修改：只读文件，无法保存（此文件前面的行作废）"}));
    QCOMPARE(run.host.journalLines, run.host.log);
    // The third document: closed without a save, nothing written to it; the others go on.
    QCOMPARE(run.office.documents["/d/3.doc"].saves, 0);
    QCOMPARE(run.header("/d/3.doc"), QString("旧页眉"));
    const qsizetype opened = run.office.calls.indexOf("open /d/3.doc");
    QCOMPARE(run.office.calls.mid(opened, 4),
             (QStringList{"open /d/3.doc", "visible 0", "alerts -1", "close /d/3.doc"}));
    QCOMPARE(run.header("/d/4.doc"), QString("旧页眉"));

    // Out of Word's range: 0 and 2000 points.
    for (const QString size : {"0", "2000"}) {
        Run bad;
        bad.inputs.footer.fontSize = size;
        bad.blocks(false, true, false).go();
        QCOMPARE(bad.host.log,
                 QStringList{"/d/a.doc 写入失败，未修改：字号“" + size + "”不在 1 到 1638 之间"});
        QCOMPARE(bad.office.documents["/d/a.doc"].saves, 0);
    }
}

// The command line starts from the tab's defaults with Word chosen, ticks a
// block by giving its text, refuses an alignment the tab does not offer, and a
// worker rebuilds every input from the row's fields.
void TestHeaderFooterWriter::commandLineDefaultsAndChecks()
{
    const JobRow& row = *JobTable::forCommand("header-footer-write");
    QString problem;
    const auto defaults = std::any_cast<Inputs>(commandLineInputs(row, {}, &problem));
    QCOMPARE(problem, QString());
    const Inputs tab = tabDefaults();
    QVERIFY(defaults.wordChosen && !defaults.header.write && !defaults.footer.write);
    for (const auto& [read, expected] :
         {std::pair{defaults.header, tab.header}, std::pair{defaults.footer, tab.footer}})
        QCOMPARE(QStringList({read.fontName, read.fontSize, read.alignment}),
                 QStringList({expected.fontName, expected.fontSize, expected.alignment}));
    QCOMPARE(defaults.pageNumberPosition, tab.pageNumberPosition);

    const std::any given = commandLineInputs(row,
                                             {{"header", ""},
                                              {"footer", "脚"},
                                              {"footer-bold", ""},
                                              {"delete-footer", ""},
                                              {"page-number", ""},
                                              {"footer-size", "9.5"},
                                              {"footer-align", "居右"}},
                                             &problem);
    QCOMPARE(problem, QString());
    const auto rebuilt = std::any_cast<Inputs>(throughFields(row, given));
    QVERIFY(rebuilt.wordChosen && rebuilt.header.write && !rebuilt.header.bold &&
            !rebuilt.header.deleteFirst);
    QVERIFY(rebuilt.footer.write && rebuilt.footer.bold && rebuilt.footer.deleteFirst && rebuilt.pageNumber);
    QCOMPARE(QStringList({rebuilt.header.text, rebuilt.header.fontName, rebuilt.footer.text,
                          rebuilt.footer.fontSize, rebuilt.footer.alignment}),
             QStringList({"", "宋体", "脚", "9.5", "居右"}));

    commandLineInputs(row, {{"page-number-align", "居上"}}, &problem);
    QCOMPARE(problem, QString("unknown page-number-align \"居上\" (居左, 居中, 居右)"));
}

QTEST_GUILESS_MAIN(TestHeaderFooterWriter)
#include "tst_headerfooterwriter.moc"
