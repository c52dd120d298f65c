#include "app/RuntimeError.h"
#include "office/ooxml/CellFormula.h"
#include "office/ooxml/Refusal.h"
#include "office/ooxml/SheetEngine.h"
#include "office/ooxml/WordEngine.h"
#include "office/ooxml/WorkBound.h"
#include "support/ZipFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <pugixml.hpp>

// The lossless engine on packages made here part by part: Word's find and
// replace and the header and footer writer on WordprocessingML, Excel's
// replace and cell writing on SpreadsheetML, what a save writes, and
// packages that must be refused.
namespace {

const QByteArray kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
const QByteArray kWordNamespaces =
    " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""
    " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\""
    " xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\""
    " xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\""
    " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\""
    " xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\""
    " xmlns:v=\"urn:schemas-microsoft-com:vml\""
    " xmlns:m=\"http://schemas.openxmlformats.org/officeDocument/2006/math\"";
const QByteArray kPng = QByteArray::fromBase64(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhfDwAChwGA60e6kgAAAABJRU5ErkJggg==");

QByteArray paragraph(const QByteArray& text)
{
    return "<w:p><w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r></w:p>";
}

// A text box as Word writes one: the drawing, and its VML copy for older readers.
QByteArray textBox(const QByteArray& text)
{
    const QByteArray content = "<w:txbxContent>" + paragraph(text) + "</w:txbxContent>";
    return "<w:r><mc:AlternateContent><mc:Choice "
           "Requires=\"wps\"><w:drawing><wp:anchor><a:graphic><a:graphicData>"
           "<wps:wsp><wps:txbx>" +
           content +
           "</wps:txbx></wps:wsp></a:graphicData></a:graphic></wp:anchor></w:drawing></mc:Choice>"
           "<mc:Fallback><w:pict><v:rect style=\"position:absolute;width:100pt\"><v:textbox>" +
           content + "</v:textbox></v:rect></w:pict></mc:Fallback></mc:AlternateContent></w:r>";
}

// A .docx with body (the content of w:body) and header or footer parts
// ("header1" -> its paragraphs), each reachable through the relationship
// named like it; plus a picture kept uncompressed.
void writeDocx(const QString& path, const QByteArray& body,
               const QList<QPair<QString, QByteArray>>& stories = {}, const QByteArray& settings = {})
{
    QByteArray types = kDeclaration +
                       "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                       "<Default Extension=\"rels\" ContentType=\"application/"
                       "vnd.openxmlformats-package.relationships+xml\"/>"
                       "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                       "<Default Extension=\"png\" ContentType=\"image/png\"/>"
                       "<Override PartName=\"/word/document.xml\" ContentType=\"application/"
                       "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>";
    QByteArray rels = kDeclaration +
                      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                      "relationships\"><Relationship Id=\"rIdImage\" "
                      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                      "image\" Target=\"media/image1.png\"/>";
    ZipFiles::Parts parts;
    for (const auto& [name, content] : stories) {
        const QByteArray kind = name.startsWith("header") ? "header" : "footer";
        const QByteArray root = kind == "header" ? "w:hdr" : "w:ftr";
        types += "<Override PartName=\"/word/" + name.toUtf8() +
                 ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml." +
                 kind + "+xml\"/>";
        rels += "<Relationship Id=\"" + name.toUtf8() +
                "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" + kind +
                "\" Target=\"" + name.toUtf8() + ".xml\"/>";
        parts.append({"word/" + name + ".xml",
                      kDeclaration + "<" + root + kWordNamespaces + ">" + content + "</" + root + ">"});
    }
    if (!settings.isEmpty()) {
        types += "<Override PartName=\"/word/settings.xml\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.wordprocessingml.settings+xml\"/>";
        rels +=
            "<Relationship Id=\"rIdSettings\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
            "relationships/settings\" Target=\"settings.xml\"/>";
        parts.append({"word/settings.xml",
                      kDeclaration + "<w:settings" + kWordNamespaces + ">" + settings + "</w:settings>"});
    }
    types += "</Types>";
    rels += "</Relationships>";
    parts.prepend({"word/_rels/document.xml.rels", rels});
    parts.prepend({"word/document.xml", kDeclaration + "<w:document" + kWordNamespaces + "><w:body>" + body +
                                            "</w:body></w:document>"});
    parts.prepend({"_rels/.rels",
                   kDeclaration +
                       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                       "relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
                       "officeDocument/2006/relationships/officeDocument\" Target=\"word/document.xml\"/>"
                       "</Relationships>"});
    parts.prepend({"[Content_Types].xml", types});
    parts.append({"word/media/image1.png", kPng});
    ZipFiles::write(path, parts, {"word/media/image1.png"});
}

std::unique_ptr<pugi::xml_document> xmlOf(const QString& path, const QString& part)
{
    auto document = std::make_unique<pugi::xml_document>();
    const QByteArray bytes = ZipFiles::read(path).value(part);
    document->load_buffer(bytes.constData(), size_t(bytes.size()),
                          pugi::parse_default | pugi::parse_ws_pcdata);
    return document;
}

int count(const pugi::xml_document& document, const char* xpath)
{
    return int(document.select_nodes(xpath).size());
}

QString value(const pugi::xml_document& document, const char* xpath)
{
    return QString::fromUtf8(document.select_node(xpath).node().text().get());
}

QString attribute(const pugi::xml_document& document, const char* xpath)
{
    return QString::fromUtf8(document.select_node(xpath).attribute().value());
}

struct Snapshot
{
    QByteArray bytes;
    QDateTime modified;
    static Snapshot of(const QString& path)
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return {file.readAll(), QFileInfo(path).lastModified()};
    }
    bool operator==(const Snapshot& other) const
    {
        return bytes == other.bytes && modified == other.modified;
    }
};

// A workbook: sheets (name, the content of sheetData, and more of the worksheet after it), the shared
// strings.
struct SheetPart
{
    QByteArray name;
    QByteArray data;
    QByteArray after;
    bool chart = false;
};

const QByteArray kSheetNs =
    " xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\""
    " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";

void writeXlsx(const QString& path, const QList<SheetPart>& sheets, const QByteArray& strings,
               const ZipFiles::Parts& extra = {}, const QByteArray& workbookExtra = {})
{
    QByteArray types = kDeclaration +
                       "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                       "<Default Extension=\"rels\" ContentType=\"application/"
                       "vnd.openxmlformats-package.relationships+xml\"/>"
                       "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                       "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
                       "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                       "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/"
                       "vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
                       "<Override PartName=\"/xl/styles.xml\" ContentType=\"application/"
                       "vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>";
    QByteArray rels = kDeclaration +
                      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                      "relationships\">"
                      "<Relationship Id=\"rIdS\" Type=\"http://schemas.openxmlformats.org/"
                      "officeDocument/2006/relationships/sharedStrings\" Target=\"sharedStrings.xml\"/>"
                      "<Relationship Id=\"rIdT\" Type=\"http://schemas.openxmlformats.org/"
                      "officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>";
    QByteArray list;
    ZipFiles::Parts parts;
    int n = 0;
    for (const SheetPart& sheet : sheets) {
        ++n;
        const QByteArray kind = sheet.chart ? "chartsheet" : "worksheet";
        const QByteArray part =
            (sheet.chart ? "chartsheets/sheet" : "worksheets/sheet") + QByteArray::number(n) + ".xml";
        types += "<Override PartName=\"/xl/" + part +
                 "\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.spreadsheetml." +
                 kind + "+xml\"/>";
        rels += "<Relationship Id=\"rId" + QByteArray::number(n) +
                "\" Type=\"http://schemas.openxmlformats.org/"
                "officeDocument/2006/relationships/" +
                kind + "\" Target=\"" + part + "\"/>";
        list += "<sheet name=\"" + sheet.name + "\" sheetId=\"" + QByteArray::number(n) + "\" r:id=\"rId" +
                QByteArray::number(n) + "\"/>";
        parts.append({"xl/" + part, sheet.chart
                                        ? kDeclaration + "<chartsheet" + kSheetNs + "/>"
                                        : kDeclaration + "<worksheet" + kSheetNs + "><sheetData>" +
                                              sheet.data + "</sheetData>" + sheet.after + "</worksheet>"});
    }
    for (const auto& [name, bytes] : extra) {
        if (name.endsWith(".rels") || name.startsWith("[") || name == "xl/styles.xml")
            continue;
        if (name.startsWith("xl/calcChain"))
            rels += "<Relationship Id=\"rIdC\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                    "relationships/calcChain\" Target=\"calcChain.xml\"/>";
        types += "<Override PartName=\"/" + name.toUtf8() +
                 "\" ContentType=\"application/vnd.openxmlformats-"
                 "officedocument.spreadsheetml." +
                 (name.contains("table") ? "table" : "calcChain") + "+xml\"/>";
    }
    types += "</Types>";
    rels += "</Relationships>";
    ZipFiles::Parts all = {
        {"[Content_Types].xml", types},
        {"_rels/.rels", kDeclaration +
                            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                            "relationships\"><Relationship Id=\"rId1\" Type=\"http://"
                            "schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
                            "Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml", kDeclaration + "<workbook" + kSheetNs + "><sheets>" + list + "</sheets>" +
                                workbookExtra + "</workbook>"},
        {"xl/_rels/workbook.xml.rels", rels},
        {"xl/sharedStrings.xml", kDeclaration + "<sst" + kSheetNs + ">" + strings + "</sst>"},
        {"xl/styles.xml",
         kDeclaration + "<styleSheet" + kSheetNs +
             "><numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"yyyy&quot;年&quot;m&quot;月"
             "&quot;\"/></numFmts><cellXfs count=\"3\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/>"
             "<xf numFmtId=\"164\"/></cellXfs></styleSheet>"},
    };
    all << parts << extra;
    ZipFiles::write(path, all);
}

// A paragraph's text once every tracked change is accepted (or rejected).
QString resolvedText(pugi::xml_node node, bool accept, bool shown = true)
{
    QString text;
    for (const pugi::xml_node child : node.children()) {
        const std::string_view name = child.name();
        bool childShown = shown;
        if (name == "w:ins" || name == "w:moveTo")
            childShown = shown && accept;
        else if (name == "w:del" || name == "w:moveFrom")
            childShown = shown && !accept;
        if ((name == "w:t" || name == "w:delText") && childShown)
            text += QString::fromUtf8(child.text().get());
        else
            text += resolvedText(child, accept, childShown);
    }
    return text;
}

QStringList resolvedParagraphs(const pugi::xml_document& document, bool accept)
{
    QStringList paragraphs;
    for (const pugi::xpath_node& p : document.select_nodes("//w:body/w:p"))
        paragraphs << resolvedText(p.node(), accept);
    return paragraphs;
}

quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFF;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

QByteArray le(quint32 value, int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
    return bytes;
}

// A zip written as some other tools write theirs: entries stored, sizes in a data
// descriptor after the data, an extended-timestamp extra field, Unix attributes, a
// folder entry and a comment. Each entry's local record and central record (offset
// field left out) are put in records for comparing.
QByteArray handMadeZip(const ZipFiles::Parts& parts, QMap<QString, QPair<QByteArray, QByteArray>>& records)
{
    QByteArray file;
    QByteArray directory;
    ZipFiles::Parts all = parts;
    all.insert(1, {"docProps/", QByteArray()});
    for (const auto& [name, data] : std::as_const(all)) {
        const QByteArray extra = QByteArray("UT") + le(5, 2) + char(1) + le(0x5F000000, 4);
        const quint32 crc = crc32(data);
        const quint16 flags = 0x0008;
        QByteArray local = le(0x04034b50, 4) + le(10, 2) + le(flags, 2) + le(0, 2) + le(0x7A21, 2) +
                           le(0x5A81, 2) + le(0, 4) + le(0, 4) + le(0, 4) +
                           le(quint32(name.toUtf8().size()), 2) + le(quint32(extra.size()), 2) +
                           name.toUtf8() + extra + data + le(0x08074b50, 4) + le(crc, 4) +
                           le(quint32(data.size()), 4) + le(quint32(data.size()), 4);
        QByteArray central = le(0x02014b50, 4) + le(0x031E, 2) + le(10, 2) + le(flags, 2) + le(0, 2) +
                             le(0x7A21, 2) + le(0x5A81, 2) + le(crc, 4) + le(quint32(data.size()), 4) +
                             le(quint32(data.size()), 4) + le(quint32(name.toUtf8().size()), 2) +
                             le(quint32(extra.size()), 2) + le(0, 2) + le(0, 2) + le(0, 2) +
                             le(name.endsWith('/') ? 0x41ED0010 : 0x81A40000, 4);
        records[name] = {local, central + name.toUtf8() + extra};
        directory += central + le(quint32(file.size()), 4) + name.toUtf8() + extra;
        file += local;
    }
    const QByteArray comment = "made by hand";
    return file + directory + le(0x06054b50, 4) + le(0, 2) + le(0, 2) + le(quint32(all.size()), 2) +
           le(quint32(all.size()), 2) + le(quint32(directory.size()), 4) + le(quint32(file.size()), 4) +
           le(quint32(comment.size()), 2) + comment;
}

} // namespace

class TestOoxml : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void findAndReplaceAcrossRuns();
    void textBoxesAndStoriesApart();
    void trackedChangesRecorded();
    void inlineTextBoxesReached();
    void longWorkIsBounded();
    void headersAndFootersBySection();
    void writerTypesIntoHeadersAndFooters();
    void saveWritesOnlyWhatChanged();
    void workbookReplace();
    void workbookFormulas();
    void sharedFormulaShifting();
    void formulasTheReplaceWouldBreak();
    void cellWriting();
    void hostilePackagesRefused();
    void declinedFilesGoElsewhere();
    void partsKeepTheirBytes();
    void zipEntriesCopiedAsStored();
    void strictRefused();

private:
    QString file(const QString& name) { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestOoxml::findAndReplaceAcrossRuns()
{
    const QString path = file("runs.docx");
    writeDocx(
        path,
        // "Hello World" over three runs, a bookmark and a hyperlink; a field whose
        // code holds the text; deleted and inserted text.
        "<w:p><w:r><w:rPr><w:b/></w:rPr><w:t>Hel</w:t></w:r><w:bookmarkStart w:id=\"0\" w:name=\"mark\"/>"
        "<w:r><w:rPr><w:i/></w:rPr><w:t xml:space=\"preserve\">lo Wor</w:t></w:r><w:bookmarkEnd w:id=\"0\"/>"
        "<w:hyperlink r:id=\"rIdImage\"><w:r><w:t>ld</w:t></w:r></w:hyperlink>"
        "<w:r><w:t xml:space=\"preserve\"> and hello world</w:t></w:r></w:p>"
        "<w:p><w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText> HYPERLINK \"code\" "
        "</w:instrText></w:r><w:r><w:fldChar w:fldCharType=\"separate\"/></w:r><w:r><w:t>shown</w:t></w:r>"
        "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r><w:del><w:r><w:delText>gone</w:delText></w:r></w:del>"
        "<w:ins><w:r><w:t>added</w:t></w:r></w:ins><w:r><w:tab/><w:t>tab</w:t></w:r></w:p>");
    word::ApplicationPtr word = ooxml::createWordProcessor();
    word::DocumentPtr document = word->documentsOpen(path);
    const word::RangePtr content = document->content();
    QVERIFY(content->findExecute("hello WORLD"));
    QVERIFY(content->findExecute("shown"));
    QVERIFY(content->findExecute("added"));
    QVERIFY(!content->findExecute("code"));     // a field's code is not its text
    QVERIFY(!content->findExecute("gone"));     // deleted text is not there
    QVERIFY(!content->findExecute("addedtab")); // nor across a tab
    QVERIFY(!content->findExecute(""));

    content->replaceAll("hello world", " Hi");
    content->replaceAll("gone", "back");
    content->replaceAll("code", "other");
    QCOMPARE(content->text(), QString(" Hi and  Hi\nshownadded\ttab"));
    document->save();

    const auto xml = xmlOf(path, "word/document.xml");
    // The replacement lies in the first matched character's run, bold, with its blank kept.
    QCOMPARE(value(*xml, "//w:p[1]/w:r[1]/w:t"), QString(" Hi"));
    QCOMPARE(count(*xml, "//w:p[1]/w:r[1]/w:rPr/w:b"), 1);
    QCOMPARE(attribute(*xml, "//w:p[1]/w:r[1]/w:t/@xml:space"), QString("preserve"));
    // The italic run lost all its text and went; bookmarks and the hyperlink stay around the new text.
    QCOMPARE(count(*xml, "//w:i"), 0);
    QCOMPARE(count(*xml, "//w:bookmarkStart[@w:name='mark']"), 1);
    QCOMPARE(count(*xml, "//w:bookmarkEnd"), 1);
    QCOMPARE(count(*xml, "//w:hyperlink"), 1);
    QCOMPARE(value(*xml, "//w:instrText"), QString(" HYPERLINK \"code\" "));
    QCOMPARE(value(*xml, "//w:delText"), QString("gone"));

    // Replacing a text by itself changes nothing, so the save writes nothing.
    const Snapshot before = Snapshot::of(path);
    document = word->documentsOpen(path);
    document->content()->replaceAll("shown", "shown");
    document->save();
    QVERIFY(Snapshot::of(path) == before);
    word->quit();
}

void TestOoxml::textBoxesAndStoriesApart()
{
    const QString path = file("boxes.docx");
    writeDocx(
        path,
        "<w:p><w:r><w:t>Body OLD</w:t></w:r>" + textBox("Box OLD one") + "</w:p>" +
            // Pictures are not among the shapes, inline or floating: they carry no text.
            "<w:p><w:r><w:drawing><wp:inline/></w:drawing></w:r><w:r><w:drawing><wp:anchor/></w:drawing>"
            "</w:r></w:p>" +
            "<w:p>" + textBox("Box two old") + "</w:p>");
    word::ApplicationPtr word = ooxml::createWordProcessor();
    word::DocumentPtr document = word->documentsOpen(path);
    const QList<word::ShapePtr> shapes = document->shapes();
    QCOMPARE(shapes.size(), 2);
    QCOMPARE(shapes.at(0)->textFrameTextRange()->text(), QString("Box OLD one"));
    QCOMPARE(shapes.at(1)->textFrameTextRange()->text(), QString("Box two old"));
    QVERIFY(!document->content()->findExecute("Box"));
    document->content()->replaceAll("old", "NEW");
    QCOMPARE(shapes.at(0)->textFrameTextRange()->text(), QString("Box OLD one"));
    for (const word::ShapePtr& shape : shapes)
        shape->textFrameTextRange()->replaceAll("old", "新");
    document->save();

    const auto xml = xmlOf(path, "word/document.xml");
    QCOMPARE(value(*xml, "//w:body/w:p[1]/w:r[1]/w:t"), QString("Body NEW"));
    // The drawing's text box and its VML copy changed alike.
    const pugi::xpath_node_set boxes = xml->select_nodes("//w:txbxContent");
    QCOMPARE(int(boxes.size()), 4);
    QStringList texts;
    for (const pugi::xpath_node& box : boxes)
        texts << QString::fromUtf8(box.node().select_node(".//w:t").node().text().get());
    QCOMPARE(texts, QStringList({"Box 新 one", "Box 新 one", "Box two 新", "Box two 新"}));
    word->quit();
}

void TestOoxml::trackedChangesRecorded()
{
    // A bookmark around "old" (split over two runs), a hyperlink holding "old";
    // then text that earlier changes cut through: "o" + deleted "old" + inserted
    // "ld", text moved away and text moved here.
    const QByteArray body =
        "<w:p><w:r><w:t xml:space=\"preserve\">An </w:t></w:r><w:bookmarkStart w:id=\"3\" w:name=\"mark\"/>"
        "<w:r><w:t>o</w:t></w:r><w:r><w:rPr><w:b/></w:rPr><w:t>ld</w:t></w:r><w:bookmarkEnd w:id=\"3\"/>"
        "<w:r><w:t xml:space=\"preserve\"> word </w:t></w:r><w:hyperlink r:id=\"rIdImage\"><w:r>"
        "<w:t>old link</w:t></w:r></w:hyperlink></w:p>"
        "<w:p><w:r><w:t>keep o</w:t></w:r><w:del w:id=\"7\" w:author=\"A\" w:date=\"2020-01-01T00:00:00Z\">"
        "<w:r><w:delText>old</w:delText></w:r></w:del><w:ins w:id=\"8\" w:author=\"A\" "
        "w:date=\"2020-01-01T00:00:00Z\"><w:r><w:t>ld</w:t></w:r></w:ins><w:r><w:t xml:space=\"preserve\"> "
        "and </w:t></w:r><w:moveFrom w:id=\"9\" w:author=\"A\" w:date=\"2020-01-01T00:00:00Z\"><w:r><w:t>old"
        "</w:t></w:r></w:moveFrom><w:moveTo w:id=\"10\" w:author=\"A\" w:date=\"2020-01-01T00:00:00Z\"><w:r>"
        "<w:t>moved old</w:t></w:r></w:moveTo></w:p>"
        "<w:p><w:r><w:t xml:space=\"preserve\">gold and bold </w:t></w:r><w:r><w:t>OLD</w:t></w:r></w:p>";
    const QString tracked = file("tracked.docx");
    writeDocx(
        tracked, body + "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"header1\"/></w:sectPr>",
        {{"header1", "<w:p><w:bookmarkStart w:id=\"40\" w:name=\"head\"/><w:r><w:t xml:space=\"preserve\">"
                     "Head old</w:t></w:r><w:bookmarkEnd w:id=\"40\"/></w:p>"}},
        "<w:trackRevisions/>");
    const auto before = xmlOf(tracked, "word/document.xml");
    const QStringList rejectedAsWritten = resolvedParagraphs(*before, false);
    QCOMPARE(rejectedAsWritten,
             QStringList({"An old word old link", "keep oold and old", "gold and bold OLD"}));

    word::ApplicationPtr word = ooxml::createWordProcessor();
    word::DocumentPtr document = word->documentsOpen(tracked);
    const word::RangePtr content = document->content();
    QCOMPARE(content->text(), QString("An old word old link\nkeep old and moved old\ngold and bold OLD"));
    content->replaceAll("old", "NEW");
    document->sections().at(0)->headers(1)->range()->replaceAll("old", "");
    QCOMPARE(content->text(), QString("An NEW word NEW link\nkeep NEW and moved NEW\ngNEW and bNEW NEW"));
    document->save();
    word->quit();

    const auto after = xmlOf(tracked, "word/document.xml");
    QCOMPARE(resolvedParagraphs(*after, true),
             QStringList({"An NEW word NEW link", "keep NEW and moved NEW", "gNEW and bNEW NEW"}));
    QCOMPARE(resolvedParagraphs(*after, false), rejectedAsWritten);
    // Each occurrence: its old text in one deletion, its new text in one insertion,
    // marked with who made them and when; every id new in the part.
    QCOMPARE(count(*after, "//w:body/w:p[1]/w:del"), 1);
    QCOMPARE(count(*after, "//w:body/w:p[1]/w:del[1]/w:r"), 2);
    QCOMPARE(count(*after, "//w:body/w:p[1]/w:ins"), 1);
    QCOMPARE(count(*after, "//w:body/w:p[1]/w:hyperlink/w:del"), 1);
    QCOMPARE(count(*after, "//w:body/w:p[1]/w:hyperlink/w:ins"), 1);
    QCOMPARE(count(*after, "//w:body/w:p[3]/w:del"), 3);
    QCOMPARE(count(*after, "//w:body/w:p[3]/w:ins"), 3);
    QCOMPARE(value(*after, "//w:body/w:p[1]/w:ins/w:r/w:t"), QString("NEW"));
    QCOMPARE(count(*after, "//w:body/w:p[1]/w:del[1]/w:r[2]/w:rPr/w:b"), 1); // formatting kept
    QCOMPARE(count(*after, "//w:body/w:p[1]/w:del//w:t"), 0);
    QCOMPARE(attribute(*after, "//w:body/w:p[1]/w:ins/@w:author"), QString("砚禾办公助手"));
    QVERIFY(!attribute(*after, "//w:body/w:p[1]/w:del/@w:date").isEmpty());
    // The bookmark still encloses the old text and the new one.
    const pugi::xml_node first = after->select_node("//w:body/w:p[1]").node();
    QStringList order;
    for (const pugi::xml_node child : first.children())
        order << QString::fromUtf8(child.name());
    QCOMPARE(order, QStringList(
                        {"w:r", "w:bookmarkStart", "w:del", "w:ins", "w:bookmarkEnd", "w:r", "w:hyperlink"}));
    // Text inside someone's insertion is edited in place; the deleted and moved
    // text is as it was.
    QCOMPARE(value(*after, "//w:body/w:p[2]/w:del[@w:id='7']/w:r/w:delText"), QString("old"));
    QCOMPARE(value(*after, "//w:body/w:p[2]/w:moveFrom/w:r/w:t"), QString("old"));
    // Ann's insertion "ld" lay wholly inside the replaced text: it is gone, not left empty.
    QCOMPARE(count(*after, "//w:ins[not(*)]"), 0);
    QCOMPARE(count(*after, "//w:body/w:p[2]/w:ins[@w:id='8']"), 0);
    QCOMPARE(resolvedText(after->select_node("//w:body/w:p[2]/w:moveTo").node(), true), QString("moved NEW"));
    // Ids are unique in the whole document, not only within a part: the
    // header's bookmark and its new deletion collide with nothing in the body.
    const auto header = xmlOf(tracked, "word/header1.xml");
    QSet<QString> ids;
    int marked = 0;
    for (const pugi::xml_document* xml : {after.get(), header.get()})
        for (const pugi::xpath_node& node : xml->select_nodes("//*[@w:id]")) {
            ids.insert(QString::fromUtf8(node.node().attribute("w:id").value()));
            ++marked;
        }
    QCOMPARE(ids.size(), marked - 2); // each bookmark's start and end share theirs
    // Replacing by nothing records only the deletion.
    QCOMPARE(count(*header, "//w:del"), 1);
    QCOMPARE(count(*header, "//w:ins"), 0);
    QCOMPARE(resolvedText(header->document_element(), true), QString("Head "));
    QCOMPARE(resolvedText(header->document_element(), false), QString("Head old"));

    // Emptying a header and typing into it, as the header writer does: the old
    // paragraphs deleted, their marks too, the typed text inserted.
    const QString written = file("tracked-writer.docx");
    writeDocx(
        written,
        paragraph("body") + "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"header1\"/></w:sectPr>",
        {{"header1", "<w:p><w:pPr><w:jc w:val=\"right\"/></w:pPr><w:r><w:t>Head A</w:t></w:r></w:p>"
                     "<w:p><w:hyperlink r:id=\"rIdImage\"><w:r><w:t>Head B</w:t></w:r></w:hyperlink></w:p>"}},
        "<w:trackRevisions/>");
    word = ooxml::createWordProcessor();
    document = word->documentsOpen(written);
    document->sections().at(0)->headers(1)->range()->Delete();
    word->setSeekView(word::kSeekCurrentPageHeader);
    word->selection()->typeText("新页眉");
    word->selection()->setParagraphAlignment(word::kAlignCenter);
    word->setSeekView(word::kSeekMainDocument);
    document->save();
    word->quit();
    const auto writtenHeader = xmlOf(written, "word/header1.xml");
    QCOMPARE(count(*writtenHeader, "//w:p"), 2);
    QCOMPARE(count(*writtenHeader, "//w:p[1]/w:pPr/w:rPr/w:del"), 1);
    QCOMPARE(count(*writtenHeader, "//w:t"), 1);
    QCOMPARE(resolvedText(writtenHeader->document_element(), true), QString("新页眉"));
    QCOMPARE(resolvedText(writtenHeader->document_element(), false), QString("Head AHead B"));
    QCOMPARE(value(*writtenHeader, "//w:p[1]/w:ins/w:r/w:t"), QString("新页眉"));
    // The new alignment is recorded with the old one, so that rejecting it puts
    // the paragraph back on the right.
    QCOMPARE(attribute(*writtenHeader, "//w:p[1]/w:pPr/w:jc/@w:val"), QString("center"));
    QCOMPARE(attribute(*writtenHeader, "//w:p[1]/w:pPr/w:pPrChange/w:pPr/w:jc/@w:val"), QString("right"));
    QCOMPARE(count(*writtenHeader, "//w:p[1]/w:pPr/w:pPrChange/w:pPr/w:rPr"), 0);
    QCOMPARE(attribute(*writtenHeader, "//w:p[1]/w:pPr/w:pPrChange/@w:author"), QString("砚禾办公助手"));
    QCOMPARE(QString(writtenHeader->select_node("//w:p[1]/w:pPr").node().last_child().name()),
             QString("w:pPrChange"));

    // Emptying a footer with tracking on: a mark already recorded as inserted
    // gets its deletion after the insertion; a PAGE field, a table and a formula
    // are deleted too, so that accepting every change leaves nothing.
    const QString cleared = file("tracked-cleared.docx");
    writeDocx(cleared,
              paragraph("body") +
                  "<w:sectPr><w:footerReference w:type=\"default\" r:id=\"footer1\"/></w:sectPr>",
              {{"footer1",
                "<w:p><w:pPr><w:rPr><w:ins w:id=\"1\" w:author=\"A\" w:date=\"2020-01-01T00:00:00Z\"/><w:b/>"
                "</w:rPr></w:pPr><w:r><w:t>Typed</w:t></w:r></w:p>"
                "<w:p><w:r><w:t xml:space=\"preserve\">Page </w:t></w:r><w:fldSimple w:instr=\" PAGE \">"
                "<w:r><w:t>1</w:t></w:r></w:fldSimple></w:p>"
                "<w:tbl><w:tblPr/><w:tblGrid><w:gridCol w:w=\"2000\"/></w:tblGrid><w:tr><w:tc><w:p><w:r>"
                "<w:t>Cell</w:t></w:r></w:p></w:tc></w:tr><w:tr><w:trPr><w:cantSplit/></w:trPr><w:tc><w:p>"
                "<w:r><w:t>Row 2</w:t></w:r></w:p></w:tc></w:tr></w:tbl>"
                "<w:p><m:oMath><m:r><m:t>x</m:t></m:r></m:oMath></w:p>"}},
              "<w:trackRevisions/>");
    word = ooxml::createWordProcessor();
    document = word->documentsOpen(cleared);
    document->sections().at(0)->footers(1)->range()->Delete();
    document->save();
    word->quit();
    const auto footer = xmlOf(cleared, "word/footer1.xml");
    QStringList mark;
    for (const pugi::xml_node child : footer->select_node("//w:p[1]/w:pPr/w:rPr").node().children())
        mark << QString::fromUtf8(child.name());
    QCOMPARE(mark, QStringList({"w:ins", "w:del", "w:b"}));
    QCOMPARE(count(*footer, "//w:fldSimple"), 0);
    QCOMPARE(count(*footer, "//w:instrText"), 0);
    QCOMPARE(value(*footer, "//w:p[2]/w:del/w:r/w:delInstrText"), QString(" PAGE "));
    QCOMPARE(count(*footer, "//w:p[2]/w:del/w:r/w:fldChar"), 3);
    QCOMPARE(count(*footer, "//w:p[2]/w:r"), 0);
    QCOMPARE(count(*footer, "//w:tr"), 2);
    QCOMPARE(count(*footer, "//w:tr/w:trPr/w:del"), 2);
    QCOMPARE(QString(footer->select_node("//w:tr[2]/w:trPr").node().first_child().name()),
             QString("w:cantSplit"));
    QCOMPARE(count(*footer, "//w:del/m:oMath"), 1);
    QCOMPARE(count(*footer, "//m:oMath[not(ancestor::w:del)]"), 0);
    QCOMPARE(resolvedText(footer->document_element(), true), QString());
    QCOMPARE(resolvedText(footer->document_element(), false), QString("TypedPage 1CellRow 2"));

    // With tracking off, the text is replaced without a record.
    const QString plain = file("untracked.docx");
    writeDocx(plain, body, {}, "<w:trackRevisions w:val=\"false\"/>");
    word = ooxml::createWordProcessor();
    document = word->documentsOpen(plain);
    document->content()->replaceAll("old", "NEW");
    document->save();
    word->quit();
    const auto untracked = xmlOf(plain, "word/document.xml");
    QCOMPARE(count(*untracked, "//w:del"), 1);
    QCOMPARE(count(*untracked, "//w:ins"), 1);
    QCOMPARE(resolvedParagraphs(*untracked, true),
             QStringList({"An NEW word NEW link", "keep NEW and moved NEW", "gNEW and bNEW NEW"}));
}

void TestOoxml::inlineTextBoxesReached()
{
    // Text boxes in line with the text: a drawing alone, one with its VML copy,
    // and a VML one alone; a floating one for comparison; in the body and in a header.
    const auto inlineBox = [](const QByteArray& text, bool fallback) {
        const QByteArray content = "<w:txbxContent>" + paragraph(text) + "</w:txbxContent>";
        const QByteArray drawing =
            "<w:drawing><wp:inline><a:graphic><a:graphicData><wps:wsp><wps:txbx>" + content +
            "</wps:txbx></wps:wsp></a:graphicData></a:graphic></wp:inline></w:drawing>";
        if (!fallback)
            return "<w:r>" + drawing + "</w:r>";
        return "<w:r><mc:AlternateContent><mc:Choice Requires=\"wps\">" + drawing +
               "</mc:Choice><mc:Fallback><w:pict><v:rect style=\"width:100pt;height:20pt\"><v:textbox>" +
               content + "</v:textbox></v:rect></w:pict></mc:Fallback></mc:AlternateContent></w:r>";
    };
    const QByteArray vmlInline = "<w:r><w:pict><v:rect style=\"width:100pt\"><v:textbox><w:txbxContent>" +
                                 paragraph("VML old") +
                                 "</w:txbxContent></v:textbox></v:rect></w:pict></w:r>";
    const QString path = file("inline.docx");
    writeDocx(path,
              "<w:p>" + inlineBox("Inline old", false) + "</w:p><w:p>" + inlineBox("Both old", true) +
                  vmlInline + "</w:p><w:p>" + textBox("Float old") +
                  "</w:p><w:p><w:del><w:r><w:pict><v:rect><v:textbox><w:txbxContent>" +
                  paragraph("Gone old") +
                  "</w:txbxContent></v:textbox></v:rect></w:pict></w:r></w:del></w:p>"
                  "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"header1\"/></w:sectPr>",
              {{"header1", "<w:p>" + inlineBox("Head box old", true) + "</w:p>"}});
    word::ApplicationPtr word = ooxml::createWordProcessor();
    word::DocumentPtr document = word->documentsOpen(path);
    const QList<word::ShapePtr> shapes = document->shapes();
    QCOMPARE(shapes.size(), 4);
    QStringList texts;
    for (const word::ShapePtr& shape : shapes) {
        texts << shape->textFrameTextRange()->text();
        shape->textFrameTextRange()->replaceAll("old", "新");
    }
    QCOMPARE(texts, QStringList({"Inline old", "Both old", "VML old", "Float old"}));
    const QList<word::ShapePtr> headerShapes = document->sections().at(0)->headers(1)->shapes();
    QCOMPARE(headerShapes.size(), 1);
    headerShapes.at(0)->textFrameTextRange()->replaceAll("old", "新");
    document->save();
    word->quit();

    const QMap<QString, QByteArray> parts = ZipFiles::read(path);
    const QByteArray body = parts.value("word/document.xml");
    for (const char* text : {"Inline 新", "VML 新", "Float 新", "Gone old"})
        QVERIFY2(body.contains(text), text);
    QCOMPARE(body.count("Both 新"), 2); // the drawing and its VML copy alike
    QCOMPARE(parts.value("word/header1.xml").count("Head box 新"), 2);
}

void TestOoxml::longWorkIsBounded()
{
    using ooxml::WorkBound;
    // Outside a bounded call a checkpoint does nothing.
    WorkBound::checkpoint();
    // A call that spends its time waiting, not working, is ended after one round.
    WorkBound hung(100);
    try {
        hung.call([] {
            for (;;) {
                QThread::msleep(5);
                WorkBound::checkpoint();
            }
        });
        QFAIL("a hung call was not ended");
    } catch (const RuntimeError& error) {
        QCOMPARE(error.description(), QString("处理时间过长，已停止"));
    }
    // A bound ended once does not end the next call, however soon it starts
    // after the ended one, even when that call waits at its checkpoints.
    QCOMPARE(hung.call([] { return 7; }), 7);
    // Its round is far longer than the three short waits of the call that must end well, which a
    // loaded machine may stretch.
    WorkBound quick(200);
    for (int round = 0; round < 20; ++round) {
        QVERIFY_THROWS_EXCEPTION(RuntimeError, quick.call([] {
            for (;;) {
                QThread::msleep(1);
                WorkBound::checkpoint();
            }
        }));
        QCOMPARE(quick.call([round] {
            for (int i = 0; i < 3; ++i) {
                QThread::msleep(1);
                WorkBound::checkpoint();
            }
            return round;
        }),
                 round);
    }
    // Working without end: ended after the rounds a busy call gets.
    WorkBound endless(20);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, endless.call([] {
        std::atomic_long spin = 0;
        for (;;) {
            spin.fetch_add(1, std::memory_order_relaxed);
            WorkBound::checkpoint();
        }
    }));

    // Through the engine: a replacement that runs past its bound fails and the
    // file keeps its bytes.
    const QString path = file("long.docx");
    QByteArray body;
    for (int i = 0; i < 20000; ++i)
        body += paragraph("paragraph " + QByteArray::number(i) + " with old text in it");
    writeDocx(path, body);
    const Snapshot before = Snapshot::of(path);
    qputenv("YANHE_OFFICE_TIMEOUT_MS", "1");
    word::ApplicationPtr word = ooxml::createWordProcessor();
    qunsetenv("YANHE_OFFICE_TIMEOUT_MS");
    word::DocumentPtr document = word->documentsOpen(path);
    try {
        document->content()->replaceAll("old", "new");
        QFAIL("a replacement past its bound was not ended");
    } catch (const RuntimeError& error) {
        QCOMPARE(error.description(), QString("处理时间过长，已停止"));
    }
    word->quit();
    QVERIFY(Snapshot::of(path) == before);
}

void TestOoxml::headersAndFootersBySection()
{
    const QString path = file("sections.docx");
    // Section 1: its own default and first-page header; section 2: none of its
    // own (Word shows section 1's); section 3: its own header and footer.
    writeDocx(
        path,
        paragraph("one") +
            "<w:p><w:pPr><w:sectPr><w:headerReference w:type=\"default\" r:id=\"header1\"/>"
            "<w:headerReference w:type=\"first\" r:id=\"header2\"/><w:footerReference w:type=\"default\" "
            "r:id=\"footer1\"/><w:titlePg/></w:sectPr></w:pPr></w:p>" +
            paragraph("two") + "<w:p><w:pPr><w:sectPr/></w:pPr></w:p>" + paragraph("three") +
            "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"header3\"/>"
            "<w:footerReference w:type=\"default\" r:id=\"footer3\"/></w:sectPr>",
        {{"header1", paragraph("Head OLD 1") + "<w:p>" + textBox("Header box OLD") + "</w:p>"},
         {"header2", paragraph("First OLD")},
         {"header3", paragraph("Head OLD 3")},
         {"footer1", paragraph("Foot OLD 1")},
         {"footer3", paragraph("Foot OLD 3")}});
    word::ApplicationPtr word = ooxml::createWordProcessor();
    word::DocumentPtr document = word->documentsOpen(path);
    const QList<word::SectionPtr> sections = document->sections();
    QCOMPARE(sections.size(), 3);
    QCOMPARE(sections.at(0)->headers(1)->range()->text(), QString("Head OLD 1\n"));
    QCOMPARE(sections.at(1)->headers(1)->range()->text(), QString("Head OLD 1\n"));
    QCOMPARE(sections.at(0)->headers(2)->range()->text(), QString("First OLD"));
    QCOMPARE(sections.at(2)->footers(1)->range()->text(), QString("Foot OLD 3"));
    QCOMPARE(sections.at(2)->headers(3)->range()->text(), QString()); // no even-page header anywhere
    QVERIFY_THROWS_EXCEPTION(RuntimeError, sections.at(0)->headers(4));
    QCOMPARE(sections.at(0)->headers(1)->shapes().size(), 1);

    sections.at(2)->headers(1)->range()->replaceAll("old", "new");
    sections.at(0)->headers(1)->shapes().at(0)->textFrameTextRange()->replaceAll("old", "new");
    // The view of the first page shows the first-page header here.
    word->setSeekView(word::kSeekCurrentPageHeader);
    word->selection()->findReplaceAll("OLD", "首页");
    word->setSeekView(word::kSeekMainDocument);
    document->save();

    const QMap<QString, QByteArray> parts = ZipFiles::read(path);
    QVERIFY(parts.value("word/header3.xml").contains("Head new 3"));
    QVERIFY(parts.value("word/header1.xml").contains("Head OLD 1"));
    QVERIFY(parts.value("word/header1.xml").contains("Header box new"));
    QVERIFY(parts.value("word/header2.xml").contains("First 首页"));
    QVERIFY(parts.value("word/footer3.xml").contains("Foot OLD 3"));
    word->quit();
}

void TestOoxml::writerTypesIntoHeadersAndFooters()
{
    const QString path = file("writer.docx");
    writeDocx(path,
              paragraph("body") +
                  "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"header1\"/></w:sectPr>",
              {{"header1", "<w:p><w:pPr><w:jc w:val=\"left\"/></w:pPr><w:r><w:rPr><w:i/></w:rPr>"
                           "<w:t>Old header</w:t></w:r></w:p>"}});
    word::ApplicationPtr word = ooxml::createWordProcessor();
    word::DocumentPtr document = word->documentsOpen(path);

    // The header: deleted, then typed with a font, size and bold, and centred.
    word->setSeekView(word::kSeekCurrentPageHeader);
    word::SelectionPtr selection = word->selection();
    for (const word::SectionPtr& section : selection->sections())
        section->headers(1)->range()->Delete();
    selection->setFontName("宋体");
    selection->setFontSize("10.5");
    selection->setFontBold(true);
    selection->typeText("页眉 Header");
    selection->setParagraphAlignment(word::kAlignCenter);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, selection->setFontSize("小四"));

    // The footer does not exist yet: typing makes it, with a page number between 第 and 页.
    word->setSeekView(word::kSeekCurrentPageFooter);
    selection = word->selection();
    selection->setFontName("Arial");
    selection->typeText("第");
    selection->fieldsAdd(word::kFieldPage);
    selection->typeText("页");
    selection->setParagraphAlignment(word::kAlignJustify);
    word->setSeekView(word::kSeekMainDocument);
    document->save();
    document->close();

    const auto header = xmlOf(path, "word/header1.xml");
    QCOMPARE(count(*header, "//w:p"), 1);
    QCOMPARE(count(*header, "//w:i"), 0);
    QCOMPARE(attribute(*header, "//w:p/w:pPr/w:jc/@w:val"), QString("center"));
    QCOMPARE(value(*header, "//w:r/w:t"), QString("页眉 Header"));
    QCOMPARE(attribute(*header, "//w:r/w:rPr/w:rFonts/@w:ascii"), QString("宋体"));
    QCOMPARE(attribute(*header, "//w:r/w:rPr/w:rFonts/@w:eastAsia"), QString("宋体"));
    QCOMPARE(attribute(*header, "//w:r/w:rPr/w:sz/@w:val"), QString("21"));
    QCOMPARE(count(*header, "//w:r/w:rPr/w:b"), 1);
    // Run properties in the order the schema gives.
    const pugi::xml_node properties = header->select_node("//w:r/w:rPr").node();
    QStringList order;
    for (const pugi::xml_node child : properties.children())
        order << child.name();
    QCOMPARE(order, QStringList({"w:rFonts", "w:b", "w:bCs", "w:sz", "w:szCs"}));

    const QMap<QString, QByteArray> parts = ZipFiles::read(path);
    QVERIFY(parts.contains("word/footer1.xml"));
    QVERIFY(parts.value("[Content_Types].xml")
                .contains("<Override PartName=\"/word/footer1.xml\" ContentType=\"application/"
                          "vnd.openxmlformats-officedocument.wordprocessingml.footer+xml\""));
    const auto rels = xmlOf(path, "word/_rels/document.xml.rels");
    const QString id = attribute(*rels, "//Relationship[@Target='footer1.xml']/@Id");
    QVERIFY(!id.isEmpty());
    const auto main = xmlOf(path, "word/document.xml");
    QCOMPARE(attribute(*main, "//w:body/w:sectPr/w:footerReference[@w:type='default']/@r:id"), id);
    // References lead the section's properties.
    QCOMPARE(QString(main->select_node("//w:body/w:sectPr").node().first_child().name()),
             QString("w:footerReference"));

    const auto footer = xmlOf(path, "word/footer1.xml");
    QCOMPARE(QString(footer->document_element().name()), QString("w:ftr"));
    QString line;
    pugi::xpath_node_set marks = footer->select_nodes("//w:r/w:t|//w:r/w:instrText|//w:r/w:fldChar");
    marks.sort();
    for (const pugi::xpath_node& node : marks)
        line += node.node().text().get() + QString(node.node().attribute("w:fldCharType").value());
    QCOMPARE(line, QString("第begin PAGE separate1end页"));
    QCOMPARE(attribute(*footer, "//w:p/w:pPr/w:jc/@w:val"), QString("both"));
    QCOMPARE(count(*footer, "//w:r/w:rPr/w:rFonts[@w:hAnsi='Arial']"), 7);
    word->quit();
}

void TestOoxml::saveWritesOnlyWhatChanged()
{
    const QString path = file("bytes.docx");
    writeDocx(path, paragraph("keep OLD text"), {{"header1", paragraph("header")}});
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    const QFile::Permissions permissions = QFile::permissions(path);
    const QStringList names = ZipFiles::names(path);
    const Snapshot before = Snapshot::of(path);
    const QString original = file("original.zip");
    QVERIFY(QFile::copy(path, original));

    // Nothing found: the file keeps its bytes and its time.
    word::ApplicationPtr word = ooxml::createWordProcessor();
    word::DocumentPtr document = word->documentsOpen(path);
    document->content()->replaceAll("absent", "x");
    document->sections().at(0)->headers(1)->range()->replaceAll("absent", "x");
    document->save();
    QVERIFY(Snapshot::of(path) == before);

    document->content()->replaceAll("old", "new");
    document->save();
    QCOMPARE(ZipFiles::names(path), names);
    for (const QString& name : names) {
        if (name == "word/document.xml")
            continue;
        // Copied as stored: not expanded, not compressed again.
        int method = -1;
        const QByteArray raw = ZipFiles::raw(path, name, &method);
        QVERIFY(!raw.isEmpty());
        QCOMPARE(raw, ZipFiles::raw(original, name));
        QCOMPARE(method == 0, name == "word/media/image1.png");
    }
    QVERIFY(ZipFiles::read(path).value("word/document.xml").contains("keep new text"));
    QCOMPARE(QFile::permissions(path), permissions);
    // The new package was written beside the file and renamed over it: nothing else is left there.
    QCOMPARE(QDir(m_dir.path()).entryList({"*bytes*"}, QDir::Files | QDir::Hidden),
             QStringList({"bytes.docx"}));

    // A document saved stays open: it is read again for what comes next.
    document->content()->replaceAll("new", "newer");
    document->save();
    QVERIFY(ZipFiles::read(path).value("word/document.xml").contains("keep newer text"));
    word->quit();
}

void TestOoxml::workbookReplace()
{
    const QString path = file("book.xlsx");
    const QByteArray first =
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c></row>"
        "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>inline hello</t></is></c><c "
        "r=\"B2\"><v>12345</v></c>"
        "<c r=\"C2\" s=\"1\"><v>45123</v></c><c r=\"D2\" s=\"2\"><v>45123</v></c><c r=\"E2\" "
        "t=\"b\"><v>1</v></c></row>";
    const QByteArray links = "<hyperlinks><hyperlink ref=\"A1\" r:id=\"rIdLink\"/></hyperlinks>";
    writeXlsx(
        path,
        {{"First", first, links},
         {"Chart", {}, {}, true},
         {"Second", "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>", {}}},
        // One plain string held by both worksheets, one in rich text.
        "<si><t>Hello World</t></si><si><r><rPr><b/></rPr><t>Hel</t></r><r><rPr><i/></rPr><t>lo rich</t></r>"
        "<rPh sb=\"0\" eb=\"1\"><t>ハロ</t></rPh></si>");
    sheet::ApplicationPtr excel = ooxml::createSpreadsheet();
    sheet::WorkbookPtr book = excel->workbooksOpen(path);
    QCOMPARE(book->worksheetsCount(), 2);
    book->sheetsActivate(2); // the chart sheet is a sheet, not a worksheet
    QVERIFY_THROWS_EXCEPTION(RuntimeError, book->sheetsActivate(4));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, book->worksheets(3));
    const sheet::WorksheetPtr one = book->worksheets(1);
    const sheet::WorksheetPtr two = book->worksheets(2);
    QCOMPARE(one->name(), QString("First"));
    QCOMPARE(two->name(), QString("Second"));

    QVERIFY(one->cellsFind("HELLO"));
    QVERIFY(one->cellsFind("234"));
    QVERIFY(!one->cellsFind("451")); // a date's text depends on the reader's locale: not searched
    QVERIFY(one->cellsFind("true")); // a logical value's text, as Excel searches it
    QVERIFY(!one->cellsFind(""));
    one->cellsReplace("hello", "Bye");
    one->cellsReplace("234", "9");
    QCOMPARE(one->cell(1, 1), QString("Bye World"));
    QCOMPARE(two->cell(1, 1), QString("Hello World")); // the string was split off, not changed under it
    QCOMPARE(one->cell(1, 2), QString("Bye rich"));
    QCOMPARE(one->cell(2, 1), QString("inline Bye"));
    QCOMPARE(one->cell(2, 2), QString("195"));
    QCOMPARE(one->cell(2, 3), QString("45123"));
    book->close(true);

    auto strings = xmlOf(path, "xl/sharedStrings.xml");
    QCOMPARE(count(*strings, "//si"), 3);
    // The rich text keeps its runs: the replacement in the first matched character's (bold) run.
    QCOMPARE(value(*strings, "//si[2]/r[1]/t"), QString("Bye"));
    QCOMPARE(count(*strings, "//si[2]/r[1]/rPr/b"), 1);
    QCOMPARE(value(*strings, "//si[2]/r[2]/t"), QString(" rich"));
    auto sheet = xmlOf(path, "xl/worksheets/sheet1.xml");
    QCOMPARE(value(*sheet, "//c[@r='B2']/v"), QString("195"));
    QCOMPARE(count(*sheet, "//hyperlink[@ref='A1']"), 1);

    // The second worksheet, replaced in turn, changes the string in place: its old text is gone.
    book = excel->workbooksOpen(path);
    book->worksheets(2)->cellsReplace("hello", "Bye");
    book->close(true);
    strings = xmlOf(path, "xl/sharedStrings.xml");
    QCOMPARE(count(*strings, "//si"), 3);
    QVERIFY(!ZipFiles::read(path).value("xl/sharedStrings.xml").contains("Hello"));
    QCOMPARE(value(*xmlOf(path, "xl/worksheets/sheet3.xml"), "//c[@r='A1']/v"), QString("0"));

    // Nothing found: the workbook keeps its bytes.
    const Snapshot before = Snapshot::of(path);
    book = excel->workbooksOpen(path);
    for (int i = 1; i <= book->worksheetsCount(); ++i)
        book->worksheets(i)->cellsReplace("absent", "x");
    book->close(true);
    QVERIFY(Snapshot::of(path) == before);
    excel->quit();
}

void TestOoxml::workbookFormulas()
{
    const QString path = file("formulas.xlsx");
    const QByteArray data =
        "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\"><f t=\"shared\" ref=\"B1:B3\" "
        "si=\"0\">A1*2+$A$1</f>"
        "<v>3</v></c><c r=\"C1\" t=\"str\"><f>\"price \"&amp;A1</f><v>price 1</v></c></row>"
        "<row r=\"2\"><c r=\"A2\"><v>2</v></c><c r=\"B2\"><f t=\"shared\" si=\"0\"/><v>5</v></c>"
        "<c r=\"C2\"><f t=\"array\" ref=\"C2\">SUM(A1:A2*2)</f><v>6</v></c></row>"
        "<row r=\"3\"><c r=\"A3\"><v>3</v></c><c r=\"B3\"><f t=\"shared\" si=\"0\"/><v>7</v></c></row>";
    writeXlsx(
        path, {{"Sheet1", data, {}}}, {},
        {{"xl/calcChain.xml", kDeclaration + "<calcChain" + kSheetNs + "><c r=\"B1\" i=\"1\"/></calcChain>"}},
        "<definedNames/>");
    sheet::ApplicationPtr excel = ooxml::createSpreadsheet();
    sheet::WorkbookPtr book = excel->workbooksOpen(path);
    const sheet::WorksheetPtr sheet = book->worksheets(1);
    QCOMPARE(sheet->cell(3, 2), QString("=A3*2+$A$1"));
    QVERIFY(sheet->cellsFind("a2*2"));   // a shared formula's text, as the cell holds it
    QVERIFY(!sheet->cellsFind("A1:A2")); // an array is not searched
    sheet->cellsReplace("*2", "*10");
    sheet->cellsReplace("price", "cost");
    QCOMPARE(sheet->cell(1, 2), QString("=A1*10+$A$1"));
    QCOMPARE(sheet->cell(2, 2), QString("=A2*10+$A$1"));
    QCOMPARE(sheet->cell(3, 2), QString("=A3*10+$A$1"));
    QCOMPARE(sheet->cell(1, 3), QString("=\"cost \"&A1"));
    QCOMPARE(sheet->cell(2, 3), QString("=SUM(A1:A2*2)"));
    book->close(true);

    const auto xml = xmlOf(path, "xl/worksheets/sheet1.xml");
    QCOMPARE(count(*xml, "//f[@t='shared']"), 0);
    QCOMPARE(count(*xml, "//c[@r='B2']/v"), 0); // no stale value: computed when opened
    QCOMPARE(count(*xml, "//c[@r='C1'][@t]"), 0);
    const auto workbook = xmlOf(path, "xl/workbook.xml");
    QCOMPARE(attribute(*workbook, "//calcPr/@fullCalcOnLoad"), QString("1"));
    QCOMPARE(QString(workbook->select_node("//calcPr").node().previous_sibling().name()),
             QString("definedNames"));
    const QMap<QString, QByteArray> parts = ZipFiles::read(path);
    QVERIFY(!parts.contains("xl/calcChain.xml"));
    QVERIFY(!parts.value("[Content_Types].xml").contains("calcChain"));
    QVERIFY(!parts.value("xl/_rels/workbook.xml.rels").contains("calcChain"));
    excel->quit();
}

void TestOoxml::sharedFormulaShifting()
{
    using ooxml::cellformula::shifted;
    // One row down, two columns right: relative parts move, absolute ones and text stay.
    QCOMPARE(shifted("A1*2+$A$1+A$1+$A1", 1, 2), QString("C2*2+$A$1+C$1+$A2"));
    QCOMPARE(shifted("SUM(A1:B2)+Sheet2!C3+'My Sheet'!D4", 1, 2),
             QString("SUM(C2:D3)+Sheet2!E4+'My Sheet'!F5"));
    QCOMPARE(shifted("\"A1 stays\"&LOG10(A1)&T[Col A1]", 1, 0), QString("\"A1 stays\"&LOG10(A2)&T[Col A1]"));
    QCOMPARE(shifted("SUM(A:A)+SUM(1:1)+SUM($B:$B)", 2, 1), QString("SUM(B:B)+SUM(3:3)+SUM($B:$B)"));
    QCOMPARE(shifted("A1+TRUE+1.5E+3", 0, -1), QString("#REF!+TRUE+1.5E+3"));
    QCOMPARE(shifted("XFD1048576", 1, 0), QString("#REF!"));
}

// A replace whose result no longer reads as a formula (a reference's column
// letter turned into a name nobody defined) leaves that formula as it was:
// its text, its shared group and its value.
void TestOoxml::formulasTheReplaceWouldBreak()
{
    const QString path = file("broken-formulas.xlsx");
    const QByteArray data =
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"D1\"><v>10</v></c><c r=\"E1\"><v>2</v></c>"
        "<c r=\"G1\"><f>D1/E1</f><v>5</v></c></row>"
        "<row r=\"2\"><c r=\"D2\"><v>20</v></c><c r=\"E2\"><v>4</v></c>"
        "<c r=\"G2\"><f t=\"shared\" ref=\"G2:G4\" si=\"0\">D2/E2</f><v>5</v></c></row>"
        "<row r=\"3\"><c r=\"D3\"><v>30</v></c><c r=\"E3\"><v>5</v></c>"
        "<c r=\"G3\"><f t=\"shared\" si=\"0\"/><v>6</v></c></row>"
        "<row r=\"4\"><c r=\"D4\"><v>8</v></c><c r=\"E4\"><v>1</v></c>"
        "<c r=\"G4\"><f t=\"shared\" si=\"0\"/><v>8</v></c>"
        "<c r=\"H4\"><f>SUM(Rate,D4)</f><v>9</v></c></row>";
    writeXlsx(path, {{"Data", data, {}}}, "<si><t>rate per line</t></si>",
              {{"xl/calcChain.xml", kDeclaration + "<calcChain" + kSheetNs +
                                        "><c r=\"G1\" i=\"1\"/><c r=\"G2\" i=\"1\"/></calcChain>"}},
              "<definedNames><definedName name=\"Rate\">Data!$E$1</definedName>"
              "<definedName name=\"Rat\xd1\x8d\">Data!$E$2</definedName></definedNames>");

    sheet::ApplicationPtr excel = ooxml::createSpreadsheet();
    sheet::WorkbookPtr book = excel->workbooksOpen(path);
    sheet::WorksheetPtr sheet = book->worksheets(1);
    // "e" -> "э": E1 would become a name no one defined; Rate becomes Ratэ, which is defined.
    sheet->cellsReplace("e", QString::fromUtf8("\xd1\x8d"));
    QCOMPARE(sheet->cell(1, 1), QString::fromUtf8("rat\xd1\x8d p\xd1\x8dr lin\xd1\x8d"));
    QCOMPARE(sheet->cell(1, 7), QString("=D1/E1"));
    QCOMPARE(sheet->cell(3, 7), QString("=D3/E3"));
    QCOMPARE(sheet->cell(4, 8), QString::fromUtf8("=SUM(Rat\xd1\x8d,D4)"));
    book->close(true);
    {
        const auto xml = xmlOf(path, "xl/worksheets/sheet1.xml");
        QCOMPARE(count(*xml, "//f[@t='shared']"), 3);
        QCOMPARE(value(*xml, "//c[@r='G2']/f"), QString("D2/E2"));
        QCOMPARE(value(*xml, "//c[@r='G3']/v"), QString("6"));
        QCOMPARE(value(*xml, "//c[@r='G1']/v"), QString("5"));
    }

    // A replace that still makes formulas goes through, the shared group split into cells of their own.
    book = excel->workbooksOpen(path);
    sheet = book->worksheets(1);
    sheet->cellsReplace("/E", "/F");
    QCOMPARE(sheet->cell(1, 7), QString("=D1/F1"));
    QCOMPARE(sheet->cell(4, 7), QString("=D4/F4"));
    book->close(true);
    const auto xml = xmlOf(path, "xl/worksheets/sheet1.xml");
    QCOMPARE(count(*xml, "//f[@t='shared']"), 0);
    QVERIFY(!ZipFiles::read(path).contains("xl/calcChain.xml"));
    excel->quit();

    using ooxml::cellformula::stillReads;
    const QSet<QString> known{"DATA", "RATE"};
    QVERIFY(stillReads("SUM(A1:B2)", "MAX(A1:B2)", known));
    QVERIFY(stillReads("\"a\"&A1", "\"\xd1\x8d\"&A1", known));
    QVERIFY(stillReads("A1*2", "A1*2E+3+TRUE+Data!B2+Rate", known));
    QVERIFY(!stillReads("SUM(A1)", "SUM(A1", known));
    QVERIFY(!stillReads("\"a\"&A1", "\"a&A1", known));
    QVERIFY(!stillReads("A1+Data!B1", "A1+Dat\xd1\x8d!B1", known));
    QVERIFY(!stillReads("SUM(A1)", "S\xd1\x8dM(A1)", known));
    QVERIFY(!stillReads("A1+#N/A", "A1+#N/\xd1\x8d", known));
}

void TestOoxml::cellWriting()
{
    const QString path = file("cells.xlsx");
    const QByteArray table = kDeclaration + "<table" + kSheetNs +
                             " id=\"1\" name=\"T\" displayName=\"T\" ref=\"A1:B2\"><tableColumns count=\"2\">"
                             "<tableColumn id=\"1\" name=\"Name\"/><tableColumn id=\"2\" name=\"Size\"/>"
                             "</tableColumns></table>";
    writeXlsx(
        path,
        {{"S",
          "<row r=\"1\" spans=\"1:2\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c></row>"
          "<row r=\"3\"><c r=\"B3\"><f t=\"array\" ref=\"B3:B4\">A1:A2</f></c></row>",
          "<tableParts count=\"1\"><tablePart r:id=\"rIdTable\"/></tableParts>"},
         {"Locked", {}, "<sheetProtection sheet=\"1\"/>"}},
        "<si><t>Name</t></si><si><t>Size</t></si>",
        {{"xl/worksheets/_rels/sheet1.xml.rels",
          kDeclaration +
              "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
              "<Relationship Id=\"rIdTable\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
              "2006/relationships/table\" Target=\"../tables/table1.xml\"/></Relationships>"},
         {"xl/tables/table1.xml", table}});
    // The dimension of the first sheet, to see it grow.
    sheet::ApplicationPtr excel = ooxml::createSpreadsheet();
    sheet::WorkbookPtr book = excel->workbooksOpen(path);
    const sheet::WorksheetPtr sheet = book->worksheets(1);
    sheet->setCell(2, 1, "42");
    sheet->setCell(2, 3, "=A2*2");
    sheet->setCell(1, 4, "true");
    sheet->setCell(5, 2, "文字");
    sheet->setCell(1, 2, "Width"); // a table's header: its column is renamed with it
    sheet->setCell(2, 2, "'007");
    sheet->setCell(1, 1, "");
    QVERIFY_THROWS_EXCEPTION(RuntimeError, sheet->setCell(4, 2, "x")); // part of an array
    QVERIFY_THROWS_EXCEPTION(RuntimeError, sheet->setCell(0, 1, "x"));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, book->worksheets(2)->setCell(1, 1, "x"));
    QCOMPARE(sheet->cell(2, 1), QString("42"));
    QCOMPARE(sheet->cell(2, 3), QString("=A2*2"));
    QCOMPARE(sheet->cell(1, 4), QString("TRUE"));
    QCOMPARE(sheet->cell(5, 2), QString("文字"));
    QCOMPARE(sheet->cell(2, 2), QString("007"));
    QCOMPARE(sheet->cell(1, 1), QString());
    book->close(true);

    const auto xml = xmlOf(path, "xl/worksheets/sheet1.xml");
    QStringList cells;
    for (const pugi::xpath_node& node : xml->select_nodes("//row"))
        for (const pugi::xml_node c : node.node().children("c"))
            cells << QString::fromUtf8(c.attribute("r").value());
    QCOMPARE(cells, QStringList({"A1", "B1", "D1", "A2", "B2", "C2", "B3", "B5"}));
    QCOMPARE(attribute(*xml, "//row[@r='1']/@spans"), QString("1:4"));
    QCOMPARE(value(*xml, "//c[@r='A2']/v"), QString("42"));
    QCOMPARE(attribute(*xml, "//c[@r='D1']/@t"), QString("b"));
    QCOMPARE(count(*xml, "//c[@r='A1']/v"), 0);
    QCOMPARE(attribute(*xmlOf(path, "xl/tables/table1.xml"), "//tableColumn[@id='2']/@name"),
             QString("Width"));
    // The strings no cell holds any more keep no old text.
    const QByteArray strings = ZipFiles::read(path).value("xl/sharedStrings.xml");
    QVERIFY(!strings.contains("Name") && !strings.contains("Size"));
    excel->quit();
}

void TestOoxml::hostilePackagesRefused()
{
    const QString good = file("good.docx");
    writeDocx(good, paragraph("text"));
    const ZipFiles::Parts parts = [&] {
        ZipFiles::Parts list;
        const QMap<QString, QByteArray> read = ZipFiles::read(good);
        for (const QString& name : ZipFiles::names(good))
            list.append({name, read.value(name)});
        return list;
    }();
    const auto replaced = [&](const QString& name, const QByteArray& bytes) {
        ZipFiles::Parts list = parts;
        for (auto& [entry, content] : list) {
            if (entry == name)
                content = bytes;
        }
        return list;
    };
    const auto refusal = [&](const QString& path) -> QString {
        word::ApplicationPtr word = ooxml::createWordProcessor();
        try {
            word->documentsOpen(path);
        } catch (const RuntimeError& error) {
            return error.description();
        }
        return {};
    };

    // A part that expands a thousandfold: refused before it is expanded.
    const QString bomb = file("bomb.docx");
    ZipFiles::write(bomb, replaced("word/document.xml", QByteArray(8 << 20, ' ')));
    QVERIFY(QFileInfo(bomb).size() < 100000);
    QVERIFY2(refusal(bomb).contains("压缩炸弹"), qPrintable(refusal(bomb)));

    // A part larger than any document: refused by its size alone.
    const QString large = file("large.docx");
    QByteArray big(100 << 20, 'a');
    for (qsizetype i = 0; i < big.size(); i += 64)
        big[i] = char('a' + (i / 64) % 26 + (i % 7));
    ZipFiles::write(large, replaced("word/document.xml", big), {"word/document.xml"});
    big.clear();
    QVERIFY2(refusal(large).startsWith("文件过大"), qPrintable(refusal(large)));

    // A zip that claims a small part and holds a large one: read no further than it claims.
    const QString liar = file("liar.docx");
    ZipFiles::write(liar, replaced("word/document.xml", kDeclaration + "<w:document" + kWordNamespaces +
                                                            "><w:body>" + QByteArray(4 << 20, ' ') +
                                                            "</w:body></w:document>"));
    {
        QFile zip(liar);
        QVERIFY(zip.open(QIODevice::ReadWrite));
        QByteArray bytes = zip.readAll();
        // The sizes of word/document.xml in its local header and in the central directory, set to 1000.
        for (const QByteArray& signature : {QByteArray("PK\x03\x04", 4), QByteArray("PK\x01\x02", 4)}) {
            const int sizeAt = signature[2] == 3 ? 22 : 24;
            const int nameAt = signature[2] == 3 ? 30 : 46;
            for (qsizetype at = bytes.indexOf(signature); at >= 0; at = bytes.indexOf(signature, at + 4)) {
                if (bytes.mid(at + nameAt, 17) == "word/document.xml") {
                    const quint32 size = 1000;
                    memcpy(bytes.data() + at + sizeAt, &size, 4);
                }
            }
        }
        zip.seek(0);
        zip.write(bytes);
    }
    QVERIFY(!refusal(liar).isEmpty());

    const QString escape = file("escape.docx");
    ZipFiles::write(escape, ZipFiles::Parts(parts)
                                << QPair<QString, QByteArray>("word/../../etc/passwd", "x"));
    QVERIFY2(refusal(escape).contains("“..”"), qPrintable(refusal(escape)));
    ZipFiles::write(escape, ZipFiles::Parts(parts) << QPair<QString, QByteArray>("/etc/passwd", "x"));
    QVERIFY2(refusal(escape).contains("绝对路径"), qPrintable(refusal(escape)));

    const QString missing = file("missing.docx");
    ZipFiles::Parts withoutBody = parts;
    withoutBody.removeIf([](const auto& part) { return part.first == "word/document.xml"; });
    ZipFiles::write(missing, withoutBody);
    QCOMPARE(refusal(missing), QString("文件已损坏：缺少部件 word/document.xml"));

    // An external entity would read a local file; the engine never resolves one.
    const QString entity = file("entity.docx");
    ZipFiles::write(entity, replaced("word/document.xml",
                                     "<?xml version=\"1.0\"?><!DOCTYPE w:document [<!ENTITY x SYSTEM "
                                     "\"file:///etc/passwd\">]><w:document" +
                                         kWordNamespaces +
                                         "><w:body><w:p><w:r><w:t>&x;</w:t></w:r></w:p>"
                                         "</w:body></w:document>"));
    QVERIFY2(refusal(entity).contains("DTD"), qPrintable(refusal(entity)));

    // Nested deeper than any document: refused before anything walks it.
    const QString deep = file("deep.docx");
    ZipFiles::write(deep,
                    replaced("word/document.xml", kDeclaration + "<w:document" + kWordNamespaces +
                                                      "><w:body>" + QByteArray("<w:p>").repeated(200000) +
                                                      QByteArray("</w:p>").repeated(200000) +
                                                      "</w:body></w:document>"),
                    {"word/document.xml"});
    QVERIFY2(refusal(deep).contains("嵌套过深"), qPrintable(refusal(deep)));

    const QString notXml = file("broken.docx");
    ZipFiles::write(notXml, replaced("word/document.xml", "<w:document><w:body>"));
    QVERIFY2(refusal(notXml).startsWith("文件已损坏"), qPrintable(refusal(notXml)));

    // Workbooks too: a sheet the workbook names is missing.
    const QString book = file("missing.xlsx");
    writeXlsx(book, {{"S", {}, {}}}, {});
    const QMap<QString, QByteArray> bookParts = ZipFiles::read(book);
    ZipFiles::Parts withoutSheet;
    for (const QString& name : ZipFiles::names(book)) {
        if (name != "xl/worksheets/sheet1.xml")
            withoutSheet.append({name, bookParts.value(name)});
    }
    ZipFiles::write(book, withoutSheet);
    sheet::ApplicationPtr excel = ooxml::createSpreadsheet();
    QVERIFY_THROWS_EXCEPTION(RuntimeError, excel->workbooksOpen(book));
}

void TestOoxml::declinedFilesGoElsewhere()
{
    // An encrypted document is a compound file; a document with an embedded
    // one has text outside its own XML.
    const QString encrypted = file("encrypted.docx");
    {
        QFile out(encrypted);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QByteArray::fromHex("D0CF11E0A1B11AE1") + QByteArray(4096, '\0'));
    }
    const QString chunk = file("chunk.docx");
    writeDocx(chunk, paragraph("OLD") + "<w:altChunk r:id=\"rIdImage\"/>");
    const QString doc = file("old.doc");
    QFile::copy(encrypted, doc);

    QStringList notes;
    QStringList opened;
    struct Fallback final : word::Application
    {
        QStringList& opened;
        explicit Fallback(QStringList& list)
            : opened(list)
        {}
        word::DocumentPtr documentsOpen(const QString& path) override
        {
            opened << QFileInfo(path).fileName();
            return {};
        }
        QList<word::DocumentPtr> documents() override { return {}; }
        void setSeekView(qint16) override {}
        word::SelectionPtr selection() override { return {}; }
        void setVisible(bool) override {}
        void setDisplayAlerts(int) override {}
        void quit() override {}
    };
    word::ApplicationPtr routed = ooxml::routedWordProcessor(
        [&] { return std::make_unique<Fallback>(opened); }, [&](const QString& line) { notes << line; });
    routed->documentsOpen(encrypted);
    routed->documentsOpen(chunk);
    routed->documentsOpen(doc);
    QVERIFY(routed->documentsOpen(file("good.docx")));
    QCOMPARE(opened, QStringList({"encrypted.docx", "chunk.docx", "old.doc"}));
    QCOMPARE(notes.size(), 2);
    QVERIFY2(notes.at(1).startsWith(chunk + " 交由 LibreOffice 处理："), qPrintable(notes.at(1)));

    // Forced to the lossless engine alone, they fail with the reason.
    word::ApplicationPtr alone = ooxml::routedWordProcessor(nullptr, nullptr);
    try {
        alone->documentsOpen(chunk);
        QFAIL("a document with an embedded one was taken");
    } catch (const RuntimeError& error) {
        QCOMPARE(error.description(), QString("无法直接编辑：文档含嵌入的子文档（altChunk）"));
    }
    QVERIFY_THROWS_EXCEPTION(RuntimeError, alone->documentsOpen(doc));
}

void TestOoxml::partsKeepTheirBytes()
{
    // Written as other programs write: a line break after the declaration, single
    // quotes, blanks inside tags, entities, a comment, empty elements both ways.
    const QString path = file("spelling.docx");
    writeDocx(path, paragraph("x"), {{"header1", paragraph("header OLD")}});
    ZipFiles::Parts parts;
    const QMap<QString, QByteArray> was = ZipFiles::read(path);
    const QByteArray changedParagraph = "<w:p w:rsidR='00A1'><w:r><w:t xml:space=\"preserve\">the OLD "
                                        "&amp; &#x41; word</w:t></w:r></w:p>";
    const QByteArray head = "<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\r\n<w:document" +
                            kWordNamespaces +
                            "\r\n   mc:Ignorable=\"w14\" >\r\n<w:body>\r\n<!-- kept -->\r\n"
                            "<w:p w:rsidR='00A1' ><w:pPr ></w:pPr><w:r><w:t>&quot;keep&quot; &apos;it&apos; "
                            "&#x41;</w:t></w:r></w:p>\r\n";
    const QByteArray tail = "\r\n<w:p></w:p><w:p/>\r\n<w:sectPr w:rsidR=\"00A1\" ><w:pgSz w:w='11906' "
                            "w:h=\"16838\"></w:pgSz></w:sectPr>\r\n</w:body>\r\n</w:document>\r\n";
    for (auto it = was.cbegin(); it != was.cend(); ++it)
        parts.append(
            {it.key(), it.key() == "word/document.xml" ? head + changedParagraph + tail : it.value()});
    // [Content_Types].xml first, as packages have it.
    std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) {
        return a.first.startsWith('[') && !b.first.startsWith('[');
    });
    ZipFiles::write(path, parts, {"word/media/image1.png"});

    const QByteArray headerStored = ZipFiles::raw(path, "word/header1.xml");
    word::ApplicationPtr word = ooxml::createWordProcessor();
    word::DocumentPtr document = word->documentsOpen(path);
    document->content()->replaceAll("old", "NEW");
    // The header is read and searched, but holds nothing to change in the body's pass.
    document->sections().at(0)->headers(1)->range()->replaceAll("absent", "x");
    document->save();
    const QMap<QString, QByteArray> now = ZipFiles::read(path);
    const QByteArray xml = now.value("word/document.xml");
    // Everything around the paragraph that held the word has its bytes; the paragraph reads anew.
    QVERIFY2(xml.startsWith(head), xml.constData());
    QVERIFY2(xml.endsWith(tail), xml.constData());
    const QByteArray middle = xml.mid(head.size(), xml.size() - head.size() - tail.size());
    QVERIFY2(middle.startsWith("<w:p w:rsidR='00A1'>") && middle.contains("the NEW &amp; A word"),
             middle.constData());
    QCOMPARE(ZipFiles::raw(path, "word/header1.xml"), headerStored);
    QCOMPARE(now.value("word/header1.xml"), was.value("word/header1.xml"));

    // A workbook: the worksheet whose cells did not change keeps its bytes, though
    // it was searched; so do the shared strings the edit left alone.
    const QString book = file("spelling.xlsx");
    const QByteArray second = "<row r=\"1\" spans=\"1:1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c "
                              "r='B1'><f>A1&amp;&quot;x&quot;</f><v></v></c></row>";
    writeXlsx(book,
              {{"First", "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c></row>", {}},
               {"Second", second, "<pageMargins left=\"0.7\" right='0.7'></pageMargins>"}},
              "<si><t>same &quot;text&quot;</t></si><si><t>OLD word</t></si>");
    const QMap<QString, QByteArray> bookWas = ZipFiles::read(book);
    sheet::ApplicationPtr excel = ooxml::createSpreadsheet();
    sheet::WorkbookPtr workbook = excel->workbooksOpen(book);
    for (int i = 1; i <= workbook->worksheetsCount(); ++i)
        workbook->worksheets(i)->cellsReplace("old", "new");
    workbook->close(true);
    const QMap<QString, QByteArray> bookNow = ZipFiles::read(book);
    QCOMPARE(bookNow.value("xl/worksheets/sheet2.xml"), bookWas.value("xl/worksheets/sheet2.xml"));
    QVERIFY(bookNow.value("xl/sharedStrings.xml").contains("<si><t>same &quot;text&quot;</t></si>"));
    QVERIFY(bookNow.value("xl/sharedStrings.xml").contains("new word"));
    excel->quit();
    word->quit();
}

void TestOoxml::zipEntriesCopiedAsStored()
{
    const QString path = file("handmade.docx");
    writeDocx(path, paragraph("the OLD word"));
    ZipFiles::Parts parts;
    const QMap<QString, QByteArray> was = ZipFiles::read(path);
    for (const QString& name : ZipFiles::names(path))
        parts.append({name, was.value(name)});
    QMap<QString, QPair<QByteArray, QByteArray>> records;
    {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(handMadeZip(parts, records));
    }
    QVERIFY(records.contains("docProps/"));

    word::ApplicationPtr word = ooxml::createWordProcessor();
    word::DocumentPtr document = word->documentsOpen(path);
    document->content()->replaceAll("old", "new");
    document->save();
    word->quit();

    QFile in(path);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    // Every entry but the changed one: its local header, data and data descriptor as they
    // were, its central record as it was but for where the entry now starts.
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        if (it.key() == "word/document.xml")
            continue;
        QVERIFY2(bytes.contains(it.value().first), qPrintable(it.key()));
        const QByteArray central = it.value().second;
        const qsizetype at = bytes.indexOf(central.left(42));
        QVERIFY2(at > 0, qPrintable(it.key()));
        QCOMPARE(bytes.mid(at + 46, central.size() - 42), central.mid(42));
    }
    QVERIFY(bytes.endsWith("made by hand"));
    // Entries in the same order, and the zip reads as one.
    QStringList expected;
    for (const auto& [name, data] : std::as_const(parts))
        expected << name;
    const QStringList listed = ZipFiles::names(path);
    if (listed.contains("docProps/"))
        expected.insert(1, "docProps/");
    QCOMPARE(listed, expected);
    const QMap<QString, QByteArray> now = ZipFiles::read(path);
    QVERIFY(now.value("word/document.xml").contains("the new word"));
    QCOMPARE(now.value("word/media/image1.png"), kPng);
}

void TestOoxml::strictRefused()
{
    // The Strict vocabulary: refused with the reason, never handed to another engine to export anew.
    const QString path = file("strict.docx");
    writeDocx(path, paragraph("OLD"));
    ZipFiles::Parts parts;
    const QMap<QString, QByteArray> was = ZipFiles::read(path);
    for (const QString& name : ZipFiles::names(path)) {
        QByteArray bytes = was.value(name);
        bytes.replace("http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument",
                      "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument");
        bytes.replace("http://schemas.openxmlformats.org/wordprocessingml/2006/main",
                      "http://purl.oclc.org/ooxml/wordprocessingml/main");
        parts.append({name, bytes});
    }
    ZipFiles::write(path, parts);
    const Snapshot before = Snapshot::of(path);
    QStringList opened;
    QStringList notes;
    word::ApplicationPtr routed = ooxml::routedWordProcessor(
        [&]() -> word::ApplicationPtr {
            opened << "fallback";
            return {};
        },
        [&](const QString& line) { notes << line; });
    try {
        routed->documentsOpen(path);
        QFAIL("a Strict document was taken");
    } catch (const RuntimeError& error) {
        QCOMPARE(error.description(), QString("无法直接编辑：Strict OOXML 文档"));
    }
    QVERIFY(opened.isEmpty());
    QVERIFY(notes.isEmpty());
    QVERIFY(Snapshot::of(path) == before);
}

QTEST_GUILESS_MAIN(TestOoxml)
#include "tst_ooxml.moc"
