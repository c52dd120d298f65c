#include "jobs/JobTable.h"
#include "support/FakeOffice.h"
#include "support/MemoryJobHost.h"
#include "word/HeaderFooterWriter.h"

#include <QTest>

using namespace HeaderFooterWriter;

namespace {

struct Run
{
    FakeOffice office;
    MemoryJobHost host;
    // The tab's defaults, as the window starts, Word chosen.
    Inputs inputs{true,
                  {false, false, {}, "宋体", "10", false, "居中"},
                  {false, false, {}, "宋体", "10", false, "居左"},
                  false,
                  "居中"};
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
    void blocksByTheirBoxes_data();
    void blocksByTheirBoxes();
    void footerAndPageNumberLayouts_data();
    void footerAndPageNumberLayouts();
    void fontBoldAndDelete();
    void failingFilesAndBadSizes();
};

// Each block by its box, with the header's alignment codes: 居中 1, 居右 2, 居左 3 (not 0); another
// text types nothing and aligns nothing. The text goes before what the part holds.
void TestHeaderFooterWriter::blocksByTheirBoxes_data()
{
    QTest::addColumn<QList<bool>>("boxes"); // header, footer, page number
    QTest::addColumn<QString>("alignment"); // the header's
    QTest::addColumn<QStringList>("views"); // the calls from entering the first view to leaving the last
    QTest::addColumn<QStringList>("parts"); // header and footer afterwards
    QTest::addColumn<QStringList>("log");
    const QStringList font{"font 宋体", "size 10"};
    const QStringList header = QStringList{"seek 9"} + font + QStringList{"type 眉", "align 1", "seek 0"};
    const QStringList number{"type 第", "field 33", "type 页"};
    const QString h = "/d/a.doc 页眉已写入内容";
    QTest::newRow("header") << QList<bool>{true, false, false} << "居中" << header
                            << QStringList{"眉旧页眉", "旧页脚"} << QStringList{h};
    QTest::newRow("header right") << QList<bool>{true, false, false} << "居右"
                                  << QStringList{"seek 9"} + font +
                                         QStringList{"type 眉", "align 2", "seek 0"}
                                  << QStringList{"眉旧页眉", "旧页脚"} << QStringList{h};
    QTest::newRow("header left") << QList<bool>{true, false, false} << "居左"
                                 << QStringList{"seek 9"} + font + QStringList{"type 眉", "align 3", "seek 0"}
                                 << QStringList{"眉旧页眉", "旧页脚"} << QStringList{h};
    QTest::newRow("header other") << QList<bool>{true, false, false} << "左"
                                  << QStringList{"seek 9"} + font + QStringList{"seek 0"}
                                  << QStringList{"旧页眉", "旧页脚"} << QStringList{h};
    QTest::newRow("footer") << QList<bool>{false, true, false} << "居中"
                            << QStringList{"seek 10"} + font + QStringList{"type 脚", "align 3", "seek 0"}
                            << QStringList{"旧页眉", "脚旧页脚"} << QStringList{"/d/a.doc 页脚已写入内容"};
    // The number's line before leaving the view.
    QTest::newRow("number") << QList<bool>{false, false, true} << "居中"
                            << QStringList{"seek 10"} + font + number + QStringList{"align 1", "seek 0"}
                            << QStringList{"旧页眉", kNumber + "旧页脚"}
                            << QStringList{"/d/a.doc 页码已写入"};
    // Footer text and number: the combined block only, after the header; one save, one close.
    QTest::newRow("all") << QList<bool>{true, true, true} << "居中"
                         << header + QStringList{"seek 10"} + font +
                                QStringList{"type 脚" + QString(26, ' ')} + number +
                                QStringList{"align 3", "seek 0"}
                         << QStringList{"眉旧页眉", "脚" + QString(26, ' ') + kNumber + "旧页脚"}
                         << QStringList{h, "/d/a.doc 页码和页脚已写入内容"};
}

void TestHeaderFooterWriter::blocksByTheirBoxes()
{
    QFETCH(QList<bool>, boxes);
    QFETCH(QStringList, views);
    Run run;
    run.inputs.header.text = "眉";
    run.inputs.footer.text = "脚";
    QFETCH(QString, alignment);
    run.inputs.header.alignment = alignment;
    run.blocks(boxes[0], boxes[1], boxes[2]).go();
    QCOMPARE(run.office.calls,
             (QStringList{"create Word.Application", "open /d/a.doc", "visible 0", "alerts -1"} + views +
              QStringList{"save /d/a.doc", "close /d/a.doc", "quit"}));
    QTEST(QStringList({run.header(), run.footer()}), "parts");
    QTEST(run.host.log, "log");
    QCOMPARE(run.host.journalLines, run.host.log);
    QCOMPARE(run.office.documents["/d/a.doc"].saves, 1);

    // Word not chosen: the button does nothing at all.
    Run off;
    off.inputs.wordChosen = false;
    off.host.log << "earlier";
    off.blocks(boxes[0], boxes[1], boxes[2]).go();
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

void TestHeaderFooterWriter::fontBoldAndDelete()
{
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

QTEST_GUILESS_MAIN(TestHeaderFooterWriter)
#include "tst_headerfooterwriter.moc"
