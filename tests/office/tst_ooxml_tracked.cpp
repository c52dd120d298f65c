#include "support/CliRun.h"
#include "support/UnoReadBack.h"
#include "support/ZipFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// Text boxes in line with the text and floating ones, as Word writes them,
// replaced by each engine and read back as the pages render.
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

// A .docx of the body's content and a header's content.
void writeDocx(const QString& path, const QByteArray& body, const QByteArray& header)
{
    const QByteArray relationships =
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    const QByteArray relationship =
        "<Relationship Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships/";
    const QByteArray type = "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.";
    ZipFiles::write(
        path,
        {{"[Content_Types].xml",
          kDeclaration +
              "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
              "<Default Extension=\"rels\" ContentType=\"application/"
              "vnd.openxmlformats-package.relationships+xml\"/>"
              "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
              "<Override PartName=\"/word/document.xml\" " +
              type + "document.main+xml\"/><Override PartName=\"/word/header1.xml\" " + type +
              "header+xml\"/></Types>"},
         {"_rels/.rels", kDeclaration + relationships + relationship +
                             "officeDocument\" Id=\"rId1\" Target=\"word/document.xml\"/></Relationships>"},
         {"word/document.xml",
          kDeclaration + "<w:document" + kNamespaces + "><w:body>" + body +
              "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"rIdHeader\"/>"
              "<w:pgSz w:w=\"11906\" w:h=\"16838\"/><w:pgMar w:top=\"1440\" w:right=\"1440\" "
              "w:bottom=\"1440\" w:left=\"1440\" w:header=\"720\" w:footer=\"720\" w:gutter=\"0\"/>"
              "</w:sectPr></w:body></w:document>"},
         {"word/_rels/document.xml.rels",
          kDeclaration + relationships + relationship +
              "header\" Id=\"rIdHeader\" Target=\"header1.xml\"/></Relationships>"},
         {"word/header1.xml", kDeclaration + "<w:hdr" + kNamespaces + ">" + header + "</w:hdr>"}});
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

void TestOoxmlTracked::inlineAndFloatingTextBoxes()
{
    const QByteArray body = "<w:p>" + run("正文 旧词") + "</w:p><w:p>" + inlineTextBox("框一 旧词") +
                            "</w:p><w:p>" + run("锚点") + floatingTextBox("框二 旧词", 400000) + "</w:p>";
    const QByteArray header = "<w:p>" + inlineTextBox("眉框一 旧词") + run(" 页眉") + "</w:p>";
    const QString docx = file("boxes.docx");
    writeDocx(docx, body, header);
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
