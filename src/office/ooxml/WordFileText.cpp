#include "WordFile.h"
#include "WordVocabulary.h"

// A story's text as Word's find and replace see it: one text per paragraph,
// spread across runs.
namespace ooxml {

using markup::localName;
using wordml::in;

void WordFile::Vocabulary::collectRun(pugi::xml_node run, std::vector<Piece>& pieces) const
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
        if (inW(child) && in(local, {"rPr", "instrText", "delInstrText", "lastRenderedPageBreak", "delText"}))
            continue;
        Piece stop;
        if (inW(child) && local == "tab")
            stop.text = QStringLiteral("\t");
        else if (inW(child) && in(local, {"br", "cr"}))
            stop.text = QStringLiteral("\n");
        pieces.push_back(stop);
    }
}

void WordFile::Vocabulary::collectInline(pugi::xml_node node, std::vector<Piece>& pieces) const
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

void WordFile::Vocabulary::collectParagraphs(pugi::xml_node node, std::vector<pugi::xml_node>& out) const
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

} // namespace ooxml
