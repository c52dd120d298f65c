#include "app/RuntimeError.h"
#include "office/OfficeRegistry.h"
#include "office/OwnProcesses.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"
#include "support/WordReadBack.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

const UnoDocuments::WordContent kWord{
    {"正文里的 OLD 文字", "第二段 old"},
    {"文本框一 OLD", "文本框二 没有"},
    {"页眉一 OLD", "页眉二 OLD", "页眉三"},
    {"页脚一 OLD", "页脚二", "页脚三 OLD"},
    "页眉文本框 OLD",
};

} // namespace

class TestLibreOffice : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void wordModelAndReplaceScopes_data() { suffixes({"docx", "doc"}); }
    void wordModelAndReplaceScopes();
    void workbooks_data() { suffixes({"xlsx", "xls"}); }
    void workbooks();
    void crashAndTimeoutEndOnlyOurSoffice();

private:
    QTemporaryDir m_dir;
};

void TestLibreOffice::wordModelAndReplaceScopes()
{
    QFETCH(QString, suffix);
    const QString path = m_dir.filePath("scopes." + suffix);
    UnoDocuments::writeDocument(path, kWord);
    const QByteArray magic = bytes(path).left(4);

    word::ApplicationPtr word = OfficeRegistry::system().createWordProcessor("WORD.application");
    word::DocumentPtr document = word->documentsOpen(path);

    // The model: main text only in Content, two text boxes, three sections, one header text box.
    word::RangePtr content = document->content();
    QVERIFY(content->text().contains("正文里的 OLD 文字"));
    QVERIFY(!content->text().contains("页眉"));
    QVERIFY(!content->text().contains("文本框一"));
    QVERIFY(content->findExecute("old")); // any letter case, as Word finds
    QVERIFY(!content->findExecute("页眉一"));
    QVERIFY(!content->findExecute(""));
    const QList<word::ShapePtr> shapes = document->shapes();
    QCOMPARE(shapes.size(), 2);
    const QList<word::SectionPtr> sections = document->sections();
    QCOMPARE(sections.size(), 3);
    QCOMPARE(sections.at(1)->headers(1)->range()->text(), QString("页眉二 OLD"));
    QCOMPARE(sections.at(2)->footers(1)->range()->text(), QString("页脚三 OLD"));
    QCOMPARE(sections.at(0)->headers(1)->shapes().size(), 1);
    QCOMPARE(sections.at(0)->footers(1)->shapes().size(), 0);

    // The body only.
    content->replaceAll("OLD", "NEW");
    QCOMPARE(content->text().split('\n').mid(0, 2), (QStringList{"正文里的 NEW 文字", "第二段 NEW"}));
    QCOMPARE(shapes.at(0)->textFrameTextRange()->text(), QString("文本框一 OLD"));
    QCOMPARE(sections.at(0)->headers(1)->range()->text(), QString("页眉一 OLD"));
    // One text box, one section's header, the header's text box.
    shapes.at(0)->textFrameTextRange()->replaceAll("OLD", "框");
    sections.at(1)->headers(1)->range()->replaceAll("OLD", "眉");
    sections.at(0)->headers(1)->shapes().at(0)->textFrameTextRange()->replaceAll("OLD", "内");
    document->save();
    // Range.Delete empties a header (after the save: Quit drops it).
    sections.at(2)->headers(1)->range()->Delete();
    QCOMPARE(sections.at(2)->headers(1)->range()->text(), QString());
    QCOMPARE(word->documents().size(), 1);
    word->quit();

    // Read back from the file: changed where asked, nothing else; same format.
    QCOMPARE(bytes(path).left(4), magic);
    const WordState saved = readBack(path);
    QVERIFY(saved.body.contains("正文里的 NEW 文字"));
    QCOMPARE(saved.boxes, (QStringList{"文本框一 框", "文本框二 没有"}));
    QCOMPARE(saved.headers, (QStringList{"页眉一 OLD", "页眉二 眉", "页眉三"}));
    QCOMPARE(saved.footers, (QStringList{"页脚一 OLD", "页脚二", "页脚三 OLD"}));
    QCOMPARE(saved.headerBox, QString("页眉文本框 内"));
}

void TestLibreOffice::workbooks()
{
    QFETCH(QString, suffix);
    const QString path = m_dir.filePath("book." + suffix);
    UnoDocuments::writeWorkbook(path, {{"一月", {{1, 1, "abc"}}},
                                       {"二月", {{2, 2, "xx OLD yy"}, {3, 1, "old"}}},
                                       {"三月", {{1, 1, "旧"}}}});
    const QByteArray magic = bytes(path).left(4);

    // Program identifiers in any letter case; creating costs nothing (soffice starts with the first
    // document); WPS is not on this machine.
    QElapsedTimer timer;
    timer.start();
    sheet::ApplicationPtr excel = OfficeRegistry::system().createSpreadsheet("excel.application");
    QVERIFY(timer.elapsed() < 1000);
    QVERIFY(excel->version().contains('.') && !excel->defaultValue().isEmpty());
    for (const QString& wps : {QString("ET.Application"), QString("KET.Application")}) {
        try {
            OfficeRegistry::system().createSpreadsheet(wps);
            QFAIL("WPS is not on this machine");
        } catch (const RuntimeError& error) {
            QCOMPARE(error.number(), 429);
        }
        QVERIFY_THROWS_EXCEPTION(RuntimeError, OfficeRegistry::system().createWordProcessor(wps));
    }
    excel->setVisible(false);
    sheet::WorkbookPtr book = excel->workbooksOpen(path);
    QCOMPARE(book->worksheetsCount(), 3);
    QStringList names;
    for (int i = 1; i <= 3; ++i) {
        book->sheetsActivate(i);
        names << book->worksheets(i)->name();
    }
    QCOMPARE(names, (QStringList{"一月", "二月", "三月"}));
    QVERIFY(!book->worksheets(1)->cellsFind("OLD"));
    sheet::WorksheetPtr second = book->worksheets(2);
    QVERIFY(second->cellsFind("OLD"));
    second->cellsReplace("OLD", "NEW"); // part of a cell, any case
    book->worksheets(3)->setCell(3, 2, "x");
    QVERIFY_THROWS_EXCEPTION(RuntimeError, book->worksheets(3)->setCell(0, 1, "y"));
    QCOMPARE(excel->workbooks().size(), 1);
    book->close(true);
    QCOMPARE(excel->workbooks().size(), 0);
    excel->quit();

    QCOMPARE(bytes(path).left(4), magic);
    excel = OfficeRegistry::system().createSpreadsheet("Excel.Application");
    book = excel->workbooksOpen(path);
    QCOMPARE(book->worksheets(2)->cell(2, 2), QString("xx NEW yy"));
    QCOMPARE(book->worksheets(2)->cell(3, 1), QString("NEW"));
    QCOMPARE(book->worksheets(1)->cell(1, 1), QString("abc"));
    QCOMPARE(book->worksheets(3)->cell(3, 2), QString("x"));
    book->close(false);
    excel->quit();
}

void TestLibreOffice::crashAndTimeoutEndOnlyOurSoffice()
{
    const QString a = m_dir.filePath("a.docx"), b = m_dir.filePath("b.docx"), c = m_dir.filePath("c.doc");
    for (const auto& [path, text] : {std::pair{a, "甲 OLD"}, {b, "乙 OLD"}, {c, "丙 OLD"}})
        UnoDocuments::writeDocument(path, {{text}, {}, {}, {}, {}});

    word::ApplicationPtr word = OfficeRegistry::system().createWordProcessor("Word.Application");
    // The engines' soffices, children of this test, but those in except.
    const auto engines = [](const QList<qint64>& except) {
        QList<qint64> found = sofficesOf();
        found.removeIf([&](qint64 pid) { return !OwnProcesses::contains(pid) || except.contains(pid); });
        return found;
    };
    word::DocumentPtr first = word->documentsOpen(a);
    const QList<qint64> crashed = engines({});
    QVERIFY(!crashed.isEmpty());

    // The office program crashes under a document: that document fails, the next works.
    for (const qint64 pid : crashed)
        ::kill(pid_t(pid), SIGKILL);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, first->content()->replaceAll("OLD", "NEW"));
    word::DocumentPtr second = word->documentsOpen(b);
    second->content()->replaceAll("OLD", "NEW");
    second->save();
    QVERIFY(second->content()->text().contains("乙 NEW"));

    // It hangs: the call is bounded, our soffice ended, and the next document works again.
    // Long enough for a loaded machine to start soffice and load a document at a tenth of a
    // core (what counts as busy), short enough for the test.
    qputenv("YANHE_OFFICE_TIMEOUT_MS", "15000");
    const QList<qint64> others = sofficesOf();
    word::ApplicationPtr slow = OfficeRegistry::system().createWordProcessor("Word.Application");
    word::DocumentPtr frozen = slow->documentsOpen(a);
    const QList<qint64> hung = engines(others);
    QCOMPARE(hung.size(), 1);
    for (const qint64 pid : hung)
        ::kill(pid_t(pid), SIGSTOP);
    QElapsedTimer timer;
    timer.start();
    QVERIFY_THROWS_EXCEPTION(RuntimeError, frozen->content()->findExecute("OLD"));
    QVERIFY(timer.elapsed() < 60000);
    QVERIFY(slow->documentsOpen(c)->content()->findExecute("丙"));
    // A document that the other engine holds open is locked for this one: an error, no wait.
    QVERIFY_THROWS_EXCEPTION(RuntimeError, slow->documentsOpen(b));
    qunsetenv("YANHE_OFFICE_TIMEOUT_MS");
    // The other engine's soffice was not touched.
    QVERIFY(second->content()->findExecute("乙"));
    slow->quit();
    word->quit();
}

QTEST_GUILESS_MAIN(TestLibreOffice)
#include "tst_libreoffice.moc"
