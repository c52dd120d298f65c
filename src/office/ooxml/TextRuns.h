#pragma once

#include <QString>
#include <pugixml.hpp>
#include <string>
#include <vector>

// Text spread over runs (a Word paragraph, a rich-text string of a workbook):
// found and replaced as one text, with the replacement in the run of the first
// matched character, so that it takes that character's formatting.
namespace ooxml {

// One piece of the text: the text of a text element, or a break (a tab, a
// drawing, a field mark) that no search crosses.
struct Piece
{
    pugi::xml_node element; // the text element; empty for a break
    QString text;
    bool changed = false;
};

// The names of the text and run elements of one vocabulary, with their prefix.
struct RunNames
{
    std::string text;       // w:t, or t
    std::string run;        // w:r, or r
    std::string properties; // w:rPr, or rPr
};

// Lower-cases as Word's and Excel's searches compare: per code point, length kept.
QString foldCase(const QString& text);

// The start of every occurrence of what in text, any letter case, left to right,
// not overlapping; none for an empty what.
std::vector<qsizetype> occurrences(const QString& text, const QString& what);

// The text of an element's text children (character data and CDATA).
QString elementText(pugi::xml_node element);
// Sets the text, keeping blanks at either end with xml:space="preserve".
void setElementText(pugi::xml_node element, const QString& text);

// The pieces as one text: a break is U+FFFC, which no typed text holds.
QString joined(const std::vector<Piece>& pieces);
bool contains(const std::vector<Piece>& pieces, const QString& what);
// Where each piece starts in joined(pieces).
std::vector<qsizetype> pieceStarts(const std::vector<Piece>& pieces);

// Replaces every occurrence of what by replacement across the pieces and
// writes the changed pieces back: a text element left empty is removed, and
// its run with it when nothing but properties remains. An occurrence already
// equal to the replacement is left alone. The number of replacements.
int replaceAll(std::vector<Piece>& pieces, const QString& what, const QString& replacement,
               const RunNames& names);

} // namespace ooxml
