// How an edited part is written: the bytes it was read from, with only the
// elements that differ from what those bytes hold written anew. Which ones
// differ is found by comparing the edited tree with the bytes parsed again, so
// the editors only change the tree and mark the part: whatever they did not
// change keeps its declaration, namespace declarations, attribute order and
// quoting, entity spelling, empty-element form and whitespace.
#include "Package.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

namespace ooxml {

namespace {

using NodeKey = pugi::xml_node_struct*;

// Where a node of the parsed bytes lies in them: [begin, end), and for an
// element the end of its start tag and the start of its end tag.
struct Span
{
    pugi::xml_node node;
    size_t begin = 0;
    size_t startEnd = 0;
    size_t endBegin = 0;
    size_t end = 0;
    bool selfClosing() const { return startEnd == end; }
};

struct Writer final : pugi::xml_writer
{
    QByteArray* bytes = nullptr;
    void write(const void* data, size_t size) override
    {
        bytes->append(static_cast<const char*>(data), qsizetype(size));
    }
};

class Splicer
{
public:
    explicit Splicer(const QByteArray& original)
        : m_bytes(original)
    {}

    // False when the bytes and their parse cannot be lined up (then the part
    // is written whole).
    bool map(const pugi::xml_document& pristine)
    {
        for (pugi::xml_node child = pristine.first_child(); child; child = child.next_sibling()) {
            Span span;
            if (!measure(child, span))
                return false;
        }
        return true;
    }

    const Span* spanOf(pugi::xml_node node) const
    {
        const ptrdiff_t offset = node.offset_debug();
        if (offset < 0)
            return nullptr;
        const auto it = m_spans.find(offset);
        if (it == m_spans.end() || it->second.node.type() != node.type())
            return nullptr;
        return &it->second;
    }

    // Finds the nodes under node that differ from the bytes; true when node itself does not.
    bool compare(pugi::xml_node node)
    {
        const Span* span = spanOf(node);
        bool same = span && shallowEqual(node, span->node);
        pugi::xml_node counterpart = span ? span->node.first_child() : pugi::xml_node();
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
            const bool childSame = compare(child);
            if (same) {
                const Span* childSpan = spanOf(child);
                same = childSame && counterpart && childSpan && childSpan->node == counterpart;
                counterpart = counterpart.next_sibling();
            }
        }
        if (same && counterpart)
            same = false; // a child removed
        if (!same)
            m_changed.insert(node.internal_object());
        return same;
    }

    void writeNode(pugi::xml_node node, QByteArray& out) const
    {
        const Span* span = spanOf(node);
        if (span && !m_changed.count(node.internal_object())) {
            out.append(m_bytes.constData() + span->begin, qsizetype(span->end - span->begin));
            return;
        }
        if (node.type() != pugi::node_element) {
            Writer writer;
            writer.bytes = &out;
            node.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
            return;
        }
        const bool sameTag = span && tagEqual(node, span->node);
        if (sameTag && !span->selfClosing()) {
            out.append(m_bytes.constData() + span->begin, qsizetype(span->startEnd - span->begin));
            for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
                writeNode(child, out);
            out.append(m_bytes.constData() + span->endBegin, qsizetype(span->end - span->endBegin));
            return;
        }
        out.append('<');
        out.append(node.name());
        for (const pugi::xml_attribute attribute : node.attributes()) {
            out.append(' ');
            out.append(attribute.name());
            out.append("=\"");
            escapeAttribute(attribute.value(), out);
            out.append('"');
        }
        if (!node.first_child()) {
            out.append("/>");
            return;
        }
        out.append('>');
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
            writeNode(child, out);
        out.append("</");
        out.append(node.name());
        out.append('>');
    }

private:
    static bool tagEqual(pugi::xml_node a, pugi::xml_node b)
    {
        if (std::strcmp(a.name(), b.name()) != 0)
            return false;
        pugi::xml_attribute y = b.first_attribute();
        for (pugi::xml_attribute x = a.first_attribute(); x; x = x.next_attribute(), y = y.next_attribute()) {
            if (!y || std::strcmp(x.name(), y.name()) != 0 || std::strcmp(x.value(), y.value()) != 0)
                return false;
        }
        return !y;
    }

    static bool shallowEqual(pugi::xml_node a, pugi::xml_node b)
    {
        return a.type() == b.type() && tagEqual(a, b) && std::strcmp(a.value(), b.value()) == 0;
    }

    static void escapeAttribute(const char* value, QByteArray& out)
    {
        for (const char* p = value; *p; ++p) {
            switch (*p) {
            case '&':
                out.append("&amp;");
                break;
            case '<':
                out.append("&lt;");
                break;
            case '>':
                out.append("&gt;");
                break;
            case '"':
                out.append("&quot;");
                break;
            case '\t':
                out.append("&#9;");
                break;
            case '\n':
                out.append("&#10;");
                break;
            case '\r':
                out.append("&#13;");
                break;
            default:
                out.append(*p);
            }
        }
    }

    bool at(size_t offset, const char* text) const
    {
        const size_t length = std::strlen(text);
        return offset + length <= size_t(m_bytes.size()) &&
               std::memcmp(m_bytes.constData() + offset, text, length) == 0;
    }

    size_t find(const char* text, size_t from) const
    {
        const qsizetype found = m_bytes.indexOf(text, qsizetype(from));
        return found < 0 ? size_t(-1) : size_t(found) + std::strlen(text);
    }

    // The span of node in the bytes, its children's first; false when the
    // bytes do not hold node where its parse says.
    bool measure(pugi::xml_node node, Span& span)
    {
        const ptrdiff_t offset = node.offset_debug();
        if (offset < 0)
            return false;
        const size_t o = size_t(offset);
        span.node = node;
        switch (node.type()) {
        case pugi::node_element: {
            if (o == 0 || !at(o - 1, "<") || !at(o, node.name()))
                return false;
            span.begin = o - 1;
            size_t i = o + std::strlen(node.name());
            char quote = 0;
            for (; i < size_t(m_bytes.size()); ++i) {
                const char c = m_bytes.at(qsizetype(i));
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
            }
            if (i >= size_t(m_bytes.size()))
                return false;
            span.startEnd = i + 1;
            if (m_bytes.at(qsizetype(i) - 1) == '/') {
                if (node.first_child())
                    return false;
                span.endBegin = span.end = span.startEnd;
                break;
            }
            size_t position = span.startEnd;
            for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
                Span childSpan;
                if (!measure(child, childSpan) || childSpan.begin != position)
                    return false;
                position = childSpan.end;
            }
            if (!at(position, "</") || !at(position + 2, node.name()))
                return false;
            span.endBegin = position;
            span.end = find(">", position);
            break;
        }
        case pugi::node_pcdata: {
            span.begin = o;
            const qsizetype next = m_bytes.indexOf('<', qsizetype(o));
            span.end = next < 0 ? size_t(m_bytes.size()) : size_t(next);
            break;
        }
        case pugi::node_cdata:
            if (o < 9 || !at(o - 9, "<![CDATA["))
                return false;
            span.begin = o - 9;
            span.end = find("]]>", o);
            break;
        case pugi::node_comment:
            if (o < 4 || !at(o - 4, "<!--"))
                return false;
            span.begin = o - 4;
            span.end = find("-->", o);
            break;
        case pugi::node_pi:
        case pugi::node_declaration:
            if (o < 2 || !at(o - 2, "<?"))
                return false;
            span.begin = o - 2;
            span.end = find("?>", o);
            break;
        default:
            return false;
        }
        if (span.end == size_t(-1) || span.end > size_t(m_bytes.size()))
            return false;
        span.startEnd = std::max(span.startEnd, span.begin);
        span.endBegin = std::max(span.endBegin, span.startEnd);
        if (node.type() != pugi::node_element)
            span.startEnd = span.endBegin = span.end;
        m_spans.emplace(offset, span);
        return true;
    }

    const QByteArray& m_bytes;
    std::unordered_map<ptrdiff_t, Span> m_spans;
    std::unordered_set<NodeKey> m_changed;
};

} // namespace

QByteArray XmlPart::serializeOver(const QByteArray& original) const
{
    pugi::xml_document pristine;
    if (!pristine.load_buffer(original.constData(), size_t(original.size()), kParseFlags,
                              pugi::encoding_utf8))
        return serialize();
    Splicer splicer(original);
    if (!splicer.map(pristine))
        return serialize();
    // Outside the root element nothing is edited: what comes before and after it stays as it was,
    // provided the nodes there are still the ones read.
    const pugi::xml_node root = this->root();
    const pugi::xml_node pristineRoot = pristine.document_element();
    pugi::xml_node theirs = pristine.first_child();
    for (pugi::xml_node mine = document.first_child(); mine; mine = mine.next_sibling()) {
        if (!theirs)
            return serialize();
        if (mine != root) {
            const Span* span = splicer.spanOf(mine);
            if (!span || span->node != theirs || !splicer.compare(mine))
                return serialize();
        } else if (theirs != pristineRoot) {
            return serialize();
        }
        theirs = theirs.next_sibling();
    }
    if (theirs)
        return serialize();
    const Span* rootSpan = splicer.spanOf(pristineRoot);
    if (!rootSpan)
        return serialize();
    splicer.compare(root);
    QByteArray out;
    out.reserve(original.size() + 1024);
    out.append(original.constData(), qsizetype(rootSpan->begin));
    splicer.writeNode(root, out);
    out.append(original.constData() + rootSpan->end, original.size() - qsizetype(rootSpan->end));
    return out;
}

} // namespace ooxml
