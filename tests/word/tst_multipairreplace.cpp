#include "support/FakeOffice.h"
#include "support/MemoryJobHost.h"
#include "word/MultiPairReplace.h"

#include <QTest>

using namespace MultiPairReplace;

namespace {

const QString kDefaultOld = "学习目标|经典例说|夯实基础|能力提升|拓展提高";
const QString kDefaultNew = "成功点要|预习指导|预习自测|尝试探索|拓展训练";

// A body, a page text box, and per section a header and a footer, each with a text box.
FakeOffice::DocumentFile document(const QString& text, int sections = 1)
{
    FakeOffice::DocumentFile file;
    file.body.text = "正文 " + text;
    file.shapes.append({"框 " + text});
    file.sections.clear();
    for (int i = 0; i < sections; ++i) {
        FakeOffice::Section section;
        section.header.range.text = QString("页眉%1 ").arg(i) + text;
        section.footer.range.text = QString("页脚%1 ").arg(i) + text;
        section.header.shapes.append({"页眉框 " + text});
        section.footer.shapes.append({"页脚框 " + text});
        file.sections.append(section);
    }
    return file;
}

std::function<Inputs()> lists(const QString& oldTexts, const QString& newTexts, Scopes scopes = {})
{
    return [=] { return Inputs{oldTexts, newTexts, scopes}; };
}

} // namespace

class TestMultiPairReplace : public QObject
{
    Q_OBJECT
private slots:
    void defaultListsOnDocumentsWithoutThem();
    void listsSplitAndPaired();
    void listsReadAgainPerDocument();
    void scopesInTheirOwnOrder();
    void oneDocumentNoneAndFailures();
};

void TestMultiPairReplace::defaultListsOnDocumentsWithoutThem()
{
    FakeOffice office;
    office.documents["/d/1.doc"] = document("无关");
    office.documents["/d/2.docx"] = document("无关");
    MemoryJobHost host;
    host.tick({"/d/1.doc", "/d/2.docx"}, {0, 1});
    host.log << "earlier";
    host.label = "before";

    const Result result = Command9(host, office, lists(kDefaultOld, kDefaultNew));
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
    QCOMPARE(host.journalLines.first(), QString("/d/1.doc 未找到内容学习目标"));
    QCOMPARE(host.journalLines, journal);
    QCOMPARE(host.maxima, (QList<int>{1, 2}));
    QCOMPARE(host.value, 2);
    QVERIFY(host.visible);
    // The status line shows the last path: no progress text, no closing text, no beep.
    QCOMPARE(host.label, QString("/d/2.docx"));
    QCOMPARE(host.beeps, 0);
    QCOMPARE(host.yields, 4); // after each open and each progress step
    // Always Word; every document saved and left open until the one Quit.
    QCOMPARE(office.calls, (QStringList{"create word.Application", "open /d/1.doc", "save /d/1.doc",
                                        "open /d/2.docx", "save /d/2.docx", "quit"}));
}

void TestMultiPairReplace::listsSplitAndPaired()
{
    FakeOffice office;
    office.documents["/d/a.doc"] = document("a b c");
    MemoryJobHost host;
    host.tick({"/d/a.doc"}, {0});

    // Three pairs; the middle one searches the empty text (finding nothing), z goes with b.
    Command9(host, office, lists("a||b", "x|y|z", {true, true, true}));
    QCOMPARE(host.log, (QStringList{"/d/a.doc 已替换内容", "/d/a.doc 未找到内容", "/d/a.doc 已替换内容"}));
    QCOMPARE(host.journalLines,
             (QStringList{"/d/a.doc 已替换内容a", "/d/a.doc 未找到内容", "/d/a.doc 已替换内容b"}));
    FakeOffice::DocumentFile saved = office.documents["/d/a.doc"];
    QCOMPARE(saved.body.text, QString("正文 x z c"));
    QCOMPARE(saved.shapes.at(0).text, QString("框 x z c"));
    QCOMPARE(saved.sections.at(0).footer.shapes.at(0).text, QString("页脚框 x z c"));

    // A pair without a new entry is reported and skipped, in the body and in every scope.
    office.documents["/d/a.doc"] = document("a b c");
    host.journalLines.clear();
    Command9(host, office, lists("a|b", "x", {true, true, true}));
    QCOMPARE(host.log, (QStringList{"/d/a.doc 已替换内容", "/d/a.doc 缺少对应的新文本：b"}));
    QCOMPARE(host.journalLines, (QStringList{"/d/a.doc 已替换内容a", "/d/a.doc 缺少对应的新文本：b"}));
    saved = office.documents["/d/a.doc"];
    QCOMPARE(saved.body.text, QString("正文 x b c"));
    QCOMPARE(saved.shapes.at(0).text, QString("框 x b c"));
    QCOMPARE(saved.sections.at(0).header.range.text, QString("页眉0 x b c"));
    QCOMPARE(saved.sections.at(0).header.shapes.at(0).text, QString("页眉框 x b c"));

    // Entries are not trimmed: " b" is not "b".
    office.documents["/d/a.doc"] = document("a b c");
    Command9(host, office, lists("a| c", "x|Y"));
    QCOMPARE(office.documents["/d/a.doc"].body.text, QString("正文 x bY"));

    // An empty old box: no pairs, no lines; the document is still opened, saved and counted.
    office.calls.clear();
    host.journalLines.clear();
    Command9(host, office, lists("", "x|y"));
    QVERIFY(host.log.isEmpty());
    QVERIFY(host.journalLines.isEmpty());
    QCOMPARE(office.calls,
             (QStringList{"create word.Application", "open /d/a.doc", "save /d/a.doc", "quit"}));
    QCOMPARE(host.value, 1);
}

void TestMultiPairReplace::listsReadAgainPerDocument()
{
    FakeOffice office;
    office.documents["/d/1.doc"] = document("旧 甲");
    office.documents["/d/2.doc"] = document("旧 甲");
    MemoryJobHost host;
    host.tick({"/d/1.doc", "/d/2.doc"}, {0, 1});
    QString oldTexts = "旧";
    // Edited during the first document's progress yield: the second document reads the new lists.
    host.onYield = [&] {
        if (host.value == 1)
            oldTexts = "甲";
    };
    Command9(host, office, [&] { return Inputs{oldTexts, "新", {}}; });
    QCOMPARE(office.documents["/d/1.doc"].body.text, QString("正文 新 甲"));
    QCOMPARE(office.documents["/d/2.doc"].body.text, QString("正文 旧 新"));
    QCOMPARE(host.journalLines, (QStringList{"/d/1.doc 已替换内容旧", "/d/2.doc 已替换内容甲"}));
}

void TestMultiPairReplace::scopesInTheirOwnOrder()
{
    FakeOffice office;
    office.documents["/d/s.doc"] = document("旧", 3);
    MemoryJobHost host;
    host.tick({"/d/s.doc"}, {0});

    // Check9(1): the header and footer text of every section, not their text boxes nor page boxes.
    Scopes headers;
    headers.headersFooters = true;
    Command9(host, office, lists("旧", "新", headers));
    FakeOffice::DocumentFile saved = office.documents["/d/s.doc"];
    QCOMPARE(saved.body.text, QString("正文 新"));
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(saved.sections.at(i).header.range.text, QString("页眉%1 新").arg(i));
        QCOMPARE(saved.sections.at(i).footer.range.text, QString("页脚%1 新").arg(i));
    }
    QCOMPARE(saved.sections.at(0).header.shapes.at(0).text, QString("页眉框 旧"));
    QCOMPARE(saved.shapes.at(0).text, QString("框 旧"));
    QCOMPARE(host.log, QStringList{"/d/s.doc 已替换内容"}); // scope passes write no lines

    // Check9(2): the text boxes of section 1's header and footer only; Check9(0): the page's boxes.
    office.documents["/d/s.doc"] = document("旧", 3);
    Scopes boxes;
    boxes.headerFooterTextBoxes = true;
    boxes.pageTextBoxes = true;
    Command9(host, office, lists("旧", "新", boxes));
    saved = office.documents["/d/s.doc"];
    QCOMPARE(saved.shapes.at(0).text, QString("框 新"));
    QCOMPARE(saved.sections.at(0).header.shapes.at(0).text, QString("页眉框 新"));
    QCOMPARE(saved.sections.at(0).footer.shapes.at(0).text, QString("页脚框 新"));
    QCOMPARE(saved.sections.at(1).header.shapes.at(0).text, QString("页眉框 旧"));
    QCOMPARE(saved.sections.at(0).header.range.text, QString("页眉0 旧"));

    // The scope passes run when the body holds none of the text.
    FakeOffice::DocumentFile onlyBox = document("无");
    onlyBox.shapes[0].text = "框 旧";
    office.documents["/d/s.doc"] = onlyBox;
    Scopes page;
    page.pageTextBoxes = true;
    Command9(host, office, lists("旧", "新", page));
    QCOMPARE(host.log, QStringList{"/d/s.doc 未找到内容"});
    QCOMPARE(office.documents["/d/s.doc"].shapes.at(0).text, QString("框 新"));
}

void TestMultiPairReplace::oneDocumentNoneAndFailures()
{
    FakeOffice office;
    office.documents["/d/1.doc"] = document("甲");
    MemoryJobHost one;
    one.tick({"/d/1.doc", "/d/2.doc"}, {0});
    Command9(one, office, lists("甲", "乙"));
    QCOMPARE(one.value, 1);
    QCOMPARE(one.label, QString("/d/1.doc"));

    // Nothing ticked: the log emptied, the bar at 0, no Quit.
    MemoryJobHost none;
    none.tick({"/d/1.doc"}, {});
    none.log << "earlier";
    office.calls.clear();
    const Result empty = Command9(none, office, lists("甲", "乙"));
    QCOMPARE(empty.total, 0);
    QVERIFY(none.log.isEmpty());
    QCOMPARE(none.value, 0);
    QCOMPARE(office.calls, QStringList{"create word.Application"});

    // A file that cannot be opened and one that cannot be saved: their lines, and the run goes on.
    office.documents["/d/1.doc"] = document("甲");
    office.documents["/d/2.doc"] = document("甲");
    office.documents["/d/2.doc"].failSave = true;
    office.documents["/d/4.doc"] = document("甲");
    MemoryJobHost host;
    host.tick({"/d/1.doc", "/d/2.doc", "/d/3.doc", "/d/4.doc"}, {0, 1, 2, 3});
    const Result result = Command9(host, office, lists("甲", "乙"));
    QCOMPARE(result.failures, 2);
    QCOMPARE(host.log.size(), 5);
    QCOMPARE(host.log.at(0), QString("/d/1.doc 已替换内容"));
    QCOMPARE(host.log.at(1), QString("/d/2.doc 已替换内容"));
    QVERIFY2(host.log.at(2).startsWith("/d/2.doc 保存失败，未修改："), qPrintable(host.log.at(2)));
    QCOMPARE(host.log.at(3), QString("/d/3.doc 打开失败，未修改：文件不存在"));
    QCOMPARE(host.log.at(4), QString("/d/4.doc 已替换内容"));
    QCOMPARE(office.documents["/d/2.doc"].body.text, QString("正文 甲"));
    QCOMPARE(office.documents["/d/4.doc"].body.text, QString("正文 乙"));
    QCOMPARE(host.value, 4);
    QCOMPARE(host.label, QString("/d/4.doc"));
    QCOMPARE(office.calls.last(), QString("quit"));
}

QTEST_GUILESS_MAIN(TestMultiPairReplace)
#include "tst_multipairreplace.moc"
