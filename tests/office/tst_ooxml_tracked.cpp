#include "support/CliRun.h"
#include "support/UnoReadBack.h"
#include "support/ZipFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// The lossless engine on documents a user would edit in Word: change tracking
// on, text boxes in line with the text. Read back through LibreOffice after
// accepting or rejecting every change, and as the pages render.
namespace {

const QByteArray kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
const QByteArray kNamespaces =
    " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""
    " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\""
    " xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\""
    " xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\""
    " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\""
    " xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\""
    " xmlns:v=\"urn:schemas-microsoft-com:vml\" mc:Ignorable=\"wps\"";

// A .docx: the body's content, a header (its content; none when empty), the
// settings' content; a hyperlink to https://example.org/ as rIdLink.
void writeDocx(const QString& path, const QByteArray& body, const QByteArray& header,
               const QByteArray& settings)
{
    QByteArray types = kDeclaration +
                       "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                       "<Default Extension=\"rels\" ContentType=\"application/"
                       "vnd.openxmlformats-package.relationships+xml\"/>"
                       "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                       "<Override PartName=\"/word/document.xml\" ContentType=\"application/"
                       "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
                       "<Override PartName=\"/word/settings.xml\" ContentType=\"application/"
                       "vnd.openxmlformats-officedocument.wordprocessingml.settings+xml\"/>";
    QByteArray rels =
        kDeclaration +
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rIdLink\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
        "2006/relationships/hyperlink\" Target=\"https://example.org/\" TargetMode=\"External\"/>"
        "<Relationship Id=\"rIdSettings\" Type=\"http://schemas.openxmlformats.org/"
        "officeDocument/2006/relationships/settings\" Target=\"settings.xml\"/>";
    QByteArray sectPr = "<w:sectPr>";
    ZipFiles::Parts parts;
    if (!header.isEmpty()) {
        types += "<Override PartName=\"/word/header1.xml\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.wordprocessingml.header+xml\"/>";
        rels += "<Relationship Id=\"rIdHeader\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                "relationships/header\" Target=\"header1.xml\"/>";
        sectPr += "<w:headerReference w:type=\"default\" r:id=\"rIdHeader\"/>";
        parts.append({"word/header1.xml", kDeclaration + "<w:hdr" + kNamespaces + ">" + header + "</w:hdr>"});
    }
    sectPr +=
        "<w:pgSz w:w=\"11906\" w:h=\"16838\"/><w:pgMar w:top=\"1440\" w:right=\"1440\" w:bottom=\"1440\" "
        "w:left=\"1440\" w:header=\"720\" w:footer=\"720\" w:gutter=\"0\"/></w:sectPr>";
    parts.prepend(
        {"word/settings.xml", kDeclaration + "<w:settings" + kNamespaces + ">" + settings + "</w:settings>"});
    parts.prepend({"word/_rels/document.xml.rels", rels + "</Relationships>"});
    parts.prepend({"word/document.xml", kDeclaration + "<w:document" + kNamespaces + "><w:body>" + body +
                                            sectPr + "</w:body></w:document>"});
    parts.prepend({"_rels/.rels",
                   kDeclaration +
                       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                       "relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
                       "officeDocument/2006/relationships/officeDocument\" Target=\"word/document.xml\"/>"
                       "</Relationships>"});
    parts.prepend({"[Content_Types].xml", types + "</Types>"});
    ZipFiles::write(path, parts);
}

QByteArray run(const QByteArray& text)
{
    return "<w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r>";
}

// A text box in line with the text, as Word 2010 and later write it: the
// drawing, and its VML copy for older readers.
QByteArray inlineTextBox(const QByteArray& text)
{
    const QByteArray content = "<w:txbxContent><w:p>" + run(text) + "</w:p></w:txbxContent>";
    return "<w:r><mc:AlternateContent><mc:Choice Requires=\"wps\"><w:drawing><wp:inline distT=\"0\" "
           "distB=\"0\" "
           "distL=\"0\" distR=\"0\"><wp:extent cx=\"1800000\" cy=\"400000\"/><wp:docPr id=\"1\" "
           "name=\"box\"/>"
           "<a:graphic><a:graphicData "
           "uri=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\">"
           "<wps:wsp><wps:cNvSpPr txBox=\"1\"/><wps:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext "
           "cx=\"1800000\" "
           "cy=\"400000\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></wps:spPr><wps:txbx>" +
           content +
           "</wps:txbx><wps:bodyPr/></wps:wsp></a:graphicData></a:graphic></wp:inline></w:drawing></"
           "mc:Choice>"
           "<mc:Fallback><w:pict><v:rect style=\"width:141.75pt;height:31.5pt\"><v:textbox>" +
           content + "</v:textbox></v:rect></w:pict></mc:Fallback></mc:AlternateContent></w:r>";
}

// A floating text box: anchored, placed on the page.
QByteArray floatingTextBox(const QByteArray& text, int top)
{
    const QByteArray content = "<w:txbxContent><w:p>" + run(text) + "</w:p></w:txbxContent>";
    return "<w:r><mc:AlternateContent><mc:Choice Requires=\"wps\"><w:drawing><wp:anchor distT=\"0\" "
           "distB=\"0\" "
           "distL=\"0\" distR=\"0\" simplePos=\"0\" relativeHeight=\"2\" behindDoc=\"0\" locked=\"0\" "
           "layoutInCell=\"1\" allowOverlap=\"1\"><wp:simplePos x=\"0\" y=\"0\"/><wp:positionH "
           "relativeFrom=\"column\"><wp:posOffset>3000000</wp:posOffset></wp:positionH><wp:positionV "
           "relativeFrom=\"paragraph\"><wp:posOffset>" +
           QByteArray::number(top) +
           "</wp:posOffset></wp:positionV><wp:extent cx=\"1800000\" cy=\"400000\"/><wp:wrapNone/><wp:docPr "
           "id=\"2\" name=\"floating\"/><a:graphic><a:graphicData "
           "uri=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\"><wps:wsp><wps:cNvSpPr "
           "txBox=\"1\"/><wps:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"1800000\" "
           "cy=\"400000\"/></a:xfrm>"
           "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></wps:spPr><wps:txbx>" +
           content +
           "</wps:txbx><wps:bodyPr/></wps:wsp></a:graphicData></a:graphic></wp:anchor></w:drawing></"
           "mc:Choice>"
           "<mc:Fallback><w:pict><v:rect style=\"position:absolute;margin-left:236pt;width:141.75pt;"
           "height:31.5pt\"><v:textbox>" +
           content + "</v:textbox></v:rect></w:pict></mc:Fallback></mc:AlternateContent></w:r>";
}

QString joined(const QStringList& pages)
{
    return pages.join(QLatin1Char('\n')).simplified();
}

} // namespace

class TestOoxmlTracked : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void trackedReplacementAcceptedAndRejected();
    void inlineAndFloatingTextBoxes();

private:
    QString file(const QString& name) { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestOoxmlTracked::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestOoxmlTracked::cleanupTestCase()
{
    UnoReadBack::shutdown();
}

void TestOoxmlTracked::trackedReplacementAcceptedAndRejected()
{
    const QByteArray date = "2024-01-02T03:04:05Z";
    // A bookmark around "Project" (split over two runs), a hyperlink on
    // "project site"; then a paragraph that earlier changes cut through:
    // "The pro" + deleted "gram" + inserted "ject plan", a deletion of a
    // whole "project", and text moved here holding "project".
    const QByteArray body =
        "<w:p>" + run("The Lifecycle of a ") + "<w:bookmarkStart w:id=\"0\" w:name=\"title\"/>" + run("Pro") +
        "<w:r><w:rPr><w:b/></w:rPr><w:t>ject</w:t></w:r><w:bookmarkEnd w:id=\"0\"/>" + run(", see the ") +
        "<w:hyperlink r:id=\"rIdLink\">" + run("project site") + "</w:hyperlink>" + run(".") + "</w:p>" +
        "<w:p>" + run("The pro") + "<w:del w:id=\"1\" w:author=\"Ann\" w:date=\"" + date +
        "\"><w:r><w:delText>gram</w:delText></w:r></w:del><w:ins w:id=\"2\" w:author=\"Ann\" w:date=\"" +
        date + "\">" + run("ject plan") + "</w:ins>" + run(" and no ") +
        "<w:del w:id=\"3\" w:author=\"Ann\" w:date=\"" + date +
        "\"><w:r><w:delText>project</w:delText></w:r></w:del>" + run("here.") + "</w:p>";
    const QString asWritten = file("tracked-as-written.docx");
    writeDocx(asWritten, body, "<w:p>" + run("Project header") + "</w:p>", "<w:trackRevisions/>");
    const QString path = file("tracked.docx");
    QVERIFY(QFile::copy(asWritten, path));

    const CliRun replaced = CliRun::of(
        {"word-replace", "--old", "project", "--new", "ZQXNEW", "--scope", "headers-footers", path},
        file("app"), [] {
            QProcessEnvironment e;
            e.insert("YANHE_ENGINE", "lossless");
            return e;
        }());
    QVERIFY2(replaced.out.value(0) == path + " 已替换内容",
             qPrintable(replaced.out.join('\n') + replaced.err));

    // What the document said before, once its own changes are resolved.
    const UnoReadBack::Resolved acceptedBefore = UnoReadBack::resolveChanges(asWritten, true);
    const UnoReadBack::Resolved rejectedBefore = UnoReadBack::resolveChanges(asWritten, false);
    QVERIFY(acceptedBefore.loaded && rejectedBefore.loaded);
    QCOMPARE(acceptedBefore.body.split('\n').value(1), QString("The project plan and no here."));

    const UnoReadBack::Resolved accepted = UnoReadBack::resolveChanges(path, true);
    QVERIFY(accepted.loaded);
    QVERIFY2(accepted.changes > acceptedBefore.changes, qPrintable(QString::number(accepted.changes)));
    QCOMPARE(accepted.body, QString(acceptedBefore.body).replace("project", "ZQXNEW", Qt::CaseInsensitive));
    QCOMPARE(accepted.body.split('\n'), QStringList({"The Lifecycle of a ZQXNEW, see the ZQXNEW site.",
                                                     "The ZQXNEW plan and no here."}));
    // The bookmark holds the new text, the hyperlink still leads where it did.
    QCOMPARE(accepted.bookmarks, QStringList({"title=ZQXNEW"}));
    QCOMPARE(accepted.hyperlinks, QStringList({"ZQXNEW site -> https://example.org/"}));
    const QString acceptedPages = joined(accepted.pages);
    QVERIFY2(acceptedPages.contains("The Lifecycle of a ZQXNEW, see the ZQXNEW site."),
             qPrintable(acceptedPages));
    QVERIFY2(acceptedPages.contains("ZQXNEW header"), qPrintable(acceptedPages));
    QVERIFY2(!acceptedPages.contains("roject"), qPrintable(acceptedPages));

    const UnoReadBack::Resolved rejected = UnoReadBack::resolveChanges(path, false);
    QVERIFY(rejected.loaded);
    QCOMPARE(rejected.body, rejectedBefore.body);
    QCOMPARE(rejected.bookmarks, rejectedBefore.bookmarks);
    QCOMPARE(rejected.hyperlinks, rejectedBefore.hyperlinks);
    QCOMPARE(joined(rejected.pages), joined(rejectedBefore.pages));
    QVERIFY(!joined(rejected.pages).contains("ZQXNEW"));

    // The file itself opens without a question and shows the changes as recorded.
    const UnoReadBack::Document shown = UnoReadBack::readDocument(path);
    QVERIFY(shown.loaded);
    QCOMPARE(shown.requests, QStringList());
}

void TestOoxmlTracked::inlineAndFloatingTextBoxes()
{
    const QByteArray body = "<w:p>" + run("正文 旧词") + "</w:p><w:p>" + inlineTextBox("框一 旧词") +
                            "</w:p><w:p>" + run("锚点") + floatingTextBox("框二 旧词", 400000) + "</w:p>";
    const QByteArray header = "<w:p>" + inlineTextBox("眉框一 旧词") + run(" 页眉") + "</w:p>";
    const QString docx = file("boxes.docx");
    writeDocx(docx, body, header, {});
    // The same document as Word 97-2003 writes it.
    const QString doc = file("boxes.doc");
    QVERIFY(UnoReadBack::saveAs(docx, doc, "MS Word 97"));
    const QString before = joined(UnoReadBack::pages(docx));
    for (const char* text : {"框一 旧词", "框二 旧词", "眉框一 旧词"})
        QVERIFY2(before.contains(QString::fromUtf8(text)), qPrintable(before));

    struct Case
    {
        QString engine;
        QString source;
    };
    for (const Case& c : {Case{"lossless", docx}, Case{"libreoffice", docx}, Case{"libreoffice", doc}}) {
        const QString folder = file(c.engine + "-" + QFileInfo(c.source).suffix());
        QDir().mkpath(folder);
        const QString path = QDir(folder).filePath(QFileInfo(c.source).fileName());
        QVERIFY(QFile::copy(c.source, path));
        QProcessEnvironment environment;
        environment.insert("YANHE_ENGINE", c.engine);
        const CliRun replaced = CliRun::of(
            {"word-replace", "--old", "旧词", "--new", "新词", "--scope", "textboxes,header-textboxes", path},
            file("app"), environment);
        QVERIFY2(replaced.out.value(0) == path + " 已替换内容",
                 qPrintable(replaced.out.join('\n') + replaced.err));
        const QString pages = joined(UnoReadBack::pages(path));
        for (const char* text : {"正文 新词", "框一 新词", "框二 新词", "眉框一 新词"})
            QVERIFY2(pages.contains(QString::fromUtf8(text)), qPrintable(c.engine + ": " + pages));
        QVERIFY2(!pages.contains(QString::fromUtf8("旧词")), qPrintable(c.engine + ": " + pages));
    }
}

QTEST_GUILESS_MAIN(TestOoxmlTracked)
#include "tst_ooxml_tracked.moc"
