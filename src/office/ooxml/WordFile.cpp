#include "WordFile.h"

#include "Refusal.h"
#include "TextRuns.h"
#include "word/FontNames.h"

#include <QSet>
#include <algorithm>
#include <cmath>
#include <functional>
#include <string_view>

namespace ooxml {

namespace {

const char kW[] = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
const char kStrictW[] = "http://purl.oclc.org/ooxml/wordprocessingml/main";
const char kR[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const QString kRelationships =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/");
const QString kOfficeDocument = kRelationships + QStringLiteral("officeDocument");
const QString kStrictOfficeDocument =
    QStringLiteral("http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument");

const QStringList kMainTypes = {
    QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"),
    QStringLiteral("application/vnd.ms-word.document.macroEnabled.main+xml"),
    QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml"),
    QStringLiteral("application/vnd.ms-word.template.macroEnabledTemplate.main+xml"),
};

std::string_view localName(pugi::xml_node node)
{
    const std::string_view name = node.name();
    const size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool in(std::string_view name, std::initializer_list<std::string_view> names)
{
    for (const std::string_view candidate : names) {
        if (name == candidate)
            return true;
    }
    return false;
}

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

size_t rank(std::string_view name, std::initializer_list<std::string_view> order)
{
    size_t i = 0;
    for (const std::string_view candidate : order) {
        if (candidate == name)
            return i;
        ++i;
    }
    return order.size();
}

bool isOn(pugi::xml_node toggle, const std::string& w)
{
    if (!toggle)
        return false;
    const std::string_view value = toggle.attribute((w + "val").c_str()).value();
    return !in(value, {"0", "false", "off"});
}

} // namespace

struct WordFile::Vocabulary
{
    std::string w; // the WordprocessingML prefix with its colon ("w:")
    std::string r;
    RunNames runs;

    // The qualified name, kept for as long as the vocabulary: loops over children hold on to it.
    const char* name(const char* local) const
    {
        auto it = qualified.find(local);
        if (it == qualified.end())
            it = qualified.emplace(local, w + local).first;
        return it->second.c_str();
    }
    mutable std::map<std::string, std::string, std::less<>> qualified;
    bool is(pugi::xml_node node, std::string_view local) const
    {
        const std::string_view name = node.name();
        return name.size() == w.size() + local.size() && name.substr(0, w.size()) == w &&
               name.substr(w.size()) == local;
    }
    bool inW(pugi::xml_node node) const
    {
        const std::string_view name = node.name();
        return name.substr(0, w.size()) == w && name.find(':', w.size()) == std::string_view::npos &&
               (w.empty() ? name.find(':') == std::string_view::npos : true);
    }

    // The pieces of a run: its text, and breaks where a search must not cross.
    void collectRun(pugi::xml_node run, std::vector<Piece>& pieces) const
    {
        for (const pugi::xml_node child : run.children()) {
            if (child.type() != pugi::node_element)
                continue;
            if (is(child, "t")) {
                pieces.push_back({child, elementText(child)});
                continue;
            }
            const std::string_view local = localName(child);
            // Formatting, a field's code and layout marks are not text.
            if (inW(child) &&
                in(local, {"rPr", "instrText", "delInstrText", "lastRenderedPageBreak", "delText"}))
                continue;
            Piece stop;
            if (inW(child) && local == "tab")
                stop.text = QStringLiteral("\t");
            else if (inW(child) && in(local, {"br", "cr"}))
                stop.text = QStringLiteral("\n");
            pieces.push_back(stop);
        }
    }

    // The pieces of a paragraph (or of a container inside one: a hyperlink, a
    // content control, an insertion). Deleted text is skipped; bookmarks and
    // other marks are transparent.
    void collectInline(pugi::xml_node node, std::vector<Piece>& pieces) const
    {
        for (const pugi::xml_node child : node.children()) {
            if (child.type() != pugi::node_element)
                continue;
            const std::string_view local = localName(child);
            if (!inW(child)) {
                if (in(local, {"AlternateContent", "oMath", "oMathPara"}))
                    pieces.push_back({});
                continue;
            }
            if (local == "r")
                collectRun(child, pieces);
            else if (in(local,
                        {"hyperlink", "smartTag", "customXml", "ins", "moveTo", "fldSimple", "dir", "bdo"}))
                collectInline(child, pieces);
            else if (local == "sdt") {
                if (const pugi::xml_node content = child.child(name("sdtContent")))
                    collectInline(content, pieces);
            }
        }
    }

    // The paragraphs of a story, tables and content controls included; text
    // boxes are stories of their own, and a fallback repeats what its choice holds.
    void collectParagraphs(pugi::xml_node node, std::vector<pugi::xml_node>& out) const
    {
        for (const pugi::xml_node child : node.children()) {
            if (child.type() != pugi::node_element)
                continue;
            if (is(child, "p")) {
                out.push_back(child);
                continue;
            }
            const std::string_view local = localName(child);
            if (in(local, {"txbxContent", "Fallback"}) || local.ends_with("Pr"))
                continue;
            collectParagraphs(child, out);
        }
    }
};

namespace {

// Text boxes under node, not those nested in another text box.
void textBoxes(pugi::xml_node node, std::vector<pugi::xml_node>& out)
{
    for (const pugi::xml_node child : node.children()) {
        if (child.type() != pugi::node_element)
            continue;
        if (localName(child) == "txbxContent")
            out.push_back(child);
        else
            textBoxes(child, out);
    }
}

bool hasDescendant(pugi::xml_node node, std::string_view local)
{
    for (const pugi::xml_node child : node.children()) {
        if (child.type() != pugi::node_element || localName(child) == "txbxContent")
            continue;
        if (localName(child) == local || hasDescendant(child, local))
            return true;
    }
    return false;
}

// A VML shape laid out on the page rather than in the line.
bool floatingVml(pugi::xml_node pict)
{
    for (const pugi::xml_node child : pict.children()) {
        if (child.type() == pugi::node_element &&
            std::string_view(child.attribute("style").value()).find("position:absolute") !=
                std::string_view::npos)
            return true;
    }
    return false;
}

} // namespace

// ---------------------------------------------------------------- opening

WordFile::WordFile(QString path, Limits limits)
    : m_path(std::move(path))
    , m_limits(limits)
{
    package();
}

WordFile::~WordFile() = default;

Package& WordFile::package()
{
    if (!m_package) {
        m_package = std::make_unique<Package>(m_path, m_limits);
        try {
            check();
        } catch (...) {
            m_package.reset();
            m_words.clear();
            throw;
        }
    }
    return *m_package;
}

void WordFile::check()
{
    Package& package = *m_package;
    if (!package.contains(QStringLiteral("[Content_Types].xml")))
        throw refusal::missingPart(QStringLiteral("[Content_Types].xml"));
    if (!package.contains(QStringLiteral("_rels/.rels")))
        throw refusal::missingPart(QStringLiteral("_rels/.rels"));
    m_mainPart.clear();
    for (const Relationship& relationship : package.relationships(QString())) {
        if (relationship.type == kStrictOfficeDocument)
            throw Declined(QStringLiteral("Strict OOXML 文档"));
        if (relationship.type == kOfficeDocument && !relationship.external)
            m_mainPart = relationship.target;
    }
    if (m_mainPart.isEmpty())
        throw refusal::damaged(QStringLiteral("没有主文档部件"));
    if (!package.contains(m_mainPart))
        throw refusal::missingPart(m_mainPart);
    if (!kMainTypes.contains(package.contentType(m_mainPart)))
        throw Declined(QStringLiteral("不是 Word 文档（%1）").arg(package.contentType(m_mainPart)));
    const Vocabulary& v = words(m_mainPart);
    const pugi::xml_node body = part(m_mainPart).root().child(v.name("body"));
    if (!body)
        throw refusal::damaged(QStringLiteral("文档没有正文"));
    // Text that lives outside this package's XML would be missed.
    for (const char* foreign : {"altChunk", "subDoc"}) {
        if (body.find_node([&](pugi::xml_node node) { return v.is(node, foreign); }))
            throw Declined(QStringLiteral("文档含嵌入的子文档（%1）").arg(QLatin1String(foreign)));
    }
    for (const Relationship& relationship : package.relationships(m_mainPart)) {
        if (relationship.external)
            continue;
        const bool headerFooter = relationship.type == kRelationships + QStringLiteral("header") ||
                                  relationship.type == kRelationships + QStringLiteral("footer");
        if (headerFooter && !package.contains(relationship.target))
            throw refusal::missingPart(relationship.target);
        // Word would record each replacement as a tracked change.
        if (relationship.type == kRelationships + QStringLiteral("settings") &&
            package.contains(relationship.target)) {
            const Vocabulary& sv = words(relationship.target);
            if (isOn(part(relationship.target).root().child(sv.name("trackRevisions")), sv.w))
                throw Declined(QStringLiteral("文档开着修订跟踪"));
        }
    }
}

XmlPart& WordFile::part(const QString& name)
{
    return package().xml(name);
}

const WordFile::Vocabulary& WordFile::words(const QString& name)
{
    const auto it = m_words.find(name);
    if (it != m_words.end())
        return *it->second;
    const XmlPart& xml = part(name);
    auto v = std::make_unique<Vocabulary>();
    std::string prefix;
    if (!xml.prefixOf(kW, prefix)) {
        if (xml.prefixOf(kStrictW, prefix))
            throw Declined(QStringLiteral("Strict OOXML 文档"));
        throw Declined(QStringLiteral("%1 不是 WordprocessingML").arg(name));
    }
    v->w = prefix.empty() ? prefix : prefix + ':';
    v->r = xml.prefixOf(kR, prefix) && !prefix.empty() ? prefix + ':' : std::string();
    v->runs = {v->name("t"), v->name("r"), v->name("rPr")};
    return *m_words.emplace(name, std::move(v)).first->second;
}

// ---------------------------------------------------------------- stories

Story WordFile::body()
{
    package();
    Story story;
    story.part = m_mainPart;
    return story;
}

const std::vector<WordFile::ShapeNodes>& WordFile::shapesOf(const QString& name)
{
    const auto cached = m_shapes.find(name);
    if (cached != m_shapes.end())
        return cached->second;
    const Vocabulary& v = words(name);
    std::vector<ShapeNodes> shapes;
    // Only shapes that carry text are the jobs' shapes: a picture or a line has
    // nothing to replace.
    const auto keep = [&shapes](ShapeNodes&& shape) {
        if (!shape.boxes.empty())
            shapes.push_back(std::move(shape));
    };
    const std::function<void(pugi::xml_node)> walk = [&](pugi::xml_node node) {
        for (const pugi::xml_node child : node.children()) {
            if (child.type() != pugi::node_element)
                continue;
            const std::string_view local = localName(child);
            if (local == "txbxContent")
                continue; // shapes in a text box belong to its story
            if (local == "AlternateContent") {
                const pugi::xml_node choice =
                    child.find_child([](pugi::xml_node n) { return localName(n) == "Choice"; });
                const pugi::xml_node fallback =
                    child.find_child([](pugi::xml_node n) { return localName(n) == "Fallback"; });
                const pugi::xml_node pict =
                    choice.find_child([&](pugi::xml_node n) { return v.is(n, "pict"); });
                if (hasDescendant(choice, "anchor") || (pict && floatingVml(pict))) {
                    ShapeNodes shape;
                    textBoxes(choice, shape.boxes);
                    textBoxes(fallback, shape.boxes);
                    keep(std::move(shape));
                }
                continue;
            }
            if (v.is(child, "drawing")) {
                if (hasDescendant(child, "anchor")) {
                    ShapeNodes shape;
                    textBoxes(child, shape.boxes);
                    keep(std::move(shape));
                }
                continue;
            }
            if (v.is(child, "pict")) {
                if (floatingVml(child)) {
                    ShapeNodes shape;
                    textBoxes(child, shape.boxes);
                    keep(std::move(shape));
                }
                continue;
            }
            walk(child);
        }
    };
    walk(part(name).root());
    return m_shapes.emplace(name, std::move(shapes)).first->second;
}

int WordFile::shapeCount(const QString& name)
{
    return int(shapesOf(name).size());
}

Story WordFile::shape(const QString& name, int index)
{
    if (index < 0 || index >= shapeCount(name))
        throw RuntimeError(RuntimeError::SubscriptOutOfRange,
                           RuntimeError::nameOf(RuntimeError::SubscriptOutOfRange));
    Story story;
    story.part = name;
    story.shape = index;
    return story;
}

std::vector<pugi::xml_node> WordFile::sectionProperties()
{
    const Vocabulary& v = words(m_mainPart);
    const pugi::xml_node body = part(m_mainPart).root().child(v.name("body"));
    std::vector<pugi::xml_node> found;
    const std::function<void(pugi::xml_node)> walk = [&](pugi::xml_node node) {
        for (const pugi::xml_node child : node.children()) {
            if (v.is(child, "p")) {
                if (const pugi::xml_node properties = child.child(v.name("pPr")).child(v.name("sectPr")))
                    found.push_back(properties);
            } else if (v.is(child, "sdt")) {
                walk(child.child(v.name("sdtContent")));
            } else if (v.is(child, "customXml")) {
                walk(child);
            }
        }
    };
    walk(body);
    if (const pugi::xml_node last = body.child(v.name("sectPr")))
        found.push_back(last);
    return found;
}

int WordFile::sectionCount()
{
    return std::max<int>(1, int(sectionProperties().size()));
}

QString WordFile::referencedPart(pugi::xml_node sectPr, const QString& type, bool header)
{
    const Vocabulary& v = words(m_mainPart);
    const std::string element = v.name(header ? "headerReference" : "footerReference");
    for (const pugi::xml_node reference : sectPr.children(element.c_str())) {
        QString referenceType = QString::fromUtf8(reference.attribute(v.name("type")).value());
        if (referenceType.isEmpty())
            referenceType = QStringLiteral("default");
        if (referenceType != type)
            continue;
        const QString id = QString::fromUtf8(reference.attribute((v.r + "id").c_str()).value());
        for (const Relationship& relationship : package().relationships(m_mainPart)) {
            if (relationship.id == id && !relationship.external)
                return relationship.target;
        }
    }
    return {};
}

bool WordFile::differentFirstPage(pugi::xml_node sectPr)
{
    const Vocabulary& v = words(m_mainPart);
    return isOn(sectPr.child(v.name("titlePg")), v.w);
}

Story WordFile::headerFooter(int section, int index, bool header)
{
    static const QStringList types = {QStringLiteral("default"), QStringLiteral("first"),
                                      QStringLiteral("even")};
    if (index < 1 || index > 3)
        throw RuntimeError(RuntimeError::InvalidCall, RuntimeError::nameOf(RuntimeError::InvalidCall),
                           QStringLiteral("header or footer index %1").arg(index));
    const std::vector<pugi::xml_node> sections = sectionProperties();
    if (section < 0 || section >= std::max<int>(1, int(sections.size())))
        throw RuntimeError(RuntimeError::SubscriptOutOfRange,
                           RuntimeError::nameOf(RuntimeError::SubscriptOutOfRange));
    Story story;
    story.type = types.at(index - 1);
    story.header = header;
    story.section = section;
    // A section without one of its own shows the one of the section before.
    for (int k = std::min<int>(section, int(sections.size()) - 1); k >= 0; --k) {
        story.part = referencedPart(sections[size_t(k)], story.type, header);
        if (!story.part.isEmpty())
            return story;
    }
    return story;
}

Story WordFile::firstPageHeaderFooter(bool header)
{
    const std::vector<pugi::xml_node> sections = sectionProperties();
    const bool first = !sections.empty() && differentFirstPage(sections.front());
    return headerFooter(0, first ? 2 : 1, header);
}

std::vector<pugi::xml_node> WordFile::containers(const Story& story)
{
    if (!story.exists())
        return {};
    if (story.shape >= 0) {
        const std::vector<ShapeNodes>& shapes = shapesOf(story.part);
        if (size_t(story.shape) >= shapes.size())
            throw RuntimeError(RuntimeError::SubscriptOutOfRange,
                               RuntimeError::nameOf(RuntimeError::SubscriptOutOfRange));
        return shapes[size_t(story.shape)].boxes;
    }
    if (story.part == m_mainPart)
        return {part(m_mainPart).root().child(words(m_mainPart).name("body"))};
    return {part(story.part).root()};
}

std::vector<pugi::xml_node> WordFile::paragraphs(const Story& story)
{
    std::vector<pugi::xml_node> found;
    const std::vector<pugi::xml_node> boxes = containers(story);
    if (!boxes.empty())
        words(story.part).collectParagraphs(boxes.front(), found);
    return found;
}

bool WordFile::find(const Story& story, const QString& text)
{
    if (text.isEmpty() || !story.exists())
        return false;
    const Vocabulary& v = words(story.part);
    for (const pugi::xml_node container : containers(story)) {
        std::vector<pugi::xml_node> found;
        v.collectParagraphs(container, found);
        for (const pugi::xml_node paragraph : found) {
            std::vector<Piece> pieces;
            v.collectInline(paragraph, pieces);
            if (contains(pieces, text))
                return true;
        }
    }
    return false;
}

int WordFile::replace(const Story& story, const QString& what, const QString& replacement)
{
    if (what.isEmpty() || !story.exists())
        return 0;
    const Vocabulary& v = words(story.part);
    int replaced = 0;
    for (const pugi::xml_node container : containers(story)) {
        std::vector<pugi::xml_node> found;
        v.collectParagraphs(container, found);
        for (const pugi::xml_node paragraph : found) {
            std::vector<Piece> pieces;
            v.collectInline(paragraph, pieces);
            replaced += replaceAll(pieces, what, replacement, v.runs);
        }
    }
    if (replaced > 0)
        part(story.part).touch();
    return replaced;
}

void WordFile::clear(const Story& story)
{
    if (!story.exists())
        return;
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
    ++m_generation;
    part(story.part).touch();
}

QString WordFile::text(const Story& story)
{
    if (!story.exists())
        return {};
    const Vocabulary& v = words(story.part);
    QStringList lines;
    for (const pugi::xml_node paragraph : paragraphs(story)) {
        std::vector<Piece> pieces;
        v.collectInline(paragraph, pieces);
        QString line;
        for (const Piece& piece : pieces)
            line += piece.text;
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

// ---------------------------------------------------------------- typing

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
        if (relationship.type != kRelationships + QStringLiteral("styles") || relationship.external ||
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
                     " xmlns:w=\"" + kW + "\" xmlns:r=\"" + kR + "\"><w:p>";
    if (!style.isEmpty())
        xml += "<w:pPr><w:pStyle w:val=\"" + style.toLatin1() + "\"/></w:pPr>";
    xml += "</w:p></" + root + '>';
    package.addPart(
        name,
        QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.%1+xml").arg(kind),
        XmlPart::parse(name, xml));
    const QString id = package.addRelationship(m_mainPart, kRelationships + kind, name);

    XmlPart& main = part(m_mainPart);
    if (words(m_mainPart).r.empty()) {
        std::string bound;
        if (!main.prefixOf(kR, bound))
            main.root().append_attribute("xmlns:r") = kR;
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

namespace {

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
        const std::string_view name = child.name();
        const bool ours = name.substr(0, prefix.size()) == prefix &&
                          name.find(':', prefix.size()) == std::string_view::npos;
        if (ours && localName(child) == local)
            return child;
        if (!ours || rank(localName(child), order) > wanted)
            return parent.insert_child_before((prefix + std::string(local)).c_str(), child);
    }
    return parent.append_child((prefix + std::string(local)).c_str());
}

void setAttribute(pugi::xml_node node, const std::string& name, const char* value)
{
    pugi::xml_attribute attribute = node.attribute(name.c_str());
    if (!attribute)
        attribute = node.append_attribute(name.c_str());
    attribute = value;
}

} // namespace

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
    if (!font.name && !font.points && !font.bold)
        return run;
    if (!properties)
        properties = run.append_child(v.name("rPr"));
    if (font.name) {
        pugi::xml_node fonts = ordered(properties, v.w, "rFonts", kRunOrder);
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
        setAttribute(ordered(properties, v.w, "sz", kRunOrder), v.name("val"), halfPoints.constData());
        setAttribute(ordered(properties, v.w, "szCs", kRunOrder), v.name("val"), halfPoints.constData());
    }
    if (font.bold) {
        for (const char* toggle : {"b", "bCs"}) {
            pugi::xml_node node = ordered(properties, v.w, toggle, kRunOrder);
            node.remove_attribute(v.name("val"));
            if (!*font.bold)
                node.append_attribute(v.name("val")) = "0";
        }
    }
    return run;
}

namespace {

int resolvedChild(pugi::xml_node paragraph, int child, const std::string& w)
{
    if (child >= 0)
        return child;
    const pugi::xml_node first =
        paragraph.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; });
    return first && std::string_view(first.name()) == w + "pPr" ? 1 : 0;
}

} // namespace

void WordFile::typeText(Cursor& cursor, const QString& text, const Font& font)
{
    if (text.isEmpty())
        return;
    pugi::xml_node paragraph = paragraphAt(cursor);
    const Vocabulary& v = words(cursor.story.part);
    cursor.child = resolvedChild(paragraph, cursor.child, v.w);
    pugi::xml_node run = newRun(cursor.story.part, paragraph, cursor.child, font);
    setElementText(run.append_child(v.name("t")), text);
    ++cursor.child;
    part(cursor.story.part).touch();
}

void WordFile::addPageField(Cursor& cursor, const Font& font)
{
    pugi::xml_node paragraph = paragraphAt(cursor);
    const Vocabulary& v = words(cursor.story.part);
    cursor.child = resolvedChild(paragraph, cursor.child, v.w);
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
    cursor.child = resolvedChild(paragraph, cursor.child, v.w);
    pugi::xml_node properties = paragraph.child(v.name("pPr"));
    if (!properties) {
        properties = paragraph.prepend_child(v.name("pPr"));
        ++cursor.child;
    }
    setAttribute(ordered(properties, v.w, "jc", kParagraphOrder), v.name("val"), values[alignment]);
    part(cursor.story.part).touch();
}

bool WordFile::save()
{
    if (!m_package)
        return false;
    bool wrote = false;
    try {
        wrote = m_package->save();
    } catch (...) {
        m_package.reset();
        m_words.clear();
        m_shapes.clear();
        throw;
    }
    // Kept closed until the next call: many documents stay open until Quit.
    m_package.reset();
    m_words.clear();
    m_shapes.clear();
    return wrote;
}

} // namespace ooxml
