#include "WordFile.h"
#include "WordVocabulary.h"
#include "WorkBound.h"

#include <algorithm>
#include <functional>

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
        // Paragraphs deleted or moved away are no longer text.
        if (inW(child) && in(local, {"del", "moveFrom"}))
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
            WorkBound::checkpoint();
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
            WorkBound::checkpoint();
            std::vector<Piece> pieces;
            v.collectInline(paragraph, pieces);
            replaced += m_tracking ? replaceTracked(story.part, pieces, what, replacement)
                                   : replaceAll(pieces, what, replacement, v.runs);
        }
    }
    if (replaced > 0)
        part(story.part).touch();
    return replaced;
}

namespace {

// Who recorded the changes this engine makes.
const char kRevisionAuthor[] = "砚禾办公助手";

// Inside a change that someone else's insertion made: editing there needs no
// record of its own, as rejecting that insertion removes the text anyway.
bool insideInsertion(const markup::Names& v, pugi::xml_node run)
{
    for (pugi::xml_node node = run.parent(); node && !v.is(node, "p"); node = node.parent()) {
        if (v.is(node, "ins") || v.is(node, "moveTo"))
            return true;
    }
    return false;
}

// A new run after `after` (in its parent) with the attributes and properties of run.
pugi::xml_node runLike(pugi::xml_node run, pugi::xml_node after, const char* properties)
{
    pugi::xml_node made = after.parent().insert_child_after(run.name(), after);
    for (const pugi::xml_attribute attribute : run.attributes())
        made.append_copy(attribute);
    if (const pugi::xml_node rPr = run.child(properties))
        made.append_copy(rPr);
    return made;
}

} // namespace

pugi::xml_node WordFile::revision(const QString& partName, pugi::xml_node before, const char* kind,
                                  pugi::xml_node parent)
{
    const Vocabulary& v = words(partName);
    if (m_nextRevisionId == 0) {
        // Ids of tracked changes, comments and bookmarks must not collide across
        // the whole document: one past the largest in every part that holds them.
        long long largest = 0;
        const auto holdsIds = [](const QString& type) {
            static const char* const kinds[] = {".main+xml",      ".header+xml",   ".footer+xml",
                                                ".footnotes+xml", ".endnotes+xml", ".comments+xml"};
            if (!type.contains(QLatin1String("wordprocessingml.")) &&
                !type.contains(QLatin1String("ms-word.")))
                return false;
            return std::any_of(std::begin(kinds), std::end(kinds),
                               [&](const char* ending) { return type.endsWith(QLatin1String(ending)); });
        };
        for (const QString& name : package().partNames()) {
            if (!holdsIds(package().contentType(name)))
                continue;
            const std::string id = words(name).name("id");
            const std::function<void(pugi::xml_node)> walk = [&](pugi::xml_node node) {
                for (const pugi::xml_node child : node.children()) {
                    if (child.type() != pugi::node_element)
                        continue;
                    if (const pugi::xml_attribute attribute = child.attribute(id.c_str()))
                        largest = std::max(largest, attribute.as_llong());
                    walk(child);
                }
            };
            walk(part(name).root());
        }
        m_nextRevisionId = largest + 1;
    }
    if (!parent)
        parent = before.parent();
    pugi::xml_node change =
        before ? parent.insert_child_before(v.name(kind), before) : parent.append_child(v.name(kind));
    change.append_attribute(v.name("id")) = m_nextRevisionId++;
    change.append_attribute(v.name("author")) = kRevisionAuthor;
    change.append_attribute(v.name("date")) = m_revisionDate.constData();
    return change;
}

// Splits off the text [from, to) of a piece into a run of its own right after
// the piece's run, as deleted text; the piece keeps what comes before.
pugi::xml_node WordFile::isolate(const Vocabulary& v, Piece& piece, qsizetype from, qsizetype to)
{
    pugi::xml_node text = piece.element;
    pugi::xml_node run = text.parent();
    const QString whole = piece.text;
    if (to < whole.size() || text.next_sibling()) {
        pugi::xml_node tail = runLike(run, run, v.name("rPr"));
        if (to < whole.size())
            setElementText(tail.append_child(v.name("t")), whole.mid(to));
        while (text.next_sibling())
            tail.append_move(text.next_sibling());
    }
    pugi::xml_node old = runLike(run, run, v.name("rPr"));
    setElementText(old.append_child(v.name("delText")), whole.mid(from, to - from));
    if (from > 0) {
        piece.text = whole.left(from);
        setElementText(text, piece.text);
        return old;
    }
    run.remove_child(text);
    piece.element = pugi::xml_node();
    piece.text.clear();
    bool empty = true;
    for (const pugi::xml_node child : run.children()) {
        if (child.type() == pugi::node_element && !v.is(child, "rPr"))
            empty = false;
    }
    if (empty)
        run.parent().remove_child(run);
    return old;
}

int WordFile::replaceTracked(const QString& partName, std::vector<Piece>& pieces, const QString& what,
                             const QString& replacement)
{
    const Vocabulary& v = words(partName);
    if (what.isEmpty() || what.contains(QChar(0xFFFC)))
        return 0;
    const QString text = joined(pieces);
    const std::vector<qsizetype> found = occurrences(text, what);
    if (found.empty())
        return 0;
    const std::vector<qsizetype> starts = pieceStarts(pieces);
    int replaced = 0;
    // From the last occurrence back: an earlier one's pieces keep their offsets.
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
        const qsizetype begin = *it;
        const qsizetype end = begin + what.size();
        if (text.mid(begin, what.size()) == replacement)
            continue;
        const size_t first =
            size_t(std::upper_bound(starts.begin(), starts.end(), begin) - starts.begin()) - 1;
        size_t last = first;
        while (last + 1 < pieces.size() && starts[last + 1] < end)
            ++last;
        // The old text in runs of its own, in document order.
        std::vector<pugi::xml_node> old;
        for (size_t i = last + 1; i-- > first;) {
            Piece& piece = pieces[i];
            if (!piece.element)
                continue;
            const qsizetype from = std::max(begin, starts[i]) - starts[i];
            const qsizetype to = std::min(end, starts[i] + piece.text.size()) - starts[i];
            if (from >= to)
                continue;
            old.insert(old.begin(), isolate(v, piece, from, to));
        }
        if (old.empty())
            continue;
        // The new text comes right after the old text's first part, so that it
        // stays inside the bookmarks and hyperlinks that held the old text.
        const pugi::xml_node anchor = old.front();
        const bool anchorInserted = insideInsertion(v, anchor);
        pugi::xml_node inserted;
        if (!replacement.isEmpty() && anchorInserted) {
            inserted = runLike(anchor, anchor, v.name("rPr"));
            setElementText(inserted.append_child(v.name("t")), replacement);
        }
        // Consecutive runs of old text go into one deletion.
        pugi::xml_node deletion;
        pugi::xml_node firstDeletion;
        for (const pugi::xml_node run : old) {
            if (insideInsertion(v, run)) {
                // Someone's insertion that held nothing else goes with it: an
                // empty one would still be listed as a change.
                pugi::xml_node holder = run.parent();
                holder.remove_child(run);
                while ((v.is(holder, "ins") || v.is(holder, "moveTo")) &&
                       !holder.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; })) {
                    pugi::xml_node up = holder.parent();
                    up.remove_child(holder);
                    holder = up;
                }
                continue;
            }
            if (!deletion || deletion.next_sibling() != run)
                deletion = revision(partName, run, "del");
            deletion.append_move(run);
            if (!firstDeletion)
                firstDeletion = deletion;
        }
        if (!replacement.isEmpty() && !anchorInserted && firstDeletion) {
            inserted = runLike(firstDeletion.first_child(), firstDeletion, v.name("rPr"));
            setElementText(inserted.append_child(v.name("t")), replacement);
            revision(partName, inserted, "ins").append_move(inserted);
        }
        ++replaced;
    }
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
