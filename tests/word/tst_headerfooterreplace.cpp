#include "support/FakeOffice.h"
#include "support/MemoryJobHost.h"
#include "word/HeaderFooterReplace.h"

#include <QTest>

using namespace HeaderFooterReplace;

namespace {

FakeOffice::DocumentFile document()
{
    FakeOffice::DocumentFile file;
    file.body.text = "正文 原文本";
    file.sections.first().header.range.text = "页眉 原文本";
    file.sections.first().footer.range.text = "页脚 原文本 旧";
    return file;
}

Inputs boxes(bool header, bool footer)
{
    return {header, "原文本", "新文本", footer, "旧", "新"};
}

} // namespace

class TestHeaderFooterReplace : public QObject
{
    Q_OBJECT
private slots:
    void footerOnlyAndBoth();
    void threeDocumentsOneQuitNothingReported();
    void noneTickedAndFailures();
};

void TestHeaderFooterReplace::footerOnlyAndBoth()
{
    FakeOffice office;
    office.documents["/d/a.doc"] = document();
    MemoryJobHost host;
    host.tick({"/d/a.doc"}, {0});
    Command7(host, office, [] { return boxes(false, true); });
    // Only the footer pair, through the footer view; the header and the body keep their text.
    QCOMPARE(office.documents["/d/a.doc"].sections.at(0).footer.range.text, QString("页脚 原文本 新"));
    QCOMPARE(office.documents["/d/a.doc"].sections.at(0).header.range.text, QString("页眉 原文本"));
    QCOMPARE(office.documents["/d/a.doc"].body.text, QString("正文 原文本"));
    QCOMPARE(office.calls, (QStringList{"create word.Application", "open /d/a.doc", "seek 10",
                                        "replace 旧 > 新", "seek 0", "save /d/a.doc", "quit"}));

    office.documents["/d/a.doc"] = document();
    office.calls.clear();
    Command7(host, office, [] { return boxes(true, true); });
    QCOMPARE(office.calls.mid(2, 6), (QStringList{"seek 9", "replace 原文本 > 新文本", "seek 0", "seek 10",
                                                  "replace 旧 > 新", "seek 0"}));
    QCOMPARE(office.documents["/d/a.doc"].sections.at(0).header.range.text, QString("页眉 新文本"));
    // The footer's own pair: its "原文本" is not the header's.
    QCOMPARE(office.documents["/d/a.doc"].sections.at(0).footer.range.text, QString("页脚 原文本 新"));
}

void TestHeaderFooterReplace::threeDocumentsOneQuitNothingReported()
{
    FakeOffice office;
    const QStringList paths{"/d/1.doc", "/d/2.doc", "/d/3.doc"};
    for (const QString& path : paths)
        office.documents[path] = document();
    MemoryJobHost host;
    host.tick(paths, {0, 1, 2});
    host.log << "an earlier job's line";
    host.label = "before";
    const Result result = Command7(host, office, [] { return boxes(true, false); });
    QCOMPARE(result.failures, 0);
    QCOMPARE(office.calls.count("quit"), 1);
    QCOMPARE(office.calls.last(), QString("quit"));
    for (const QString& path : paths) {
        QCOMPARE(office.documents[path].saves, 1);
        QCOMPARE(office.documents[path].sections.at(0).header.range.text, QString("页眉 新文本"));
    }
    // No lines, no journal, no bar, no yield, no beep; only the closing text says it ran.
    QVERIFY(host.log.isEmpty());
    QVERIFY(host.journalLines.isEmpty());
    QCOMPARE(host.value, -1);
    QVERIFY(host.maxima.isEmpty());
    QVERIFY(!host.visible);
    QCOMPARE(host.label, QString("全部操作已完成"));
    QCOMPARE(host.yields, 0);
    QCOMPARE(host.beeps, 0);
}

void TestHeaderFooterReplace::noneTickedAndFailures()
{
    FakeOffice office;
    office.documents["/d/a.doc"] = document();
    MemoryJobHost none;
    none.tick({"/d/a.doc"}, {});
    Command7(none, office, [] { return boxes(true, true); });
    QCOMPARE(office.calls, (QStringList{"create word.Application", "quit"}));

    // Neither box: every ticked document is still opened and saved, unchanged.
    office.calls.clear();
    MemoryJobHost host;
    host.tick({"/d/a.doc"}, {0});
    Command7(host, office, [] { return boxes(false, false); });
    QCOMPARE(office.calls,
             (QStringList{"create word.Application", "open /d/a.doc", "save /d/a.doc", "quit"}));
    QCOMPARE(office.documents["/d/a.doc"].sections.at(0).header.range.text, QString("页眉 原文本"));

    // A missing file and one that cannot be saved get their lines; the others go on.
    office.documents["/d/b.doc"] = document();
    office.documents["/d/b.doc"].failSave = true;
    MemoryJobHost failing;
    failing.tick({"/d/gone.doc", "/d/b.doc", "/d/a.doc"}, {0, 1, 2});
    const Result result = Command7(failing, office, [] { return boxes(true, false); });
    QCOMPARE(result.failures, 2);
    QCOMPARE(failing.log.size(), 2);
    QCOMPARE(failing.log.at(0), QString("/d/gone.doc 打开失败，未修改：文件不存在"));
    QVERIFY(failing.log.at(1).startsWith("/d/b.doc 保存失败，未修改："));
    QCOMPARE(failing.journalLines.size(), 2);
    QCOMPARE(office.documents["/d/a.doc"].sections.at(0).header.range.text, QString("页眉 新文本"));
}

QTEST_GUILESS_MAIN(TestHeaderFooterReplace)
#include "tst_headerfooterreplace.moc"
