#include "WordFile.h"

#include "Refusal.h"
#include "WordVocabulary.h"

#include <QDateTime>
#include <algorithm>
#include <functional>

// Opening and checking the document, the parts it is made of, and where its
// stories are: the body, the sections' headers and footers, the text boxes.
namespace ooxml {

using markup::kRelationshipType;
using markup::localName;
using wordml::in;

namespace {

const markup::DocumentKind kWordDocument = {
    {
        QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"),
        QStringLiteral("application/vnd.ms-word.document.macroEnabled.main+xml"),
        QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml"),
        QStringLiteral("application/vnd.ms-word.template.macroEnabledTemplate.main+xml"),
    },
    QStringLiteral("Strict OOXML 文档"),
    QStringLiteral("没有主文档部件"),
    QStringLiteral("不是 Word 文档（%1）"),
    wordml::kW,
    "http://purl.oclc.org/ooxml/wordprocessingml/main",
    QStringLiteral("WordprocessingML"),
    "",
};

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

} // namespace

// ---------------------------------------------------------------- opening

WordFile::WordFile(QString path, Limits limits)
    : m_package(
          std::move(path), limits, [this](Package& package) { check(package); }, [this] { forget(); })
{
    package();
}

WordFile::~WordFile() = default;

Package& WordFile::package()
{
    return m_package.get();
}

void WordFile::check(Package& package)
{
    m_mainPart = markup::mainPart(package, kWordDocument);
    m_tracking = false;
    m_revisionDate = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8();
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
        const bool headerFooter = relationship.type == kRelationshipType + QStringLiteral("header") ||
                                  relationship.type == kRelationshipType + QStringLiteral("footer");
        if (headerFooter && !package.contains(relationship.target))
            throw refusal::missingPart(relationship.target);
        // With tracking on, every edit is recorded as a tracked change.
        if (relationship.type == kRelationshipType + QStringLiteral("settings") &&
            package.contains(relationship.target)) {
            const Vocabulary& sv = words(relationship.target);
            m_tracking =
                wordml::isOn(part(relationship.target).root().child(sv.name("trackRevisions")), sv.prefix);
        }
    }
}

XmlPart& WordFile::part(const QString& name)
{
    return package().xml(name);
}

const WordFile::Vocabulary& WordFile::words(const QString& name)
{
    return markup::boundNames(m_words, name, kWordDocument, [&]() -> const XmlPart& { return part(name); });
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
            if (v.inW(child) && in(local, {"del", "moveFrom"}))
                continue; // deleted, or moved elsewhere: not on the page
            if (local == "AlternateContent") {
                // The choice and its fallback show one object: their text boxes change alike.
                ShapeNodes shape;
                for (const pugi::xml_node branch : child.children()) {
                    if (in(localName(branch), {"Choice", "Fallback"}))
                        textBoxes(branch, shape.boxes);
                }
                keep(std::move(shape));
                continue;
            }
            // Floating or in line with the text: every text box the page shows.
            if (v.is(child, "drawing") || v.is(child, "pict")) {
                ShapeNodes shape;
                textBoxes(child, shape.boxes);
                keep(std::move(shape));
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

const std::vector<pugi::xml_node>& WordFile::sectionProperties()
{
    if (m_sections)
        return *m_sections;
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
    m_sections = std::move(found);
    return *m_sections;
}

const std::map<QString, QString>& WordFile::mainTargets()
{
    if (!m_mainTargets) {
        std::map<QString, QString> targets;
        for (const Relationship& relationship : package().relationships(m_mainPart)) {
            if (!relationship.external)
                targets.emplace(relationship.id, relationship.target);
        }
        m_mainTargets = std::move(targets);
    }
    return *m_mainTargets;
}

void WordFile::forgetStructure()
{
    m_sections.reset();
    m_mainTargets.reset();
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
        const std::map<QString, QString>& targets = mainTargets();
        const auto target = targets.find(id);
        if (target != targets.end())
            return target->second;
    }
    return {};
}

bool WordFile::differentFirstPage(pugi::xml_node sectPr)
{
    const Vocabulary& v = words(m_mainPart);
    return wordml::isOn(sectPr.child(v.name("titlePg")), v.prefix);
}

Story WordFile::headerFooter(int section, int index, bool header)
{
    static const QStringList types = {QStringLiteral("default"), QStringLiteral("first"),
                                      QStringLiteral("even")};
    if (index < 1 || index > 3)
        throw RuntimeError(RuntimeError::InvalidCall, RuntimeError::nameOf(RuntimeError::InvalidCall),
                           QStringLiteral("header or footer index %1").arg(index));
    const std::vector<pugi::xml_node>& sections = sectionProperties();
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
    const std::vector<pugi::xml_node>& sections = sectionProperties();
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

bool WordFile::save()
{
    return m_package.save();
}

void WordFile::forget()
{
    m_words.clear();
    m_shapes.clear();
    forgetStructure();
    m_nextRevisionId = 0;
}

} // namespace ooxml
