#pragma once

#include "Markup.h"
#include "SheetFile.h"

// What the files of SheetFile share: the SpreadsheetML names of a part, how a
// string item's text is read, and a cell found in a sheet's data.
namespace ooxml {

namespace sheetml {

// A boolean attribute of SpreadsheetML.
inline bool isTrue(const char* value)
{
    const std::string_view v = value;
    return v == "1" || v == "true";
}

} // namespace sheetml

struct SheetFile::Vocabulary : markup::Names
{
    // The text pieces of a string item (<si>, <is>): plain or in runs; phonetic guides are not its text.
    void collect(pugi::xml_node item, std::vector<Piece>& pieces) const
    {
        for (const pugi::xml_node child : item.children()) {
            if (is(child, "t"))
                pieces.push_back({child, elementText(child)});
            else if (is(child, "r")) {
                for (const pugi::xml_node t : child.children(name("t")))
                    pieces.push_back({t, elementText(t)});
            }
        }
    }
    QString plain(pugi::xml_node item) const
    {
        std::vector<Piece> pieces;
        collect(item, pieces);
        return joined(pieces);
    }
};

struct SheetFile::Cell
{
    pugi::xml_node node;
    int row = 0;
    int column = 0;
};

} // namespace ooxml
