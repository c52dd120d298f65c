#pragma once

#include <QString>

namespace word {

// Whether a font name is an East Asian font's. Word's Font.Name set to such a
// font serves Chinese text as well as Latin text; a Latin font leaves the font
// of East Asian text as it was.
bool isEastAsianFontName(const QString& name);

// Font.Size given as text: its points, from 1 to 1638 as Word takes them.
// RuntimeError (in words for the user) for any other text.
double fontPoints(const QString& size);

} // namespace word
