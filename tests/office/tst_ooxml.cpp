#include "app/RuntimeError.h"
#include "office/ooxml/CellFormula.h"
#include "office/ooxml/SheetEngine.h"
#include "office/ooxml/WordEngine.h"
#include "office/ooxml/WorkBound.h"
#include "support/CliRun.h"
#include "support/FakeOffice.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>
#include <atomic>
#include <functional>
#include <pugixml.hpp>

// The lossless engine on packages made here part by part and on every package of the corpus.
namespace {

using ZipFiles::kWordNamespaces;
using ZipFiles::Snapshot;
using ZipFiles::textBox;
using ZipFiles::writeDocx;

QByteArray paragraph(const QByteArray& text)
{
    return "<w:p><w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r></w:p>";
}

std::unique_ptr<pugi::xml_document> parse(const QByteArray& bytes)
{
    auto document = std::make_unique<pugi::xml_document>();
    document->load_buffer(bytes.constData(), size_t(bytes.size()),
                          (pugi::parse_full & ~pugi::parse_doctype) | pugi::parse_ws_pcdata);
    return document;
}

std::unique_ptr<pugi::xml_document> xmlOf(const QString& path, const QString& part)
{
    return parse(ZipFiles::read(path).value(part));
}

// Each XPath expression's string value (a count, a text, an attribute) that is not the one expected.
QString mismatches(const pugi::xml_document& xml, const QList<QPair<const char*, QString>>& expected)
{
    QString wrong;
    for (const auto& [xpath, value] : expected) {
        const QString is = QString::fromStdString(pugi::xpath_query(xpath).evaluate_string(xml));
        if (is != value)
            wrong += QString("%1 is \"%2\", not \"%3\"\n").arg(xpath, is, value);
    }
    return wrong;
}

// Fails the test with each XPath expression whose value in the document is not the one expected.
#define CHECK_XML(document, ...) QCOMPARE(mismatches(document, __VA_ARGS__), QString())

QStringList childNames(pugi::xml_node node)
{
    QStringList names;
    for (const pugi::xml_node child : node.children())
        names << QString::fromUtf8(child.name());
    return names;
}

// What a call that must fail says; empty when it did not fail.
QString failure(const std::function<void()>& call)
{
    try {
        call();
    } catch (const RuntimeError& error) {
        return error.description();
    }
    return {};
}

// The document at path opened with the lossless engine, edited, saved.
void editDocument(const QString& path, const std::function<void(word::Application&, word::Document&)>& edit)
{
    const word::ApplicationPtr word = ooxml::createWordProcessor();
    const word::DocumentPtr document = word->documentsOpen(path);
    edit(*word, *document);
    document->save();
    word->quit();
}

void editWorkbook(const QString& path, const std::function<void(sheet::Workbook&)>& edit)
{
    const sheet::ApplicationPtr excel = ooxml::createSpreadsheet();
    const sheet::WorkbookPtr book = excel->workbooksOpen(path);
    edit(*book);
    book->close(true);
    excel->quit();
}

// A workbook's sheet: its name, sheetData's content, more of the worksheet after it.
struct Sheet
{
    QByteArray name;
    QByteArray data;
    QByteArray after = {};
    bool chart = false;
};

const QByteArray kSheetNs =
    " xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\""
    " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";

void writeXlsx(const QString& path, const QList<Sheet>& sheets, const QByteArray& strings,
               const QList<ZipFiles::Part>& more = {}, const QByteArray& workbookExtra = {})
{
    QList<ZipFiles::Part> parts = {
        {},
        {"xl/sharedStrings.xml", "<sst" + kSheetNs + ">" + strings + "</sst>", "sharedStrings", "rIdS"},
        {"xl/styles.xml",
         "<styleSheet" + kSheetNs +
             "><numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"yyyy&quot;年&quot;m&quot;月"
             "&quot;\"/></numFmts><cellXfs count=\"3\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/>"
             "<xf numFmtId=\"164\"/></cellXfs></styleSheet>",
         "styles", "rIdT"}};
    QByteArray list;
    for (int i = 0; i < sheets.size(); ++i) {
        const Sheet& sheet = sheets.at(i);
        const QByteArray n = QByteArray::number(i + 1);
        list += "<sheet name=\"" + sheet.name + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        parts.append(sheet.chart ? ZipFiles::Part{"xl/chartsheets/sheet" + n + ".xml",
                                                  "<chartsheet" + kSheetNs + "/>", "chartsheet", "rId" + n}
                                 : ZipFiles::Part{"xl/worksheets/sheet" + n + ".xml",
                                                  "<worksheet" + kSheetNs + "><sheetData>" + sheet.data +
                                                      "</sheetData>" + sheet.after + "</worksheet>",
                                                  "worksheet", "rId" + n});
    }
    parts[0] = {"xl/workbook.xml",
                "<workbook" + kSheetNs + "><sheets>" + list + "</sheets>" + workbookExtra + "</workbook>"};
    ZipFiles::writePackage(path, parts + more);
}

ZipFiles::Part calcChain(const QByteArray& cells)
{
    return {"xl/calcChain.xml", "<calcChain" + kSheetNs + ">" + cells + "</calcChain>", "calcChain", "rIdC"};
}

// The package at path written again without one of its entries.
void dropEntry(const QString& path, const QString& entry)
{
    const QMap<QString, QByteArray> parts = ZipFiles::read(path);
    ZipFiles::Parts kept;
    for (const QString& name : ZipFiles::names(path)) {
        if (name != entry)
            kept.append({name, parts.value(name)});
    }
    ZipFiles::write(path, kept);
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

const QString kNew = QStringLiteral("ZQXNEW");

// Each entry's local record (header, data, descriptor) and its central record without the offset field.
QMap<QString, QPair<QByteArray, QByteArray>> storedEntries(const QByteArray& b)
{
    const auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(b.constData() + at); };
    const auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(b.constData() + at); };
    const qsizetype end = b.lastIndexOf(QByteArray::fromHex("504b0506"));
    QMap<QString, QPair<QByteArray, QByteArray>> entries;
    qsizetype at = end < 0 ? 0 : u32(end + 16);
    for (int i = 0; end >= 0 && i < u16(end + 10); ++i) {
        const qsizetype length = 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
        const QString name = QString::fromUtf8(b.mid(at + 46, u16(at + 28)));
        const qsizetype local = u32(at + 42);
        qsizetype dataEnd = local + 30 + u16(local + 26) + u16(local + 28) + u32(at + 20);
        if (u16(at + 8) & 0x0008)
            dataEnd += u32(dataEnd) == 0x08074b50 ? 16 : 12;
        entries[name] = {b.mid(local, dataEnd - local), b.mid(at, 42) + b.mid(at + 46, length - 46)};
        at += length;
    }
    return entries;
}

QByteArray le(quint32 value, int size)
{
    const quint32 bytes = qToLittleEndian(value);
    return QByteArray(reinterpret_cast<const char*>(&bytes), size);
}

// The zip at path as some tools write theirs: each entry stored, its sizes in a descriptor after its data.
QByteArray withDescriptors(const QString& path)
{
    const QMap<QString, QByteArray> parts = ZipFiles::read(path);
    const auto entries = storedEntries(Snapshot::of(path).bytes);
    const QStringList names = ZipFiles::names(path);
    QByteArray file;
    QByteArray directory;
    for (const QString& name : names) {
        const QByteArray data = parts.value(name);
        const QByteArray utf8 = name.toUtf8();
        // The CRC as the central record gives it, the sizes of the data stored.
        const QByteArray sizes =
            entries.value(name).second.mid(16, 4) + le(quint32(data.size()), 4) + le(quint32(data.size()), 4);
        // Version 1.0, sizes after the data, stored, a time and a date.
        const QByteArray common = le(10, 2) + le(8, 2) + le(0, 2) + le(0x5A817A21, 4);
        directory += le(0x02014b50, 4) + le(10, 2) + common + sizes + le(quint32(utf8.size()), 2) +
                     QByteArray(12, '\0') + le(quint32(file.size()), 4) + utf8;
        file += le(0x04034b50, 4) + common + QByteArray(12, '\0') + le(quint32(utf8.size()), 2) + le(0, 2) +
                utf8 + data + le(0x08074b50, 4) + sizes;
    }
    return file + directory + le(0x06054b50, 4) + QByteArray(4, '\0') + le(quint32(names.size()), 2) +
           le(quint32(names.size()), 2) + le(quint32(directory.size()), 4) + le(quint32(file.size()), 4) +
           le(0, 2);
}

std::string_view local(pugi::xml_node node)
{
    const std::string_view name = node.name();
    const size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The text of the t elements under node, phonetic runs left out.
QString textOf(pugi::xml_node node)
{
    QString text;
    for (pugi::xml_node n = node.first_child(); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element || local(n) == "rPh" || local(n) == "instrText" ||
            local(n) == "delText")
            continue;
        if (local(n) == "t")
            text += QString::fromUtf8(n.text().get());
        else if (local(n) == "tab" || local(n) == "br" || local(n) == "cr") // no match crosses these
            text += '\n';
        else
            text += textOf(n) + (local(n) == "p" ? "\n" : "");
    }
    return text;
}

// One workbook's shared strings, by index.
QStringList sharedStrings(const QByteArray& xml)
{
    QStringList strings;
    const auto document = parse(xml);
    for (const pugi::xpath_node& si : document->select_nodes("/*/*[local-name()='si']"))
        strings << textOf(si.node());
    return strings;
}

// What a cell shows as text: its string, shared or inline, or its value.
QString cellText(pugi::xml_node c, const QStringList& strings)
{
    const std::string_view type = c.attribute("t").value();
    for (pugi::xml_node n = c.first_child(); n; n = n.next_sibling()) {
        if (type == "s" && local(n) == "v")
            return strings.value(QString::fromUtf8(n.text().get()).toInt());
        if (type == "inlineStr" && local(n) == "is")
            return textOf(n);
        if (local(n) == "v")
            return QString::fromUtf8(n.text().get());
    }
    return {};
}

// The part as canonical text: attributes sorted, entities resolved, shared strings written out; each unit
// holding word is one mark, dropped altogether in a string table (whose order moves as strings come and go).
void canonical(pugi::xml_node node, const QString& word, const QStringList& strings, QString& out)
{
    for (pugi::xml_node n = node.first_child(); n; n = n.next_sibling()) {
        // The elements a replacement may rewrite: a paragraph, a shared string, a cell, a table column.
        if (n.type() == pugi::node_element &&
            (local(n) == "p" || local(n) == "si" || local(n) == "c" || local(n) == "tableColumn")) {
            const QString text = local(n) == "c"             ? cellText(n, strings)
                                 : local(n) == "tableColumn" ? QString::fromUtf8(n.attribute("name").value())
                                                             : textOf(n);
            if (text.contains(word, Qt::CaseInsensitive)) {
                if (local(n) != "si")
                    out += QStringLiteral("[held]");
                continue;
            }
        }
        if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata)
            out += QString::fromUtf8(n.value());
        else if (n.type() == pugi::node_comment)
            out += "<!--" + QString::fromUtf8(n.value()) + "-->";
        else if (n.type() == pugi::node_declaration || n.type() == pugi::node_pi)
            out += "<?" + QString::fromUtf8(n.name()) + "?>";
        if (n.type() != pugi::node_element)
            continue;
        QStringList attributes;
        for (const pugi::xml_attribute a : n.attributes()) {
            const std::string_view name = a.name();
            // A string table's counts follow its strings.
            if ((local(n) == "sst" && (name == "count" || name == "uniqueCount")) ||
                (local(n) == "c" && name == "t" && std::string_view(a.value()) == "s"))
                continue;
            attributes << QString::fromUtf8(a.name()) + "=" + QString::fromUtf8(a.value());
        }
        attributes.sort();
        out += "<" + QString::fromUtf8(n.name()) + " " + attributes.join(' ') + ">";
        if (local(n) == "c" && std::string_view(n.attribute("t").value()) == "s")
            out += "{" + cellText(n, strings) + "}";
        else
            canonical(n, word, strings, out);
        out += "</>";
    }
}

bool storyPart(const QString& name)
{
    static const QRegularExpression stories("^(word/(document|header\\d*|footer\\d*)\\.xml|xl/"
                                            "(sharedStrings|worksheets/sheet\\d+|tables/table\\d+)\\.xml)$");
    return stories.match(name).hasMatch();
}

// The text a story part shows: its paragraphs' (or strings', or cells') texts.
QString shownText(const QString& name, const QByteArray& xml)
{
    const auto document = parse(xml);
    if (name.startsWith("word/"))
        return textOf(document->document_element());
    QString text;
    if (name.contains("tables/")) {
        for (const pugi::xpath_node& column : document->select_nodes("//*[local-name()='tableColumn']"))
            text += QString::fromUtf8(column.node().attribute("name").value()) + '\n';
        return text;
    }
    if (name.contains("sharedStrings"))
        return sharedStrings(xml).join('\n');
    for (const pugi::xpath_node& is : document->select_nodes("//*[local-name()='is']"))
        text += textOf(is.node()) + '\n';
    return text;
}

// All the character data of a part and a table's column names: field codes, deleted text, formulas too.
QString allText(const QByteArray& xml)
{
    QString text;
    const auto document = parse(xml);
    for (const pugi::xpath_node& node :
         document->select_nodes("//text() | //*[local-name()='tableColumn']/@name"))
        text += QString::fromUtf8(node.node() ? node.node().value() : node.attribute().value()) + '\n';
    return text;
}

// A word of the package's text held only as text (never in allText's other places), in no pivot table.
QString chooseWord(const QMap<QString, QByteArray>& parts)
{
    static const QRegularExpression words("[\\p{L}\\p{N}]{1,12}");
    // Pivot tables show what their cache holds: Excel's replace leaves their cells alone.
    QString pivots;
    const QStringList strings = sharedStrings(parts.value("xl/sharedStrings.xml"));
    for (auto it = parts.cbegin(); it != parts.cend(); ++it) {
        static const QRegularExpression sheet("^xl/worksheets/(sheet\\d+\\.xml)$");
        const QRegularExpressionMatch match = sheet.match(it.key());
        if (!match.hasMatch() ||
            !parts.value("xl/worksheets/_rels/" + match.captured(1) + ".rels").contains("pivotTable"))
            continue;
        const auto document = parse(it.value());
        for (const pugi::xpath_node& c : document->select_nodes("//*[local-name()='c']"))
            pivots += cellText(c.node(), strings) + '\n';
    }
    QString body;
    for (auto it = parts.cbegin(); it != parts.cend(); ++it) {
        if (it.key() == "word/document.xml" || it.key() == "xl/sharedStrings.xml" ||
            (it.key().startsWith("xl/worksheets/") && it.key().endsWith(".xml")))
            body += shownText(it.key(), it.value()) + '\n';
    }
    QSet<QString> tried;
    for (auto match = words.globalMatch(body); match.hasNext() && tried.size() < 60;) {
        const QString word = match.next().captured();
        if (tried.contains(word.toLower()))
            continue;
        tried.insert(word.toLower());
        bool clean = !pivots.contains(word, Qt::CaseInsensitive);
        for (auto it = parts.cbegin(); clean && it != parts.cend(); ++it) {
            if (!QString::fromUtf8(it.value()).contains(word, Qt::CaseInsensitive))
                continue;
            if (it.key().startsWith("xl/pivot"))
                clean = false;
            else if (storyPart(it.key()))
                clean = allText(it.value()).count(word, Qt::CaseInsensitive) ==
                        shownText(it.key(), it.value()).count(word, Qt::CaseInsensitive);
        }
        if (clean)
            return word;
    }
    return {};
}

// The parts a replacement of word must change: the body and the primary headers and footers whose shown text
// holds it; in a workbook the string table when a cell shows one of its strings holding it, a worksheet when
// one of its own inline strings does. may: the worksheets that may change too (their cells pointing into a
// string table whose strings come and go).
QSet<QString> holding(const QMap<QString, QByteArray>& parts, const QString& word, QSet<QString>& may)
{
    // The job reaches the primary header and footer of each section (the ones of type "default").
    QSet<QString> primary = {"word/document.xml"};
    const auto rels = parse(parts.value("word/_rels/document.xml.rels"));
    const auto body = parse(parts.value("word/document.xml"));
    for (const pugi::xpath_node& reference : body->select_nodes(
             "//*[local-name()='headerReference' or local-name()='footerReference'][@w:type='default']")) {
        const std::string target =
            "//*[@Id='" + std::string(reference.node().attribute("r:id").value()) + "']/@Target";
        primary.insert("word/" + QString::fromUtf8(rels->select_node(target.c_str()).attribute().value()));
    }
    QSet<QString> found;
    const QStringList strings = sharedStrings(parts.value("xl/sharedStrings.xml"));
    for (auto it = parts.cbegin(); it != parts.cend(); ++it) {
        if (!storyPart(it.key()))
            continue;
        if (it.key().startsWith("word/") || it.key().contains("tables/")) {
            if (shownText(it.key(), it.value()).contains(word, Qt::CaseInsensitive) &&
                (primary.contains(it.key()) || !it.key().startsWith("word/")))
                found.insert(it.key());
            continue;
        }
        if (!it.key().startsWith("xl/worksheets/"))
            continue;
        may.insert(it.key());
        const auto document = parse(it.value());
        for (const pugi::xpath_node& c : document->select_nodes("//*[local-name()='c']")) {
            if (!cellText(c.node(), strings).contains(word, Qt::CaseInsensitive))
                continue;
            if (std::string_view(c.node().attribute("t").value()) == "s")
                found.insert("xl/sharedStrings.xml");
            else
                found.insert(it.key());
        }
    }
    return found;
}

} // namespace

class TestOoxml : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void findAndReplaceAcrossRuns();
    void textBoxesHeadersAndFootersReached();
    void trackedChangesRecorded();
    void longWorkIsBounded();
    void writerTypesIntoHeadersAndFooters();
    void saveWritesOnlyWhatChanged();
    void workbookReplace();
    void workbookFormulas();
    void cellWriting();
    void hostilePackagesRefused();
    void declinedFilesGoElsewhere();
    void corpusChangesOnlyWhatHeldTheWord_data();
    void corpusChangesOnlyWhatHeldTheWord();

private:
    QString file(const QString& name) { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestOoxml::findAndReplaceAcrossRuns()
{
    const QString path = file("runs.docx");
    writeDocx(
        path,
        // "Hello World" over three runs, a bookmark and a hyperlink; a field; deleted and inserted text.
        "<w:p><w:r><w:rPr><w:b/></w:rPr><w:t>Hel</w:t></w:r><w:bookmarkStart w:id=\"0\" w:name=\"mark\"/>"
        "<w:r><w:rPr><w:i/></w:rPr><w:t xml:space=\"preserve\">lo Wor</w:t></w:r><w:bookmarkEnd w:id=\"0\"/>"
        "<w:hyperlink r:id=\"rIdImage\"><w:r><w:t>ld</w:t></w:r></w:hyperlink>"
        "<w:r><w:t xml:space=\"preserve\"> and hello world</w:t></w:r></w:p>"
        "<w:p><w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText> HYPERLINK \"code\" "
        "</w:instrText></w:r><w:r><w:fldChar w:fldCharType=\"separate\"/></w:r><w:r><w:t>shown</w:t></w:r>"
        "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r><w:del><w:r><w:delText>gone</w:delText></w:r></w:del>"
        "<w:ins><w:r><w:t>added</w:t></w:r></w:ins><w:r><w:tab/><w:t>tab</w:t></w:r></w:p>");
    editDocument(path, [](auto&, word::Document& document) {
        const word::RangePtr content = document.content();
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
    });
    // The replacement lies in the first matched (bold) run; the emptied italic run went; the marks stay.
    CHECK_XML(*xmlOf(path, "word/document.xml"), {{"//w:p[1]/w:r[1]/w:t", " Hi"},
                                                  {"count(//w:p[1]/w:r[1]/w:rPr/w:b)", "1"},
                                                  {"//w:p[1]/w:r[1]/w:t/@xml:space", "preserve"},
                                                  {"count(//w:i)", "0"},
                                                  {"count(//w:bookmarkStart[@w:name='mark'])", "1"},
                                                  {"count(//w:bookmarkEnd)", "1"},
                                                  {"count(//w:hyperlink)", "1"},
                                                  {"//w:instrText", " HYPERLINK \"code\" "},
                                                  {"//w:delText", "gone"}});
    // Replacing a text by itself changes nothing, so the save writes nothing.
    const Snapshot before = Snapshot::of(path);
    editDocument(path,
                 [](auto&, word::Document& document) { document.content()->replaceAll("shown", "shown"); });
    QVERIFY(Snapshot::of(path) == before);
}

void TestOoxml::textBoxesHeadersAndFootersReached()
{
    // Text boxes floating, inline, with and without VML, VML alone, deleted; pictures. Section 1: default and
    // first-page headers, the default one with a box; section 2: none of its own; section 3: header and
    // footer.
    const QByteArray vml = "<w:r><w:pict><v:rect style=\"width:100pt\"><v:textbox><w:txbxContent>" +
                           paragraph("VML old") + "</w:txbxContent></v:textbox></v:rect></w:pict></w:r>";
    const QString path = file("stories.docx");
    writeDocx(
        path,
        "<w:p><w:r><w:t>Body OLD</w:t></w:r>" + textBox("Box OLD one", true) + "</w:p>" +
            "<w:p><w:r><w:drawing><wp:inline/></w:drawing></w:r><w:r><w:drawing><wp:anchor/></w:drawing>"
            "</w:r></w:p><w:p>" +
            textBox("Inline old", false, false) + "</w:p><w:p>" + textBox("Both old", false) + vml +
            "</w:p><w:p><w:del>" + QByteArray(vml).replace("VML", "Gone") + "</w:del></w:p>" +
            "<w:p><w:pPr><w:sectPr><w:headerReference w:type=\"default\" r:id=\"header1\"/>"
            "<w:headerReference w:type=\"first\" r:id=\"header2\"/><w:footerReference w:type=\"default\" "
            "r:id=\"footer1\"/><w:titlePg/></w:sectPr></w:pPr></w:p>" +
            paragraph("two") + "<w:p><w:pPr><w:sectPr/></w:pPr></w:p>" + paragraph("three") +
            "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"header3\"/>"
            "<w:footerReference w:type=\"default\" r:id=\"footer3\"/></w:sectPr>",
        {{"header1", paragraph("Head OLD 1") + "<w:p>" + textBox("Header box OLD", true) + "</w:p>"},
         {"header2", paragraph("First OLD")},
         {"header3", paragraph("Head OLD 3")},
         {"footer1", paragraph("Foot OLD 1")},
         {"footer3", paragraph("Foot OLD 3")}});
    editDocument(path, [](word::Application& app, word::Document& document) {
        const QList<word::ShapePtr> shapes = document.shapes();
        QStringList texts;
        for (const word::ShapePtr& shape : shapes)
            texts << shape->textFrameTextRange()->text();
        QCOMPARE(texts, QStringList({"Box OLD one", "Inline old", "Both old", "VML old"}));
        QVERIFY(!document.content()->findExecute("Box"));
        document.content()->replaceAll("old", "NEW");
        QCOMPARE(shapes.at(0)->textFrameTextRange()->text(), QString("Box OLD one"));
        for (const word::ShapePtr& shape : shapes)
            shape->textFrameTextRange()->replaceAll("old", "新");

        const QList<word::SectionPtr> sections = document.sections();
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
        app.setSeekView(word::kSeekCurrentPageHeader);
        app.selection()->findReplaceAll("OLD", "首页");
        app.setSeekView(word::kSeekMainDocument);
    });

    CHECK_XML(*xmlOf(path, "word/document.xml"), {{"//w:body/w:p[1]/w:r[1]/w:t", "Body NEW"}});
    // A drawing's text box and its VML copy changed alike.
    const QMap<QString, QByteArray> parts = ZipFiles::read(path);
    for (const auto& [part, text, count] :
         QList<std::tuple<QString, QByteArray, int>>{{"document", "Inline 新", 1},
                                                     {"document", "VML 新", 1},
                                                     {"document", "Gone old", 1},
                                                     {"document", "Box 新 one", 2},
                                                     {"document", "Both 新", 2},
                                                     {"header3", "Head new 3", 1},
                                                     {"header1", "Head OLD 1", 1},
                                                     {"header1", "Header box new", 2},
                                                     {"header2", "First 首页", 1},
                                                     {"footer3", "Foot OLD 3", 1}})
        QVERIFY2(parts.value("word/" + part + ".xml").count(text) == count, qPrintable(part + ": " + text));
}

void TestOoxml::trackedChangesRecorded()
{
    // A bookmark around "old" (split over two runs), a hyperlink holding "old"; then text that earlier
    // changes cut through: "o" + deleted "old" + inserted "ld", text moved away and text moved here.
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
    const QByteArray tracking = "<w:trackRevisions/>";
    const QByteArray header = "<w:headerReference w:type=\"default\" r:id=\"header1\"/>";
    // The footer: a mark already recorded as inserted, a PAGE field, a table and a formula.
    const QString tracked = file("tracked.docx");
    writeDocx(
        tracked,
        body + "<w:sectPr>" + header + "<w:footerReference w:type=\"default\" r:id=\"footer1\"/></w:sectPr>",
        {{"header1", "<w:p><w:bookmarkStart w:id=\"40\" w:name=\"head\"/><w:r><w:t xml:space=\"preserve\">"
                     "Head old</w:t></w:r><w:bookmarkEnd w:id=\"40\"/></w:p>"},
         {"footer1",
          "<w:p><w:pPr><w:rPr><w:ins w:id=\"1\" w:author=\"A\" w:date=\"2020-01-01T00:00:00Z\"/><w:b/>"
          "</w:rPr></w:pPr><w:r><w:t>Typed</w:t></w:r></w:p>"
          "<w:p><w:r><w:t xml:space=\"preserve\">Page </w:t></w:r><w:fldSimple w:instr=\" PAGE \">"
          "<w:r><w:t>1</w:t></w:r></w:fldSimple></w:p>"
          "<w:tbl><w:tblPr/><w:tblGrid><w:gridCol w:w=\"2000\"/></w:tblGrid><w:tr><w:tc><w:p><w:r>"
          "<w:t>Cell</w:t></w:r></w:p></w:tc></w:tr><w:tr><w:trPr><w:cantSplit/></w:trPr><w:tc><w:p>"
          "<w:r><w:t>Row 2</w:t></w:r></w:p></w:tc></w:tr></w:tbl>"
          "<w:p><m:oMath><m:r><m:t>x</m:t></m:r></m:oMath></w:p>"},
         {"settings", tracking}});
    const QStringList rejectedAsWritten = resolvedParagraphs(*xmlOf(tracked, "word/document.xml"), false);
    QCOMPARE(rejectedAsWritten,
             QStringList({"An old word old link", "keep oold and old", "gold and bold OLD"}));
    const QStringList replaced = {"An NEW word NEW link", "keep NEW and moved NEW", "gNEW and bNEW NEW"};

    editDocument(tracked, [&](auto&, word::Document& document) {
        const word::RangePtr content = document.content();
        QCOMPARE(content->text(), QString("An old word old link\nkeep old and moved old\ngold and bold OLD"));
        content->replaceAll("old", "NEW");
        document.sections().at(0)->headers(1)->range()->replaceAll("old", "");
        QCOMPARE(content->text(), replaced.join('\n'));
        document.sections().at(0)->footers(1)->range()->Delete();
    });

    const auto after = xmlOf(tracked, "word/document.xml");
    QCOMPARE(resolvedParagraphs(*after, true), replaced);
    QCOMPARE(resolvedParagraphs(*after, false), rejectedAsWritten);
    // Each occurrence: its old text in one deletion (formatting kept), its new text in one insertion, marked
    // with who made them and when. The deleted and moved text is as it was; the insertion "ld" lay wholly
    // inside the replaced text: it is gone, not left empty.
    CHECK_XML(*after, {{"count(//w:body/w:p[1]/w:del)", "1"},
                       {"count(//w:body/w:p[1]/w:del[1]/w:r)", "2"},
                       {"count(//w:body/w:p[1]/w:ins)", "1"},
                       {"count(//w:body/w:p[1]/w:hyperlink/w:del)", "1"},
                       {"count(//w:body/w:p[1]/w:hyperlink/w:ins)", "1"},
                       {"count(//w:body/w:p[3]/w:del)", "3"},
                       {"count(//w:body/w:p[3]/w:ins)", "3"},
                       {"//w:body/w:p[1]/w:ins/w:r/w:t", "NEW"},
                       {"count(//w:body/w:p[1]/w:del[1]/w:r[2]/w:rPr/w:b)", "1"},
                       {"count(//w:body/w:p[1]/w:del//w:t)", "0"},
                       {"//w:body/w:p[1]/w:ins/@w:author", "砚禾办公助手"},
                       {"boolean(//w:body/w:p[1]/w:del/@w:date != '')", "true"},
                       {"//w:body/w:p[2]/w:del[@w:id='7']/w:r/w:delText", "old"},
                       {"//w:body/w:p[2]/w:moveFrom/w:r/w:t", "old"},
                       {"count(//w:ins[not(*)])", "0"},
                       {"count(//w:body/w:p[2]/w:ins[@w:id='8'])", "0"}});
    QCOMPARE(resolvedText(after->select_node("//w:body/w:p[2]/w:moveTo").node(), true), QString("moved NEW"));
    // The bookmark still encloses the old text and the new one.
    QCOMPARE(
        childNames(after->select_node("//w:body/w:p[1]").node()),
        QStringList({"w:r", "w:bookmarkStart", "w:del", "w:ins", "w:bookmarkEnd", "w:r", "w:hyperlink"}));
    // Ids are unique in the whole document, the header's included.
    const auto headerXml = xmlOf(tracked, "word/header1.xml");
    QSet<QString> ids;
    int marked = 0;
    for (const pugi::xml_document* xml : {after.get(), headerXml.get()})
        for (const pugi::xpath_node& node : xml->select_nodes("//*[@w:id]")) {
            ids.insert(QString::fromUtf8(node.node().attribute("w:id").value()));
            ++marked;
        }
    QCOMPARE(ids.size(), marked - 2); // each bookmark's start and end share theirs
    // Replacing by nothing records only the deletion.
    CHECK_XML(*headerXml, {{"count(//w:del)", "1"}, {"count(//w:ins)", "0"}});
    QCOMPARE(resolvedText(headerXml->document_element(), true), QString("Head "));
    QCOMPARE(resolvedText(headerXml->document_element(), false), QString("Head old"));
    // The footer emptied: the inserted mark gets its deletion after the insertion; the field, the table and
    // the formula are deleted too, so that accepting every change leaves nothing.
    const auto footer = xmlOf(tracked, "word/footer1.xml");
    QCOMPARE(childNames(footer->select_node("//w:p[1]/w:pPr/w:rPr").node()),
             QStringList({"w:ins", "w:del", "w:b"}));
    CHECK_XML(*footer, {{"count(//w:fldSimple)", "0"},
                        {"count(//w:instrText)", "0"},
                        {"//w:p[2]/w:del/w:r/w:delInstrText", " PAGE "},
                        {"count(//w:p[2]/w:del/w:r/w:fldChar)", "3"},
                        {"count(//w:p[2]/w:r)", "0"},
                        {"count(//w:tr)", "2"},
                        {"count(//w:tr/w:trPr/w:del)", "2"},
                        {"name(//w:tr[2]/w:trPr/*[1])", "w:cantSplit"},
                        {"count(//w:del/m:oMath)", "1"},
                        {"count(//m:oMath[not(ancestor::w:del)])", "0"}});
    QCOMPARE(resolvedText(footer->document_element(), true), QString());
    QCOMPARE(resolvedText(footer->document_element(), false), QString("TypedPage 1CellRow 2"));
    // With tracking off, the text is replaced without a record.
    const QString plain = file("untracked.docx");
    writeDocx(plain, body, {{"settings", "<w:trackRevisions w:val=\"false\"/>"}});
    editDocument(plain,
                 [](auto&, word::Document& document) { document.content()->replaceAll("old", "NEW"); });
    const auto untracked = xmlOf(plain, "word/document.xml");
    CHECK_XML(*untracked, {{"count(//w:del)", "1"}, {"count(//w:ins)", "1"}});
    QCOMPARE(resolvedParagraphs(*untracked, true), replaced);
}

void TestOoxml::longWorkIsBounded()
{
    using ooxml::WorkBound;
    const auto waiting = [](int rounds) {
        for (int i = 0; i != rounds; ++i) {
            QThread::msleep(1);
            WorkBound::checkpoint();
        }
        return rounds;
    };
    // Outside a bounded call a checkpoint does nothing.
    WorkBound::checkpoint();
    // A call that spends its time waiting, not working, is ended after one round.
    WorkBound hung(100);
    QCOMPARE(failure([&] { hung.call([&] { waiting(-1); }); }), QString("处理时间过长，已停止"));
    // A bound ended once does not end the next call, however soon; the round outlasts three short waits.
    QCOMPARE(hung.call([] { return 7; }), 7);
    WorkBound quick(200);
    for (int round = 0; round < 20; ++round) {
        QVERIFY_THROWS_EXCEPTION(RuntimeError, quick.call([&] { waiting(-1); }));
        QCOMPARE(quick.call([&] { return waiting(3); }), 3);
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
    // Through the engine: a replacement that runs past its bound fails and the file keeps its bytes.
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
    QCOMPARE(failure([&] { document->content()->replaceAll("old", "new"); }),
             QString("处理时间过长，已停止"));
    word->quit();
    QVERIFY(Snapshot::of(path) == before);
}

void TestOoxml::writerTypesIntoHeadersAndFooters()
{
    // A right-aligned italic paragraph and a linked one in the header, once as it is, once with tracking on.
    const QString path = file("writer.docx");
    const QString tracked = file("tracked-writer.docx");
    for (const QString& target : {path, tracked}) {
        writeDocx(
            target,
            paragraph("body") +
                "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"header1\"/></w:sectPr>",
            {{"header1", "<w:p><w:pPr><w:jc w:val=\"right\"/></w:pPr><w:r><w:rPr><w:i/></w:rPr><w:t>Head A"
                         "</w:t></w:r></w:p><w:p><w:hyperlink r:id=\"rIdImage\"><w:r><w:t>Head B</w:t>"
                         "</w:r></w:hyperlink></w:p>"},
             {"settings", target == tracked ? "<w:trackRevisions/>" : ""}});
        editDocument(target, [](word::Application& app, word::Document&) {
            // The header: deleted, then typed with a font, size and bold, and centred.
            app.setSeekView(word::kSeekCurrentPageHeader);
            word::SelectionPtr selection = app.selection();
            for (const word::SectionPtr& section : selection->sections())
                section->headers(1)->range()->Delete();
            selection->setFontName("宋体");
            selection->setFontSize("10.5");
            selection->setFontBold(true);
            selection->typeText("页眉 Header");
            selection->setParagraphAlignment(word::kAlignCenter);
            QVERIFY_THROWS_EXCEPTION(RuntimeError, selection->setFontSize("小四"));
            // The footer does not exist yet: typing makes it, with a page number between 第 and 页.
            app.setSeekView(word::kSeekCurrentPageFooter);
            selection = app.selection();
            selection->setFontName("Arial");
            selection->typeText("第");
            selection->fieldsAdd(word::kFieldPage);
            selection->typeText("页");
            selection->setParagraphAlignment(word::kAlignJustify);
            app.setSeekView(word::kSeekMainDocument);
        });
    }

    const auto header = xmlOf(path, "word/header1.xml");
    CHECK_XML(*header, {{"count(//w:p)", "1"},
                        {"count(//w:i)", "0"},
                        {"//w:p/w:pPr/w:jc/@w:val", "center"},
                        {"//w:r/w:t", "页眉 Header"},
                        {"//w:r/w:rPr/w:rFonts/@w:ascii", "宋体"},
                        {"//w:r/w:rPr/w:rFonts/@w:eastAsia", "宋体"},
                        {"//w:r/w:rPr/w:sz/@w:val", "21"},
                        {"count(//w:r/w:rPr/w:b)", "1"}});
    // Run properties in the order the schema gives.
    QCOMPARE(childNames(header->select_node("//w:r/w:rPr").node()),
             QStringList({"w:rFonts", "w:b", "w:bCs", "w:sz", "w:szCs"}));
    // With tracking on, the old alignment is recorded last among the paragraph's properties: rejecting every
    // change puts it back.
    const auto trackedHeader = xmlOf(tracked, "word/header1.xml");
    CHECK_XML(*trackedHeader, {{"count(//w:p)", "2"},
                               {"count(//w:p[1]/w:pPr/w:rPr/w:del)", "1"},
                               {"count(//w:t)", "1"},
                               {"//w:p[1]/w:ins/w:r/w:t", "页眉 Header"},
                               {"//w:p[1]/w:pPr/w:jc/@w:val", "center"},
                               {"//w:p[1]/w:pPr/w:pPrChange/w:pPr/w:jc/@w:val", "right"},
                               {"count(//w:p[1]/w:pPr/w:pPrChange/w:pPr/w:rPr)", "0"},
                               {"//w:p[1]/w:pPr/w:pPrChange/@w:author", "砚禾办公助手"},
                               {"name(//w:p[1]/w:pPr/*[last()])", "w:pPrChange"}});
    QCOMPARE(resolvedText(trackedHeader->document_element(), true), QString("页眉 Header"));
    QCOMPARE(resolvedText(trackedHeader->document_element(), false), QString("Head AHead B"));

    CHECK_XML(*xmlOf(path, "[Content_Types].xml"),
              {{"//*[@PartName='/word/footer1.xml']/@ContentType",
                "application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml"}});
    const auto rels = xmlOf(path, "word/_rels/document.xml.rels");
    const QString id =
        QString::fromUtf8(rels->select_node("//Relationship[@Target='footer1.xml']/@Id").attribute().value());
    QVERIFY(!id.isEmpty());
    // References lead the section's properties.
    CHECK_XML(*xmlOf(path, "word/document.xml"),
              {{"//w:body/w:sectPr/w:footerReference[@w:type='default']/@r:id", id},
               {"name(//w:body/w:sectPr/*[1])", "w:footerReference"}});

    const auto footer = xmlOf(path, "word/footer1.xml");
    QString line;
    pugi::xpath_node_set marks = footer->select_nodes("//w:r/w:t|//w:r/w:instrText|//w:r/w:fldChar");
    marks.sort();
    for (const pugi::xpath_node& node : marks)
        line += node.node().text().get() + QString(node.node().attribute("w:fldCharType").value());
    QCOMPARE(line, QString("第begin PAGE separate1end页"));
    CHECK_XML(*footer, {{"name(/*)", "w:ftr"},
                        {"//w:p/w:pPr/w:jc/@w:val", "both"},
                        {"count(//w:r/w:rPr/w:rFonts[@w:hAnsi='Arial'])", "7"}});
}

void TestOoxml::saveWritesOnlyWhatChanged()
{
    // Written as other programs write: line breaks, single quotes, blanks in tags, entities, a comment.
    const QByteArray head = "<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\r\n<w:document" +
                            kWordNamespaces +
                            "\r\n   xmlns:w14='http://schemas.microsoft.com/office/word/2010/wordml' >\r\n"
                            "<w:body>\r\n<!-- kept -->\r\n<w:p w:rsidR='00A1' ><w:pPr ></w:pPr><w:r><w:t>"
                            "&quot;keep&quot; &apos;it&apos; &#x41;</w:t></w:r></w:p>\r\n";
    const QByteArray tail = "\r\n<w:p></w:p><w:p/>\r\n<w:sectPr w:rsidR=\"00A1\" ><w:headerReference "
                            "w:type=\"default\" r:id=\"header1\"/><w:pgSz w:w='11906' w:h=\"16838\"></w:pgSz>"
                            "</w:sectPr>\r\n</w:body>\r\n</w:document>\r\n";
    const QString path = file("bytes.docx");
    ZipFiles::writePackage(
        path, {{"word/document.xml", head +
                                         "<w:p w:rsidR='00A1'><w:r><w:t xml:space=\"preserve\">the OLD "
                                         "&amp; &#x41; word</w:t></w:r></w:p>" +
                                         tail},
               {"word/header1.xml", "<w:hdr" + kWordNamespaces + ">" + paragraph("header OLD") + "</w:hdr>",
                "header", "header1"}});
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    const QFile::Permissions permissions = QFile::permissions(path);
    const QStringList names = ZipFiles::names(path);
    const QMap<QString, QByteArray> was = ZipFiles::read(path);
    word::ApplicationPtr word = ooxml::createWordProcessor();
    word::DocumentPtr document = word->documentsOpen(path);
    document->sections().at(0)->headers(1)->range()->replaceAll("absent", "x");
    // Everything around the paragraph that held the word, and the searched header, keep their bytes.
    document->content()->replaceAll("old", "NEW");
    document->save();
    const QMap<QString, QByteArray> now = ZipFiles::read(path);
    const QByteArray xml = now.value("word/document.xml");
    QVERIFY2(xml.startsWith(head), xml.constData());
    QVERIFY2(xml.endsWith(tail), xml.constData());
    const QByteArray middle = xml.mid(head.size(), xml.size() - head.size() - tail.size());
    QVERIFY2(middle.startsWith("<w:p w:rsidR='00A1'>") && middle.contains("the NEW &amp; A word"),
             middle.constData());
    QCOMPARE(now.value("word/header1.xml"), was.value("word/header1.xml"));
    QCOMPARE(ZipFiles::names(path), names);
    QCOMPARE(QFile::permissions(path), permissions);
    // The new package was written beside the file and renamed over it: nothing else is left there.
    QCOMPARE(QDir(m_dir.path()).entryList({"*bytes*"}, QDir::Files | QDir::Hidden),
             QStringList({"bytes.docx"}));
    // A document saved stays open: it is read again for what comes next.
    document->content()->replaceAll("new", "newer");
    document->save();
    QVERIFY(ZipFiles::read(path).value("word/document.xml").contains("the newer &amp; A word"));
    word->quit();
}

void TestOoxml::workbookReplace()
{
    const QString path = file("book.xlsx");
    writeXlsx(
        path,
        {{"First",
          "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c></row>"
          "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>inline hello</t></is></c><c "
          "r=\"B2\"><v>12345</v></c>"
          "<c r=\"C2\" s=\"1\"><v>45123</v></c><c r=\"D2\" s=\"2\"><v>45123</v></c><c r=\"E2\" "
          "t=\"b\"><v>1</v>"
          "</c></row>",
          "<hyperlinks><hyperlink ref=\"A1\" r:id=\"rIdLink\"/></hyperlinks>"},
         {"Chart", {}, {}, true},
         // Written as other programs write: single quotes, a stale span, an empty value.
         {"Second",
          "<row r=\"1\" spans=\"1:1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r='B1' t=\"s\"><v>2</v></c>"
          "<c r='C1'><f>A1&amp;&quot;x&quot;</f><v></v></c></row>",
          "<pageMargins left=\"0.7\" right='0.7'></pageMargins>"}},
        // One plain string held by both worksheets, one in rich text, one no replacement touches.
        "<si><t>Hello World</t></si><si><r><rPr><b/></rPr><t>Hel</t></r><r><rPr><i/></rPr><t>lo rich</t></r>"
        "<rPh sb=\"0\" eb=\"1\"><t>ハロ</t></rPh></si><si><t>same &quot;text&quot;</t></si>");
    const QByteArray second = ZipFiles::read(path).value("xl/worksheets/sheet3.xml");
    editWorkbook(path, [](sheet::Workbook& book) {
        QCOMPARE(book.worksheetsCount(), 2);
        book.sheetsActivate(2); // the chart sheet is a sheet, not a worksheet
        QVERIFY_THROWS_EXCEPTION(RuntimeError, book.sheetsActivate(4));
        QVERIFY_THROWS_EXCEPTION(RuntimeError, book.worksheets(3));
        const sheet::WorksheetPtr one = book.worksheets(1);
        const sheet::WorksheetPtr two = book.worksheets(2);
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
    });
    // The rich text keeps its runs: the replacement in the first matched character's (bold) run.
    CHECK_XML(*xmlOf(path, "xl/sharedStrings.xml"), {{"count(//si)", "4"},
                                                     {"//si[2]/r[1]/t", "Bye"},
                                                     {"count(//si[2]/r[1]/rPr/b)", "1"},
                                                     {"//si[2]/r[2]/t", " rich"}});
    CHECK_XML(*xmlOf(path, "xl/worksheets/sheet1.xml"),
              {{"//c[@r='B2']/v", "195"}, {"count(//hyperlink[@ref='A1'])", "1"}});
    // The second worksheet, replaced in turn, changes the string in place: its old text is gone, the
    // worksheet and the strings not edited keep their bytes.
    editWorkbook(path, [](sheet::Workbook& book) { book.worksheets(2)->cellsReplace("hello", "Bye"); });
    CHECK_XML(*xmlOf(path, "xl/sharedStrings.xml"), {{"count(//si)", "4"}});
    const QMap<QString, QByteArray> parts = ZipFiles::read(path);
    QVERIFY(!parts.value("xl/sharedStrings.xml").contains("Hello"));
    QVERIFY(parts.value("xl/sharedStrings.xml").contains("<si><t>same &quot;text&quot;</t></si>"));
    QCOMPARE(parts.value("xl/worksheets/sheet3.xml"), second);
}

void TestOoxml::workbookFormulas()
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

    // A replace whose result no longer reads as a formula leaves it as it was, shared group and value too.
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

    const QString path = file("formulas.xlsx");
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
    writeXlsx(
        path,
        {{"Sheet1", "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\"><f t=\"shared\" ref=\"B1:B3\" "
                    "si=\"0\">A1*2+$A$1</f><v>3</v></c><c r=\"C1\" t=\"str\"><f>\"price \"&amp;A1</f>"
                    "<v>price 1</v></c></row><row r=\"2\"><c r=\"A2\"><v>2</v></c><c r=\"B2\"><f "
                    "t=\"shared\" si=\"0\"/><v>5</v></c><c r=\"C2\"><f t=\"array\" ref=\"C2\">SUM(A1:A2*2)"
                    "</f><v>6</v></c></row><row r=\"3\"><c r=\"A3\"><v>3</v></c><c r=\"B3\"><f "
                    "t=\"shared\" si=\"0\"/><v>7</v></c></row>"},
         {"Data", data}},
        "<si><t>rate per line</t></si>", {calcChain("<c r=\"B1\" i=\"1\"/><c r=\"G1\" i=\"2\"/>")},
        "<definedNames><definedName name=\"Rate\">Data!$E$1</definedName>"
        "<definedName name=\"Rat\xd1\x8d\">Data!$E$2</definedName></definedNames>");
    editWorkbook(path, [](sheet::Workbook& book) {
        const sheet::WorksheetPtr sheet = book.worksheets(1);
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
        const sheet::WorksheetPtr rates = book.worksheets(2);
        // "e" -> "э": E1 would become a name no one defined; Rate becomes Ratэ, which is defined.
        rates->cellsReplace("e", QString::fromUtf8("\xd1\x8d"));
        QCOMPARE(rates->cell(1, 1), QString::fromUtf8("rat\xd1\x8d p\xd1\x8dr lin\xd1\x8d"));
        QCOMPARE(rates->cell(1, 7), QString("=D1/E1"));
        QCOMPARE(rates->cell(3, 7), QString("=D3/E3"));
        QCOMPARE(rates->cell(4, 8), QString::fromUtf8("=SUM(Rat\xd1\x8d,D4)"));
    });
    // No stale value: computed when opened; the workbook asks for it, its calculation chain goes.
    CHECK_XML(
        *xmlOf(path, "xl/worksheets/sheet1.xml"),
        {{"count(//f[@t='shared'])", "0"}, {"count(//c[@r='B2']/v)", "0"}, {"count(//c[@r='C1'][@t])", "0"}});
    CHECK_XML(*xmlOf(path, "xl/workbook.xml"), {{"//calcPr/@fullCalcOnLoad", "1"},
                                                {"name(//calcPr/preceding-sibling::*[1])", "definedNames"}});
    const QMap<QString, QByteArray> parts = ZipFiles::read(path);
    QVERIFY(!parts.contains("xl/calcChain.xml"));
    QVERIFY(!parts.value("[Content_Types].xml").contains("calcChain"));
    QVERIFY(!parts.value("xl/_rels/workbook.xml.rels").contains("calcChain"));
    CHECK_XML(*xmlOf(path, "xl/worksheets/sheet2.xml"), {{"count(//f[@t='shared'])", "3"},
                                                         {"//c[@r='G2']/f", "D2/E2"},
                                                         {"//c[@r='G3']/v", "6"},
                                                         {"//c[@r='G1']/v", "5"}});
    // A replace that still makes formulas goes through, the shared group split into cells of their own.
    editWorkbook(path, [](sheet::Workbook& book) {
        book.worksheets(2)->cellsReplace("/E", "/F");
        QCOMPARE(book.worksheets(2)->cell(1, 7), QString("=D1/F1"));
        QCOMPARE(book.worksheets(2)->cell(4, 7), QString("=D4/F4"));
    });
    CHECK_XML(*xmlOf(path, "xl/worksheets/sheet2.xml"), {{"count(//f[@t='shared'])", "0"}});
}

void TestOoxml::cellWriting()
{
    const QString path = file("cells.xlsx");
    writeXlsx(
        path,
        {{"S",
          "<row r=\"1\" spans=\"1:2\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c></row>"
          "<row r=\"3\"><c r=\"B3\"><f t=\"array\" ref=\"B3:B4\">A1:A2</f></c></row>",
          "<tableParts count=\"1\"><tablePart r:id=\"rIdTable\"/></tableParts>"},
         {"Locked", {}, "<sheetProtection sheet=\"1\"/>"}},
        "<si><t>Name</t></si><si><t>Size</t></si>",
        {{"xl/worksheets/_rels/sheet1.xml.rels",
          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
          "<Relationship Id=\"rIdTable\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
          "2006/relationships/table\" Target=\"../tables/table1.xml\"/></Relationships>"},
         {"xl/tables/table1.xml",
          "<table" + kSheetNs +
              " id=\"1\" name=\"T\" displayName=\"T\" ref=\"A1:B2\"><tableColumns count=\"2\">"
              "<tableColumn id=\"1\" name=\"Name\"/><tableColumn id=\"2\" "
              "name=\"Size\"/></tableColumns></table>",
          "table"}});
    editWorkbook(path, [](sheet::Workbook& book) {
        const sheet::WorksheetPtr sheet = book.worksheets(1);
        // Each cell written, and what it reads as then.
        const QList<std::tuple<int, int, QString, QString>> cells = {
            {2, 1, "42", "42"},       {2, 3, "=A2*2", "=A2*2"},
            {1, 4, "true", "TRUE"},   {5, 2, "文字", "文字"},
            {1, 2, "Width", "Width"}, // a table's header: its column is renamed with it
            {2, 2, "'007", "007"},    {1, 1, "", ""}};
        for (const auto& [row, column, text, shown] : cells)
            sheet->setCell(row, column, text);
        for (const auto& [row, column, text, shown] : cells)
            QCOMPARE(sheet->cell(row, column), shown);
        QVERIFY_THROWS_EXCEPTION(RuntimeError, sheet->setCell(4, 2, "x")); // part of an array
        QVERIFY_THROWS_EXCEPTION(RuntimeError, sheet->setCell(0, 1, "x"));
        QVERIFY_THROWS_EXCEPTION(RuntimeError, book.worksheets(2)->setCell(1, 1, "x"));
    });

    const auto xml = xmlOf(path, "xl/worksheets/sheet1.xml");
    QStringList written;
    for (const pugi::xpath_node& c : xml->select_nodes("//row/c"))
        written << QString::fromUtf8(c.node().attribute("r").value());
    QCOMPARE(written, QStringList({"A1", "B1", "D1", "A2", "B2", "C2", "B3", "B5"}));
    CHECK_XML(*xml, {{"//row[@r='1']/@spans", "1:4"},
                     {"//c[@r='A2']/v", "42"},
                     {"//c[@r='D1']/@t", "b"},
                     {"count(//c[@r='A1']/v)", "0"}});
    CHECK_XML(*xmlOf(path, "xl/tables/table1.xml"), {{"//tableColumn[@id='2']/@name", "Width"}});
    // The strings no cell holds any more keep no old text.
    const QByteArray strings = ZipFiles::read(path).value("xl/sharedStrings.xml");
    QVERIFY(!strings.contains("Name") && !strings.contains("Size"));
}

void TestOoxml::hostilePackagesRefused()
{
    const auto wordDocument = [](const QByteArray& body) {
        return "<w:document" + kWordNamespaces + "><w:body>" + body + "</w:body></w:document>";
    };
    const QByteArray text = wordDocument(paragraph("text"));
    const QByteArray entity = "<?xml version=\"1.0\"?><!DOCTYPE w:document [<!ENTITY x SYSTEM "
                              "\"file:///etc/passwd\">]>" +
                              wordDocument(paragraph("&x;"));
    const QByteArray deep = QByteArray("<w:p>").repeated(200000) + QByteArray("</w:p>").repeated(200000);
    QByteArray big(100 << 20, 'a');
    for (qsizetype i = 0; i < big.size(); i += 64)
        big[i] = char('a' + (i / 64) % 26 + (i % 7));
    struct Hostile
    {
        QString name;
        bool stored;
        const char* refusal; // a pattern
        QList<ZipFiles::Part> more;
        QByteArray document;
    };
    const QList<Hostile> packages = {
        // A part that expands a thousandfold: refused before it is expanded.
        {"bomb", false, "压缩炸弹", {}, QByteArray(8 << 20, ' ')},
        // A part larger than any document: refused by its size alone.
        {"large", true, "^文件过大", {}, big},
        // A zip that claims a small part (made so below) and holds a large one: read no further.
        {"liar", false, ".", {}, wordDocument(QByteArray(4 << 20, ' '))},
        {"climbing", false, "“\\.\\.”", {{"word/../../etc/passwd", "x"}}, text},
        {"absolute", false, "绝对路径", {{"/etc/passwd", "x"}}, text},
        {"missing", false, "^文件已损坏：缺少部件 word/document\\.xml$", {}, text},
        // An external entity would read a local file; the engine never resolves one.
        {"entity", false, "DTD", {}, entity},
        // Nested deeper than any document: refused before anything walks it.
        {"deep", true, "嵌套过深", {}, wordDocument(deep)},
        {"broken", false, "^文件已损坏", {}, "<w:document><w:body>"}};
    for (const Hostile& package : packages) {
        const QString path = file(package.name + ".docx");
        ZipFiles::writePackage(path,
                               QList<ZipFiles::Part>{{"word/document.xml", package.document}} + package.more,
                               package.stored ? QStringList{"word/document.xml"} : QStringList());
        if (package.name == "bomb")
            QVERIFY(QFileInfo(path).size() < 100000);
        if (package.name == "missing")
            dropEntry(path, "word/document.xml");
        if (package.name == "liar") {
            // The size of word/document.xml in its local header and in the central directory, set to 1000.
            QByteArray zip = bytes(path);
            for (qsizetype at = zip.indexOf("word/document.xml"); at >= 0;
                 at = zip.indexOf("word/document.xml", at + 1)) {
                if (zip.mid(at - 30, 4) == "PK\x03\x04" || zip.mid(at - 46, 4) == "PK\x01\x02")
                    qToLittleEndian<quint32>(1000, zip.data() + at -
                                                       (zip.mid(at - 30, 4) == "PK\x03\x04" ? 8 : 22));
            }
            writeFile(path, zip);
        }
        const QString refusal = failure([&] { ooxml::createWordProcessor()->documentsOpen(path); });
        QVERIFY2(QRegularExpression(package.refusal).match(refusal).hasMatch(),
                 qPrintable(package.name + ": " + refusal));
    }
    // Workbooks too: a sheet the workbook names is missing.
    const QString book = file("missing.xlsx");
    writeXlsx(book, {{"S", {}}}, {});
    dropEntry(book, "xl/worksheets/sheet1.xml");
    sheet::ApplicationPtr excel = ooxml::createSpreadsheet();
    QVERIFY_THROWS_EXCEPTION(RuntimeError, excel->workbooksOpen(book));
}

void TestOoxml::declinedFilesGoElsewhere()
{
    // An encrypted document is a compound file; a document with an embedded one has text outside its own XML.
    const QString encrypted = file("encrypted.docx");
    const QString doc = file("old.doc");
    for (const QString& compound : {encrypted, doc})
        writeFile(compound, QByteArray::fromHex("D0CF11E0A1B11AE1") + QByteArray(4096, '\0'));
    const QString chunk = file("chunk.docx");
    writeDocx(chunk, paragraph("OLD") + "<w:altChunk r:id=\"rIdImage\"/>");
    const QString good = file("good.docx");
    writeDocx(good, paragraph("OLD"));
    // The Strict vocabulary: refused with the reason, never handed to another engine to export anew.
    const QString strict = file("strict.docx");
    ZipFiles::Parts parts;
    QMap<QString, QByteArray> was = ZipFiles::read(good);
    for (auto [name, bytes] : was.asKeyValueRange())
        parts.append(
            {name, bytes
                       .replace("http://schemas.openxmlformats.org/officeDocument/2006/relationships/",
                                "http://purl.oclc.org/ooxml/officeDocument/relationships/")
                       .replace("http://schemas.openxmlformats.org/wordprocessingml/2006/main",
                                "http://purl.oclc.org/ooxml/wordprocessingml/main")});
    ZipFiles::write(strict, parts);
    const Snapshot strictBefore = Snapshot::of(strict);

    QStringList notes;
    FakeOffice fallback;
    for (const QString& path : {encrypted, chunk, doc})
        fallback.documents.insert(path, {});
    word::ApplicationPtr routed =
        ooxml::routedWordProcessor([&] { return fallback.createWordProcessor("Word.Application"); },
                                   [&](const QString& line) { notes << line; });
    for (const QString& path : {encrypted, chunk, doc})
        QVERIFY(routed->documentsOpen(path));
    QVERIFY(routed->documentsOpen(good));
    QCOMPARE(failure([&] { routed->documentsOpen(strict); }), QString("无法直接编辑：Strict OOXML 文档"));
    QVERIFY(Snapshot::of(strict) == strictBefore);
    QCOMPARE(fallback.calls.filter("open "),
             QStringList({"open " + encrypted, "open " + chunk, "open " + doc}));
    QCOMPARE(notes.size(), 2);
    QVERIFY2(notes.at(1).startsWith(chunk + " 交由 LibreOffice 处理："), qPrintable(notes.at(1)));
    // Forced to the lossless engine alone, they fail with the reason.
    word::ApplicationPtr alone = ooxml::routedWordProcessor(nullptr, nullptr);
    QCOMPARE(failure([&] { alone->documentsOpen(chunk); }),
             QString("无法直接编辑：文档含嵌入的子文档（altChunk）"));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, alone->documentsOpen(doc));
}

// Every .docx and .xlsx of the corpus, a word each holds replaced through yanhe-cli: exactly the parts
// holding it change (in a workbook, with those a recalculation asks for), inside them nothing but the
// elements holding it, and every other entry keeps its local and central records byte for byte.
void TestOoxml::corpusChangesOnlyWhatHeldTheWord_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("descriptors");
    const QDir corpus(QStringLiteral(YANHE_CORPUS));
    if (!corpus.exists())
        QSKIP("no corpus beside the project (../shared/corpus)");
    for (const QString& kind : {QStringLiteral("docx"), QStringLiteral("xlsx")}) {
        const QDir folder(corpus.filePath(kind));
        for (const QString& name : folder.entryList({"*." + kind}, QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(name)) << folder.filePath(name) << false;
    }
    QTest::newRow("data descriptors") << corpus.filePath("docx/hdr-header-footer.docx") << true;
}

void TestOoxml::corpusChangesOnlyWhatHeldTheWord()
{
    QFETCH(QString, source);
    QFETCH(bool, descriptors);
    const QString name = QFileInfo(source).fileName();
    const QString folder = file("corpus/" + QString(QTest::currentDataTag()));
    const QString copy = folder + "/" + name;
    QByteArray given = descriptors ? withDescriptors(source) : bytes(source);
    // A zip comment, as some tools write one, goes with the package.
    const qsizetype end = given.lastIndexOf(QByteArray::fromHex("504b0506"));
    const bool commented = end >= 0 && end + 22 == given.size();
    if (commented) {
        qToLittleEndian<quint16>(12, given.data() + end + 20);
        given += "made by hand";
    }
    writeFile(copy, given);

    QMap<QString, QByteArray> before;
    QStringList names;
    try {
        before = ZipFiles::read(copy);
        names = ZipFiles::names(copy);
    } catch (...) {
    }
    QString word = "a";
    if (!before.isEmpty() && (word = chooseWord(before)).isEmpty())
        QSKIP("no word that only text holds");
    const QStringList job = name.endsWith(".docx") ? QStringList{"word-replace", "--scope",
                                                                 "textboxes,headers-footers,header-textboxes"}
                                                   : QStringList{"sheet-replace"};
    QProcessEnvironment lossless;
    lossless.insert("YANHE_ENGINE", "lossless");
    const QString line =
        CliRun::of(job + QStringList{"--old", word, "--new", kNew, copy}, folder + "/app", lossless)
            .out.join('\n');
    const QByteArray result = Snapshot::of(copy).bytes;
    if (before.isEmpty() || line.contains("失败")) {
        // Refused (not a zip but an encrypted document, the Strict vocabulary ...): its bytes kept.
        QVERIFY2(line.contains("失败"), qPrintable(line));
        QCOMPARE(result, given);
        QSKIP(qPrintable("refused, bytes kept: " + line));
    }
    const QMap<QString, QByteArray> after = ZipFiles::read(copy);
    const auto storedBefore = storedEntries(given);
    const auto storedAfter = storedEntries(result);
    QStringList problems;
    if (commented && !result.endsWith("made by hand"))
        problems << "the zip comment was dropped";
    // An entry added or moved shows in the list; one removed is named below.
    names.removeIf([&](const QString& entry) { return !after.contains(entry); });
    if (ZipFiles::names(copy) != names)
        problems << "entries added or in another order: " + ZipFiles::names(copy).join(',');

    QSet<QString> changed;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!after.contains(it.key())) {
            if (!it.key().endsWith("calcChain.xml"))
                problems << it.key() + " removed";
            continue;
        }
        if (after.value(it.key()) != it.value()) {
            changed.insert(it.key());
            continue;
        }
        // Unchanged: stored as it was, local header, data and central record alike.
        if (storedBefore.value(it.key()) != storedAfter.value(it.key()))
            problems << it.key() + ": local or central record differs";
    }
    // A changed formula asks for recalculation: the workbook says so, its calculation chain goes.
    const bool recalculation = !after.contains("xl/calcChain.xml") && before.contains("xl/calcChain.xml");
    for (const QString& part : {QStringLiteral("xl/workbook.xml"), QStringLiteral("[Content_Types].xml"),
                                QStringLiteral("xl/_rels/workbook.xml.rels")}) {
        if (changed.contains(part) &&
            (recalculation || after.value("xl/workbook.xml").contains("fullCalcOnLoad")))
            changed.remove(part);
    }
    QSet<QString> may;
    const QSet<QString> expected = holding(before, word, may);
    if (!changed.contains("xl/sharedStrings.xml"))
        may.clear();
    if (!changed.contains(expected) || !(expected + may).contains(changed))
        problems << "changed " + changed.values().join(',') + ", holding " + expected.values().join(',');

    const QStringList stringsBefore = sharedStrings(before.value("xl/sharedStrings.xml"));
    const QStringList stringsAfter = sharedStrings(after.value("xl/sharedStrings.xml"));
    for (const QString& part : std::as_const(changed)) {
        QString was;
        QString now;
        canonical(*parse(before.value(part)), word, stringsBefore, was);
        canonical(*parse(after.value(part)), kNew, stringsAfter, now);
        const qsizetype i = std::mismatch(was.begin(), was.end(), now.begin(), now.end()).first - was.begin();
        if (was != now)
            problems << part + " differs outside the word: " + was.mid(std::max<qsizetype>(0, i - 60), 160) +
                            " // " + now.mid(std::max<qsizetype>(0, i - 60), 160);
    }
    QVERIFY2(problems.isEmpty(), qPrintable(word + ": " + problems.join("\n")));
}

QTEST_GUILESS_MAIN(TestOoxml)
#include "tst_ooxml.moc"
