#include "WordFile.h"
#include "WordVocabulary.h"
#include "WorkBound.h"
#include "app/RuntimeError.h"
#include "word/FontNames.h"

#include <algorithm>
#include <functional>

// Typing into a story as the header and footer writer does: text in the
// formatting of the place or a given font, a page number field, a paragraph's
// alignment; a story emptied first, a header or footer made where the section
// has none yet.
namespace ooxml {

using markup::kRelationshipType;
using markup::localName;
using markup::rank;
using markup::setAttribute;

namespace {

// The order of the children of w:pPr and w:rPr, so that what is added stays valid.
const std::initializer_list<std::string_view> kParagraphOrder = {"pStyle",
                                                                 "keepNext",
                                                                 "keepLines",
                                                                 "pageBreakBefore",
                                                                 "framePr",
                                                                 "widowControl",
                                                                 "numPr",
                                                                 "suppressLineNumbers",
                                                                 "pBdr",
                                                                 "shd",
                                                                 "tabs",
                                                                 "suppressAutoHyphens",
                                                                 "kinsoku",
                                                                 "wordWrap",
                                                                 "overflowPunct",
                                                                 "topLinePunct",
                                                                 "autoSpaceDE",
                                                                 "autoSpaceDN",
                                                                 "bidi",
                                                                 "adjustRightInd",
                                                                 "snapToGrid",
                                                                 "spacing",
                                                                 "ind",
                                                                 "contextualSpacing",
                                                                 "mirrorIndents",
                                                                 "suppressOverlap",
                                                                 "jc",
                                                                 "textDirection",
                                                                 "textAlignment",
                                                                 "textboxTightWrap",
                                                                 "outlineLvl",
                                                                 "divId",
                                                                 "cnfStyle",
                                                                 "rPr",
                                                                 "sectPr",
                                                                 "pPrChange"};
const std::initializer_list<std::string_view> kRunOrder = {"rStyle",
                                                           "rFonts",
                                                           "b",
                                                           "bCs",
                                                           "i",
                                                           "iCs",
                                                           "caps",
                                                           "smallCaps",
                                                           "strike",
                                                           "dstrike",
                                                           "outline",
                                                           "shadow",
                                                           "emboss",
                                                           "imprint",
                                                           "noProof",
                                                           "snapToGrid",
                                                           "vanish",
                                                           "webHidden",
                                                           "color",
                                                           "spacing",
                                                           "w",
                                                           "kern",
                                                           "position",
                                                           "sz",
                                                           "szCs",
                                                           "highlight",
                                                           "u",
                                                           "effect",
                                                           "bdr",
                                                           "shd",
                                                           "fitText",
                                                           "vertAlign",
                                                           "rtl",
                                                           "cs",
                                                           "em",
                                                           "lang",
                                                           "eastAsianLayout",
                                                           "specVanish",
                                                           "oMath"};

std::vector<pugi::xml_node> elementChildren(pugi::xml_node node)
{
    std::vector<pugi::xml_node> children;
    for (const pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_element)
            children.push_back(child);
    }
    return children;
}

// The child of parent named name (local name), made in its place by order when missing.
pugi::xml_node ordered(pugi::xml_node parent, const std::string& prefix, std::string_view local,
                       std::initializer_list<std::string_view> order)
{
    const size_t wanted = rank(local, order);
    for (pugi::xml_node child : elementChildren(parent)) {
        const bool ours = wordml::underPrefix(child, prefix);
        if (ours && localName(child) == local)
            return child;
        if (!ours || rank(localName(child), order) > wanted)
            return parent.insert_child_before((prefix + std::string(local)).c_str(), child);
    }
    return parent.append_child((prefix + std::string(local)).c_str());
}

// The cursor's child, with -1 (after the paragraph's properties) made a position.
int resolvedChild(pugi::xml_node paragraph, int child, const std::string& w)
{
    if (child >= 0)
        return child;
    const pugi::xml_node first =
        paragraph.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; });
    return first && std::string_view(first.name()) == w + "pPr" ? 1 : 0;
}

// Writes a simple field out as the runs of a field (begin, instruction,
// separator, its result, end) in its place; the first of them.
pugi::xml_node unwrapSimpleField(const markup::Names& v, pugi::xml_node field)
{
    pugi::xml_node parent = field.parent();
    const auto fieldRun = [&](const char* type) {
        pugi::xml_node run = parent.insert_child_before(v.name("r"), field);
        run.append_child(v.name("fldChar")).append_attribute(v.name("fldCharType")) = type;
        return run;
    };
    const pugi::xml_node first = fieldRun("begin");
    pugi::xml_node instruction =
        parent.insert_child_before(v.name("r"), field).append_child(v.name("instrText"));
    instruction.append_attribute("xml:space") = "preserve";
    instruction.text().set(field.attribute(v.name("instr")).value());
    fieldRun("separate");
    for (pugi::xml_node child = field.first_child(); child;) {
        const pugi::xml_node next = child.next_sibling();
        if (!v.is(child, "fldData"))
            parent.insert_move_before(child, field);
        child = next;
    }
    fieldRun("end");
    parent.remove_child(field);
    return first;
}

} // namespace

// With tracking on, emptying a story records it as Word does: every run of
// text deleted, every paragraph mark but the last deleted, so that accepting
// leaves one empty paragraph and rejecting brings everything back.
void WordFile::clearTracked(const Story& story)
{
    const Vocabulary& v = words(story.part);
    std::function<void(pugi::xml_node)> deleteRuns = [&](pugi::xml_node node) {
        pugi::xml_node deletion;
        for (pugi::xml_node child = node.first_child(); child;) {
            const pugi::xml_node next = child.next_sibling();
            if (v.is(child, "r")) {
                if (v.is(node, "ins") || v.is(node, "moveTo")) {
                    // Someone's insertion: rejecting it removes the text anyway.
                    node.remove_child(child);
                } else {
                    for (pugi::xml_node inner = child.first_child(); inner; inner = inner.next_sibling()) {
                        if (v.is(inner, "t"))
                            inner.set_name(v.name("delText"));
                        else if (v.is(inner, "instrText"))
                            inner.set_name(v.name("delInstrText"));
                    }
                    if (!deletion || deletion.next_sibling() != child)
                        deletion = revision(story.part, child, "del");
                    deletion.append_move(child);
                }
            } else if (v.is(child, "fldSimple")) {
                // A simple field shows its result whatever becomes of its runs:
                // written out as a field of runs, all of which are deleted.
                child = unwrapSimpleField(v, child);
                continue;
            } else if (localName(child) == "oMath" || localName(child) == "oMathPara") {
                if (!deletion || deletion.next_sibling() != child)
                    deletion = revision(story.part, child, "del");
                deletion.append_move(child);
            } else if (v.is(child, "sdt")) {
                deleteRuns(child.child(v.name("sdtContent")));
            } else if (v.inW(child) && wordml::in(localName(child), {"hyperlink", "smartTag", "customXml",
                                                                     "ins", "moveTo", "dir", "bdo"})) {
                deleteRuns(child);
            }
            child = next;
        }
    };
    // A table's rows are deleted as rows, so that accepting removes the table.
    const std::function<void(pugi::xml_node)> deleteRows = [&](pugi::xml_node node) {
        for (const pugi::xml_node child : elementChildren(node)) {
            if (v.is(child, "tr")) {
                pugi::xml_node properties = ordered(child, v.prefix, "trPr", {"tblPrEx", "trPr", "tc"});
                if (!properties.child(v.name("del")))
                    revision(story.part, properties.child(v.name("trPrChange")), "del", properties);
            }
            deleteRows(child);
        }
    };
    for (pugi::xml_node container : containers(story)) {
        deleteRows(container);
        std::vector<pugi::xml_node> found;
        v.collectParagraphs(container, found);
        for (size_t i = 0; i < found.size(); ++i) {
            WorkBound::checkpoint();
            deleteRuns(found[i]);
            if (i + 1 == found.size())
                continue;
            pugi::xml_node properties = found[i].child(v.name("pPr"));
            if (!properties)
                properties = found[i].prepend_child(v.name("pPr"));
            pugi::xml_node mark = ordered(properties, v.prefix, "rPr", kParagraphOrder);
            if (!mark.child(v.name("del"))) {
                // Word reads a mark's changes in the order ins, del, moveFrom,
                // moveTo, before its formatting; another order is a damaged file.
                pugi::xml_node after;
                for (const pugi::xml_node child : elementChildren(mark)) {
                    if (!v.is(child, "ins")) {
                        after = child;
                        break;
                    }
                }
                revision(story.part, after, "del", mark);
            }
        }
    }
    if (story.shape < 0)
        m_shapes.erase(story.part);
    forgetStructure();
    ++m_generation;
    part(story.part).touch();
}

void WordFile::clear(const Story& story)
{
    if (!story.exists())
        return;
    if (m_tracking) {
        clearTracked(story);
        return;
    }
    const Vocabulary& v = words(story.part);
    for (pugi::xml_node container : containers(story)) {
        std::vector<pugi::xml_node> found;
        v.collectParagraphs(container, found);
        pugi::xml_node properties = found.empty() ? pugi::xml_node() : found.back().child(v.name("pPr"));
        // Word keeps the last paragraph mark with its formatting.
        pugi::xml_document keep;
        if (properties)
            keep.append_copy(properties);
        // The body's last section properties are the document's page setup, not content.
        pugi::xml_node last = v.is(container, "body") ? container.child(v.name("sectPr")) : pugi::xml_node();
        for (pugi::xml_node child = container.first_child(); child;) {
            const pugi::xml_node next = child.next_sibling();
            if (child != last)
                container.remove_child(child);
            child = next;
        }
        pugi::xml_node paragraph =
            last ? container.insert_child_before(v.name("p"), last) : container.append_child(v.name("p"));
        if (keep.first_child()) {
            pugi::xml_node copy = paragraph.append_copy(keep.first_child());
            copy.remove_child(v.name("sectPr"));
        }
    }
    if (story.shape < 0)
        m_shapes.erase(story.part);
    forgetStructure();
    ++m_generation;
    part(story.part).touch();
}

Story WordFile::make(const Story& story)
{
    if (story.exists())
        return story;
    Package& package = this->package();
    const QString folder = m_mainPart.left(m_mainPart.lastIndexOf(QLatin1Char('/')) + 1);
    const QString kind = story.header ? QStringLiteral("header") : QStringLiteral("footer");
    const QString name = package.freePartName(folder + kind + QStringLiteral("%1.xml"));

    // The paragraph style Word gives a new header or footer, when the document has it.
    QString style;
    for (const Relationship& relationship : package.relationships(m_mainPart)) {
        if (relationship.type != kRelationshipType + QStringLiteral("styles") || relationship.external ||
            !package.contains(relationship.target))
            continue;
        const Vocabulary& sv = words(relationship.target);
        const std::string wanted = story.header ? "Header" : "Footer";
        for (const pugi::xml_node node : part(relationship.target).root().children(sv.name("style"))) {
            if (wanted == node.attribute(sv.name("styleId")).value())
                style = QString::fromStdString(wanted);
        }
    }
    const QByteArray root = story.header ? "w:hdr" : "w:ftr";
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<" + root +
                     " xmlns:w=\"" + wordml::kW + "\" xmlns:r=\"" + markup::kRelationshipsNs + "\"><w:p>";
    if (!style.isEmpty())
        xml += "<w:pPr><w:pStyle w:val=\"" + style.toLatin1() + "\"/></w:pPr>";
    xml += "</w:p></" + root + '>';
    package.addPart(
        name,
        QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.%1+xml").arg(kind),
        XmlPart::parse(name, xml));
    const QString id = package.addRelationship(m_mainPart, kRelationshipType + kind, name);
    forgetStructure();

    XmlPart& main = part(m_mainPart);
    if (words(m_mainPart).r.empty()) {
        std::string bound;
        if (!main.prefixOf(markup::kRelationshipsNs, bound))
            main.root().append_attribute("xmlns:r") = markup::kRelationshipsNs;
        m_words.erase(m_mainPart);
    }
    const Vocabulary& v = words(m_mainPart);
    std::vector<pugi::xml_node> sections = sectionProperties();
    pugi::xml_node sectPr;
    if (story.section >= 0 && size_t(story.section) < sections.size())
        sectPr = sections[size_t(story.section)];
    else
        sectPr = main.root().child(v.name("body")).append_child(v.name("sectPr"));
    // References come first in a section's properties.
    pugi::xml_node reference =
        sectPr.prepend_child(v.name(story.header ? "headerReference" : "footerReference"));
    reference.append_attribute(v.name("type")) = story.type.toUtf8().constData();
    reference.append_attribute((v.r + "id").c_str()) = id.toUtf8().constData();
    forgetStructure();
    main.touch();

    Story made;
    made.part = name;
    return made;
}

pugi::xml_node WordFile::paragraphAt(Cursor& cursor)
{
    cursor.story = make(cursor.story);
    if (cursor.generation != m_generation) {
        cursor.paragraph = 0;
        cursor.child = -1;
        cursor.generation = m_generation;
    }
    std::vector<pugi::xml_node> found = paragraphs(cursor.story);
    if (found.empty()) {
        std::vector<pugi::xml_node> boxes = containers(cursor.story);
        if (boxes.empty())
            throw RuntimeError(RuntimeError::CommandFailed,
                               RuntimeError::nameOf(RuntimeError::CommandFailed));
        found.push_back(boxes.front().append_child(words(cursor.story.part).name("p")));
        cursor.paragraph = 0;
        cursor.child = -1;
    }
    cursor.paragraph = std::clamp<int>(cursor.paragraph, 0, int(found.size()) - 1);
    return found[size_t(cursor.paragraph)];
}

pugi::xml_node WordFile::newRun(const QString& partName, pugi::xml_node paragraph, int child,
                                const Font& font)
{
    const Vocabulary& v = words(partName);
    const std::vector<pugi::xml_node> children = elementChildren(paragraph);
    // Typed text takes the formatting of the place: the run after the cursor,
    // else the run before it, else the paragraph mark's.
    pugi::xml_node source;
    for (size_t i = size_t(child); i < children.size() && !source; ++i) {
        if (v.is(children[i], "r"))
            source = children[i].child(v.name("rPr"));
    }
    for (int i = child - 1; i >= 0 && !source; --i) {
        if (v.is(children[size_t(i)], "r"))
            source = children[size_t(i)].child(v.name("rPr"));
    }
    if (!source)
        source = paragraph.child(v.name("pPr")).child(v.name("rPr"));

    pugi::xml_node run = size_t(child) < children.size()
                             ? paragraph.insert_child_before(v.name("r"), children[size_t(child)])
                             : paragraph.append_child(v.name("r"));
    pugi::xml_node properties;
    if (source) {
        properties = run.append_copy(source);
        for (const char* drop : {"rPrChange", "ins", "del", "moveFrom", "moveTo"})
            properties.remove_child(v.name(drop));
    }
    // With tracking on, typed text is a recorded insertion.
    if (m_tracking)
        revision(partName, run, "ins").append_move(run);
    if (!font.name && !font.points && !font.bold)
        return run;
    if (!properties)
        properties = run.append_child(v.name("rPr"));
    if (font.name) {
        pugi::xml_node fonts = ordered(properties, v.prefix, "rFonts", kRunOrder);
        // Word's Font.Name serves Latin text, and East Asian text too when it names
        // an East Asian font; theme fonts would win over it.
        const bool eastAsian = word::isEastAsianFontName(*font.name);
        for (const char* theme : {"asciiTheme", "hAnsiTheme", "eastAsiaTheme", "cstheme"}) {
            if (eastAsian || qstrcmp(theme, "eastAsiaTheme") != 0)
                fonts.remove_attribute(v.name(theme));
        }
        const QByteArray name = font.name->toUtf8();
        for (const char* script : {"ascii", "hAnsi", "eastAsia", "cs"}) {
            if (eastAsian || qstrcmp(script, "eastAsia") != 0)
                setAttribute(fonts, v.name(script), name.constData());
        }
    }
    if (font.points) {
        const QByteArray halfPoints = QByteArray::number(qRound(*font.points * 2));
        setAttribute(ordered(properties, v.prefix, "sz", kRunOrder), v.name("val"), halfPoints.constData());
        setAttribute(ordered(properties, v.prefix, "szCs", kRunOrder), v.name("val"), halfPoints.constData());
    }
    if (font.bold) {
        for (const char* toggle : {"b", "bCs"}) {
            pugi::xml_node node = ordered(properties, v.prefix, toggle, kRunOrder);
            node.remove_attribute(v.name("val"));
            if (!*font.bold)
                node.append_attribute(v.name("val")) = "0";
        }
    }
    return run;
}

void WordFile::typeText(Cursor& cursor, const QString& text, const Font& font)
{
    if (text.isEmpty())
        return;
    pugi::xml_node paragraph = paragraphAt(cursor);
    const Vocabulary& v = words(cursor.story.part);
    cursor.child = resolvedChild(paragraph, cursor.child, v.prefix);
    pugi::xml_node run = newRun(cursor.story.part, paragraph, cursor.child, font);
    setElementText(run.append_child(v.name("t")), text);
    ++cursor.child;
    part(cursor.story.part).touch();
}

void WordFile::addPageField(Cursor& cursor, const Font& font)
{
    pugi::xml_node paragraph = paragraphAt(cursor);
    const Vocabulary& v = words(cursor.story.part);
    cursor.child = resolvedChild(paragraph, cursor.child, v.prefix);
    // A field Word and LibreOffice evaluate per page: begin, code, separator, last result, end.
    std::vector<pugi::xml_node> runs;
    const auto mark = [&](const char* type) {
        pugi::xml_node run = newRun(cursor.story.part, paragraph, cursor.child + int(runs.size()), font);
        run.append_child(v.name("fldChar")).append_attribute(v.name("fldCharType")) = type;
        runs.push_back(run);
    };
    mark("begin");
    pugi::xml_node code = newRun(cursor.story.part, paragraph, cursor.child + int(runs.size()), font);
    setElementText(code.append_child(v.name("instrText")), QStringLiteral(" PAGE "));
    runs.push_back(code);
    mark("separate");
    pugi::xml_node result = newRun(cursor.story.part, paragraph, cursor.child + int(runs.size()), font);
    setElementText(result.append_child(v.name("t")), QStringLiteral("1"));
    runs.push_back(result);
    mark("end");
    cursor.child += int(runs.size());
    part(cursor.story.part).touch();
}

void WordFile::align(Cursor& cursor, int alignment)
{
    static const char* const values[] = {"left", "center", "right", "both"};
    if (alignment < 0 || alignment > 3)
        throw RuntimeError(RuntimeError::InvalidCall, RuntimeError::nameOf(RuntimeError::InvalidCall),
                           QStringLiteral("alignment %1").arg(alignment));
    pugi::xml_node paragraph = paragraphAt(cursor);
    const Vocabulary& v = words(cursor.story.part);
    cursor.child = resolvedChild(paragraph, cursor.child, v.prefix);
    pugi::xml_node properties = paragraph.child(v.name("pPr"));
    if (!properties) {
        properties = paragraph.prepend_child(v.name("pPr"));
        ++cursor.child;
    }
    const pugi::xml_node current = properties.child(v.name("jc"));
    if (current && std::string_view(current.attribute(v.name("val")).value()) == values[alignment])
        return;
    if (m_tracking && !properties.child(v.name("pPrChange"))) {
        // The paragraph's properties as they were, so that rejecting the
        // change brings the old alignment back. An earlier change already
        // holds the oldest ones.
        pugi::xml_node change = revision(cursor.story.part, {}, "pPrChange", properties);
        pugi::xml_node old = change.append_child(v.name("pPr"));
        for (const pugi::xml_node child : elementChildren(properties)) {
            if (!(v.is(child, "rPr") || v.is(child, "sectPr") || v.is(child, "pPrChange")))
                old.append_copy(child);
        }
    }
    setAttribute(ordered(properties, v.prefix, "jc", kParagraphOrder), v.name("val"), values[alignment]);
    part(cursor.story.part).touch();
}

} // namespace ooxml
