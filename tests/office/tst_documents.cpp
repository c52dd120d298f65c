#include "app/FailureText.h"
#include "app/RuntimeError.h"
#include "office/OfficeRegistry.h"
#include "office/libreoffice/UnoOffice.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"
#include "support/WordReadBack.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>

// What the LibreOffice engine refuses, keeps and reaches in documents and
// workbooks that the tests make: files it must not load for editing, files it
// must not rewrite, marks around replaced text, shapes, Word's kinds of headers.
namespace {

QStringList texts(const QList<word::ShapePtr>& shapes)
{
    QStringList result;
    for (const word::ShapePtr& shape : shapes)
        result << shape->textFrameTextRange()->text();
    result.sort();
    return result;
}

} // namespace

class TestDocuments : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void refusedBeforeLoading();
    void marksAroundReplacedTextKeepTheirBounds_data();
    void marksAroundReplacedTextKeepTheirBounds();
    void cellHyperlinksStayLinks_data() { suffixes({"xlsx", "xls"}); }
    void cellHyperlinksStayLinks();
    void shapesWithTextAreReachedOthersSkipped_data() { suffixes({"docx", "doc"}); }
    void shapesWithTextAreReachedOthersSkipped();
    void headersMapAlikeForDocAndDocx_data() { suffixes({"docx", "doc"}); }
    void headersMapAlikeForDocAndDocx();
    void everyFailureInsideACallBecomesRuntimeError();

private:
    QTemporaryDir m_dir;
};

void TestDocuments::refusedBeforeLoading()
{
    QByteArray noise(65536, '\0');
    for (char& byte : noise)
        byte = char(QRandomGenerator::global()->bounded(256));
    UnoDocuments::writeWorkbook(m_dir.filePath("book.xlsx"), {{"表", {{1, 1, "OLD"}}}});
    UnoDocuments::writeDocument(m_dir.filePath("words.docx"), {{"OLD"}, {}, {}, {}, {}});
    UnoDocuments::writeDocument(m_dir.filePath("secret.doc"), {{"机密 OLD"}, {}, {}, {}, {}}, "pw");
    UnoDocuments::writeDocument(m_dir.filePath("locked.docx"), {{"OLD"}, {}, {}, {}, {}});
    writeFile(m_dir.filePath(".~lock.locked.docx#"),
              ",someone else,otherhost,05.12.2026 09:00,file:///home/someone/.config/libreoffice/4;");
    QVERIFY(QFile::copy(QStringLiteral(YANHE_CORPUS "/doc/Word95.doc"), m_dir.filePath("Word95.doc")));
    // Each file: the bytes written there (none when null), given to the Excel job or not, why refused.
    const struct
    {
        QString name;
        QByteArray content;
        bool workbook;
        QString why;
    } cases[] = {
        {"random.docx", noise, false, FailureText::notWordDocument()},
        {"text.doc", "OLD is plain text, not a document\n", false, FailureText::notWordDocument()},
        {"zero.docx", "", false, FailureText::notWordDocument()},
        {"zero.doc", "", false, FailureText::notWordDocument()},
        {"zero.xlsx", "", true, FailureText::notWorkbook()},
        {"table.xls", "a,b,OLD\n1,2,3\n", true, FailureText::notWorkbook()},
        {"broken.docx", "PK\x03\x04 this is not a document at all", false, FailureText::damaged()},
        {"book.xlsx", {}, false, FailureText::notWordDocument()},
        {"words.docx", {}, true, FailureText::notWorkbook()},
        {"secret.doc", {}, false, FailureText::encrypted()},
        {"locked.docx", {}, false, FailureText::lockedBy("someone else")},
        {"missing.docx", {}, false, FailureText::missing()},
        {"Word95.doc", {}, false, FailureText::cannotSaveFormat("Microsoft Word 95")},
    };

    word::ApplicationPtr word = OfficeRegistry::system().createWordProcessor("Word.Application");
    sheet::ApplicationPtr excel = OfficeRegistry::system().createSpreadsheet("Excel.Application");
    for (const auto& each : cases) {
        const QString path = m_dir.filePath(each.name);
        if (!each.content.isNull())
            writeFile(path, each.content);
        QFile file(path); // its time set well in the past, so that any write shows
        QVERIFY(!file.exists() || (file.open(QIODevice::ReadWrite) &&
                                   file.setFileTime(QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5)),
                                                    QFileDevice::FileModificationTime)));
        file.close();
        const QByteArray before = bytes(path);
        const QDateTime time = QFileInfo(path).lastModified();
        QElapsedTimer timer;
        timer.start();
        try {
            if (each.workbook)
                excel->workbooksOpen(path);
            else
                word->documentsOpen(path);
            QFAIL(qPrintable("opened " + each.name));
        } catch (const RuntimeError& error) {
            QCOMPARE(error.description(), each.why);
        }
        QVERIFY2(timer.elapsed() < 30000, qPrintable(each.name));
        QCOMPARE(bytes(path), before);
        QCOMPARE(QFileInfo(path).lastModified(), time);
        QCOMPARE(QFileInfo::exists(path), each.name != "missing.docx");
    }
    // Only the other user's lock file is there: the refused files left none behind.
    QCOMPARE(leftovers(m_dir.path()), QStringList{m_dir.filePath(".~lock.locked.docx#")});
    word->quit();
    excel->quit();
}

void TestDocuments::marksAroundReplacedTextKeepTheirBounds_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("inside");
    // The engine replaces inside soffice (one Basic call), or call by call over
    // the pipe when a soffice cannot run Basic: both keep the bounds.
    for (const bool inside : {true, false}) {
        for (const QString suffix : {"docx", "doc"})
            QTest::newRow(qPrintable(suffix + (inside ? "" : ", call by call")))
                << (inside ? "marked." : "marked-calls.") + suffix << inside;
    }
}

void TestDocuments::marksAroundReplacedTextKeepTheirBounds()
{
    QFETCH(QString, name);
    QFETCH(bool, inside);
    const QString path = m_dir.filePath(name);
    qputenv("YANHE_ENGINE_SCRIPTS", inside ? "1" : "0");
    const auto restore = qScopeGuard([] { qunsetenv("YANHE_ENGINE_SCRIPTS"); });
    UnoDocuments::writeMarkedDocument(path);
    const UnoDocuments::Inventory before = UnoDocuments::inventory(path);
    QVERIFY2(before.bookmarks.contains("_Ref1=Table 1"), qPrintable(before.bookmarks.join('|')));
    QVERIFY(before.hyperlinks.contains("Table web -> http://example.com/web"));

    word::ApplicationPtr word = OfficeRegistry::system().createWordProcessor("Word.Application");
    word::DocumentPtr document = word->documentsOpen(path);
    document->content()->replaceAll("table", "表格");
    document->save();
    word->quit();

    const UnoDocuments::Inventory after = UnoDocuments::inventory(path);
    QCOMPARE(after.counts, before.counts);
    QVERIFY2(after.bookmarks.contains("_Ref1=表格 1"), qPrintable(after.bookmarks.join('|')));
    QVERIFY2(after.bookmarks.contains("whole=表格"), qPrintable(after.bookmarks.join('|')));
    QCOMPARE(after.hyperlinks, QStringList{"表格 web -> http://example.com/web"});
    // What a reader sees: the sentence whole, and the cross-reference showing the new text.
    const QString pages = UnoDocuments::rendered(path).simplified();
    QVERIFY2(pages.contains("See 表格 1. Link: 表格 web end 表格"), qPrintable(pages));
    QVERIFY2(pages.contains("Ref: 表格 1"), qPrintable(pages));
}

void TestDocuments::cellHyperlinksStayLinks()
{
    QFETCH(QString, suffix);
    const QString path = m_dir.filePath("links." + suffix);
    UnoDocuments::writeLinkedWorkbook(path);
    const UnoDocuments::Inventory before = UnoDocuments::inventory(path);
    QCOMPARE(before.hyperlinks.size(), 2);

    sheet::ApplicationPtr excel = OfficeRegistry::system().createSpreadsheet("Excel.Application");
    sheet::WorkbookPtr book = excel->workbooksOpen(path);
    book->worksheets(1)->cellsReplace("table", "表格");
    book->close(true);
    book = excel->workbooksOpen(path);
    QCOMPARE(book->worksheets(1)->cell(3, 1), QString("plain 表格"));
    QVERIFY(book->worksheets(1)->cell(3, 2).contains("表格 f"));
    book->close(false);
    excel->quit();

    const UnoDocuments::Inventory after = UnoDocuments::inventory(path);
    QCOMPARE(after.counts, before.counts);
    QCOMPARE(after.hyperlinks,
             (QStringList{"表格 web -> http://example.com/a", "Before 表格 link -> http://example.com/b"}));
}

void TestDocuments::shapesWithTextAreReachedOthersSkipped()
{
    QFETCH(QString, suffix);
    const QString path = m_dir.filePath("shapes." + suffix);
    UnoDocuments::writeShapesDocument(path);
    const UnoDocuments::Inventory before = UnoDocuments::inventory(path);
    QCOMPARE(before.counts.value("pictures"), 2);

    word::ApplicationPtr word = OfficeRegistry::system().createWordProcessor("Word.Application");
    word::DocumentPtr document = word->documentsOpen(path);
    // The frame, the text shape and the group's text shape; no picture, line or empty rectangle.
    QCOMPARE(texts(document->shapes()), (QStringList{"框 OLD", "画 OLD", "组 OLD"}));
    const word::HeaderFooterPtr header = document->sections().at(0)->headers(1);
    QCOMPARE(texts(header->shapes()), QStringList{"眉画 OLD"});
    for (const word::ShapePtr& shape : document->shapes()) {
        QVERIFY(shape->textFrameTextRange()->findExecute("old"));
        shape->textFrameTextRange()->replaceAll("old", "新");
    }
    for (const word::ShapePtr& shape : header->shapes())
        shape->textFrameTextRange()->replaceAll("OLD", "新");
    document->save();
    word->quit();

    WordState saved = readBack(path);
    saved.boxes.sort();
    QCOMPARE(saved.boxes, (QStringList{"框 新", "画 新", "组 新"}));
    QCOMPARE(saved.headerBox, QString("眉画 新"));
    QCOMPARE(saved.body, QString("正文 OLD"));
    const UnoDocuments::Inventory after = UnoDocuments::inventory(path);
    QCOMPARE(after.counts, before.counts);
}

void TestDocuments::headersMapAlikeForDocAndDocx()
{
    QFETCH(QString, suffix);
    const QString path = m_dir.filePath("headers." + suffix);
    UnoDocuments::writeHeadersDocument(path);

    word::ApplicationPtr word = OfficeRegistry::system().createWordProcessor("Word.Application");
    word::DocumentPtr document = word->documentsOpen(path);
    const auto kinds = [](const word::SectionPtr& section) {
        QStringList shown;
        for (qint16 index = 1; index <= 3; ++index)
            shown << section->headers(index)->range()->text() << section->footers(index)->range()->text();
        return shown;
    };
    QList<word::SectionPtr> sections = document->sections();
    QCOMPARE(sections.size(), 2);
    QCOMPARE(kinds(sections.at(0)), (QStringList{"主页眉 OLD", "主页脚 OLD", "首页眉 OLD", "首页脚 OLD",
                                                 "偶页眉 OLD", "偶页脚 OLD"}));
    // Even pages differ throughout a document: the second section's are its own, alike.
    QCOMPARE(kinds(sections.at(1)),
             (QStringList{"二节页眉 OLD", "二节页脚 OLD", "", "", "二节页眉 OLD", "二节页脚 OLD"}));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, sections.at(0)->headers(4));

    // Headers(1) of every section, as the replace job's scope does: the primary ones only.
    for (const word::SectionPtr& section : sections)
        section->headers(1)->range()->replaceAll("OLD", "甲");
    // SeekView on the first page reaches what that page shows: the first-page header and footer.
    word->setSeekView(word::kSeekCurrentPageHeader);
    word->selection()->findReplaceAll("OLD", "乙");
    word->setSeekView(word::kSeekCurrentPageFooter);
    word->selection()->findReplaceAll("OLD", "丙");
    word->setSeekView(word::kSeekMainDocument);
    document->save();
    word->quit();

    word = OfficeRegistry::system().createWordProcessor("Word.Application");
    sections = word->documentsOpen(path)->sections();
    QCOMPARE(kinds(sections.at(0)),
             (QStringList{"主页眉 甲", "主页脚 OLD", "首页眉 乙", "首页脚 丙", "偶页眉 OLD", "偶页脚 OLD"}));
    QCOMPARE(kinds(sections.at(1)).first(), QString("二节页眉 甲"));
    word->quit();

    // What the pages show: the first page, an even page, an odd page, and the
    // second section on an even page, with its own even header.
    const QStringList pages = UnoDocuments::rendered(path).split('\f');
    QVERIFY2(pages.size() >= 4, qPrintable(pages.join("|")));
    QVERIFY2(pages.at(0).contains("首页眉 乙") && pages.at(0).contains("首页脚 丙"), qPrintable(pages.at(0)));
    QVERIFY2(pages.at(1).contains("偶页眉 OLD"), qPrintable(pages.at(1)));
    QVERIFY2(pages.at(2).contains("主页眉 甲"), qPrintable(pages.at(2)));
    QVERIFY2(pages.at(3).contains("二节页眉 OLD"), qPrintable(pages.at(3)));
}

void TestDocuments::everyFailureInsideACallBecomesRuntimeError()
{
    using namespace com::sun::star;
    using rtl::OUString;
    using unooffice::toOUString;
    unooffice::UnoOffice office;
    office.loadUrl("private:factory/swriter");
    const qint64 first = office.pid();
    QVERIFY(first > 0);
    const auto failureOf = [&](const std::function<void()>& f) -> RuntimeError {
        try {
            office.call(f);
        } catch (const RuntimeError& error) {
            return error;
        }
        return RuntimeError(0, "no failure");
    };
    RuntimeError error = failureOf([] { throw std::runtime_error("boom"); });
    QCOMPARE(error.description(), FailureText::officeFailed());
    QCOMPARE(error.detail(), QString("boom"));
    error = failureOf([] { throw 42; });
    QCOMPARE(error.description(), FailureText::officeFailed());
    error = failureOf([] { throw uno::RuntimeException(OUString("inside")); });
    QCOMPARE(error.description(), FailureText::officeFailed());
    QVERIFY2(error.detail().contains("com.sun.star.uno.RuntimeException"), qPrintable(error.detail()));
    QCOMPARE(office.pid(), first);
    // The engine's Basic runs inside soffice; a failure there (here a text
    // given where the document belongs) comes back as the document's failure, at once, with
    // no dialog left waiting in soffice.
    const auto document = office.loadUrl("private:factory/swriter");
    const uno::Reference<text::XTextDocument> text(document, uno::UNO_QUERY_THROW);
    text->getText()->setString(toOUString("Basic 在 soffice 里"));
    const std::optional<uno::Any> found =
        office.runScript(unooffice::EngineScripts::kFindInStory,
                         {uno::Any(text), uno::Any(text->getText()), uno::Any(OUString("SOFFICE"))});
    QVERIFY2(found.has_value(), "the engine's Basic library did not run");
    QCOMPARE(found->get<sal_Int32>(), 1);
    const std::optional<uno::Any> runs =
        office.runScript(unooffice::EngineScripts::kRunTexts, {uno::Any(text->getText())});
    QVERIFY(runs.has_value());
    QCOMPARE(runs->get<uno::Sequence<OUString>>().getLength(), 1);
    QElapsedTimer timer;
    timer.start();
    error = failureOf([&] {
        office.runScript(unooffice::EngineScripts::kReplaceInStory,
                         {uno::Any(text->getText()), uno::Any(text->getText()), uno::Any(OUString("Basic")),
                          uno::Any(OUString("x"))});
    });
    QCOMPARE(error.description(), FailureText::officeFailed());
    QVERIFY2(error.detail().startsWith("Basic error"), qPrintable(error.detail()));
    QVERIFY(timer.elapsed() < 10000);
    QCOMPARE(office.pid(), first);
    QCOMPARE(unooffice::toQString(text->getText()->getString()), QString("Basic 在 soffice 里"));
    // A connection that is gone: the soffice is given up, the next call starts a fresh one.
    error = failureOf([] { throw lang::DisposedException(OUString("gone")); });
    QCOMPARE(error.description(), FailureText::stopped());
    // The journal says how it ended: here it still ran, and was ended then.
    QVERIFY2(error.detail().contains(QString("soffice %1 still runs").arg(first)),
             qPrintable(error.detail()));
    QVERIFY(!office.running());
    office.loadUrl("private:factory/swriter");
    QVERIFY(office.running() && office.pid() != first);
    office.terminate();
}

QTEST_GUILESS_MAIN(TestDocuments)
#include "tst_documents.moc"
