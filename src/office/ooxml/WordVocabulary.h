#pragma once

#include "Markup.h"
#include "WordFile.h"

// What the files of WordFile share: the WordprocessingML names of a part and
// how its text is read.
namespace ooxml {

namespace wordml {

inline constexpr char kW[] = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

inline bool in(std::string_view name, std::initializer_list<std::string_view> names)
{
    for (const std::string_view candidate : names) {
        if (name == candidate)
            return true;
    }
    return false;
}

// An element of the vocabulary that prefix ("w:", or "") names, whatever its local name.
inline bool underPrefix(pugi::xml_node node, const std::string& prefix)
{
    const std::string_view name = node.name();
    return name.substr(0, prefix.size()) == prefix && name.find(':', prefix.size()) == std::string_view::npos;
}

// An on/off property (w:b, w:titlePg ...): present and not switched off.
inline bool isOn(pugi::xml_node toggle, const std::string& w)
{
    if (!toggle)
        return false;
    const std::string_view value = toggle.attribute((w + "val").c_str()).value();
    return !in(value, {"0", "false", "off"});
}

} // namespace wordml

struct WordFile::Vocabulary : markup::Names
{
    // An element of WordprocessingML itself, whatever its local name.
    bool inW(pugi::xml_node node) const { return wordml::underPrefix(node, prefix); }

    // The pieces of a run: its text, and breaks where a search must not cross.
    void collectRun(pugi::xml_node run, std::vector<Piece>& pieces) const;
    // The pieces of a paragraph (or of a container inside one: a hyperlink, a
    // content control, an insertion). Deleted text is skipped; bookmarks and
    // other marks are transparent.
    void collectInline(pugi::xml_node node, std::vector<Piece>& pieces) const;
    // The paragraphs of a story, tables and content controls included; text
    // boxes are stories of their own, and a fallback repeats what its choice holds.
    void collectParagraphs(pugi::xml_node node, std::vector<pugi::xml_node>& out) const;
};

} // namespace ooxml
