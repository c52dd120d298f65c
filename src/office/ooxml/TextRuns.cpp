#include "TextRuns.h"

namespace ooxml {

namespace {

constexpr QChar kBreak(0xFFFC);

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r');
}

} // namespace

QString foldCase(const QString& text)
{
    QString folded = text;
    QChar* out = folded.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            const char32_t code = QChar::surrogateToUcs4(c, text.at(i + 1));
            const char32_t lower = QChar::toCaseFolded(code);
            if (QChar::requiresSurrogates(lower)) {
                out[i] = QChar(QChar::highSurrogate(lower));
                out[i + 1] = QChar(QChar::lowSurrogate(lower));
            }
            ++i;
            continue;
        }
        const char32_t lower = QChar::toCaseFolded(char32_t(c.unicode()));
        if (!QChar::requiresSurrogates(lower))
            out[i] = QChar(char16_t(lower));
    }
    return folded;
}

std::vector<qsizetype> occurrences(const QString& text, const QString& what)
{
    std::vector<qsizetype> found;
    if (what.isEmpty())
        return found;
    const QString haystack = foldCase(text);
    const QString needle = foldCase(what);
    for (qsizetype at = haystack.indexOf(needle); at >= 0; at = haystack.indexOf(needle, at + needle.size()))
        found.push_back(at);
    return found;
}

QString elementText(pugi::xml_node element)
{
    QString text;
    for (const pugi::xml_node child : element.children()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            text += QString::fromUtf8(child.value());
    }
    return text;
}

void setElementText(pugi::xml_node element, const QString& text)
{
    while (element.first_child())
        element.remove_child(element.first_child());
    element.append_child(pugi::node_pcdata).set_value(text.toUtf8().constData());
    if (!text.isEmpty() && (isBlank(text.front()) || isBlank(text.back())) && !element.attribute("xml:space"))
        element.append_attribute("xml:space") = "preserve";
}

QString joined(const std::vector<Piece>& pieces)
{
    QString text;
    for (const Piece& piece : pieces)
        text += piece.element ? piece.text : QString(kBreak);
    return text;
}

std::vector<qsizetype> pieceStarts(const std::vector<Piece>& pieces)
{
    std::vector<qsizetype> starts;
    starts.reserve(pieces.size());
    qsizetype offset = 0;
    for (const Piece& piece : pieces) {
        starts.push_back(offset);
        offset += piece.element ? piece.text.size() : 1;
    }
    return starts;
}

bool contains(const std::vector<Piece>& pieces, const QString& what)
{
    if (what.isEmpty() || what.contains(kBreak))
        return false;
    return !occurrences(joined(pieces), what).empty();
}

int replaceAll(std::vector<Piece>& pieces, const QString& what, const QString& replacement,
               const RunNames& names)
{
    if (what.isEmpty() || what.contains(kBreak))
        return 0;
    const QString text = joined(pieces);
    const std::vector<qsizetype> found = occurrences(text, what);
    if (found.empty())
        return 0;
    const std::vector<qsizetype> starts = pieceStarts(pieces);
    int replaced = 0;
    // From the last occurrence back: an earlier one's offsets stay as they were.
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
        const qsizetype begin = *it;
        const qsizetype end = begin + what.size();
        if (text.mid(begin, what.size()) == replacement)
            continue;
        size_t first = 0;
        while (first + 1 < pieces.size() && starts[first + 1] <= begin)
            ++first;
        for (size_t i = first; i < pieces.size() && starts[i] < end; ++i) {
            Piece& piece = pieces[i];
            const qsizetype from = starts[i];
            if (i == first) {
                const qsizetype cut = begin - from;
                const QString tail = end - from < piece.text.size() ? piece.text.mid(end - from) : QString();
                piece.text = piece.text.left(cut) + replacement + tail;
            } else {
                piece.text = piece.text.mid(end - from);
            }
            piece.changed = true;
        }
        ++replaced;
    }
    for (Piece& piece : pieces) {
        if (!piece.changed || !piece.element)
            continue;
        if (!piece.text.isEmpty()) {
            setElementText(piece.element, piece.text);
            continue;
        }
        pugi::xml_node run = piece.element.parent();
        run.remove_child(piece.element);
        piece.element = pugi::xml_node();
        if (names.run != run.name())
            continue;
        bool empty = true;
        for (const pugi::xml_node child : run.children()) {
            if (child.type() == pugi::node_element && names.properties != child.name())
                empty = false;
        }
        if (empty)
            run.parent().remove_child(run);
    }
    return replaced;
}

} // namespace ooxml
