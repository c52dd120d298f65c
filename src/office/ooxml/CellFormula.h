#pragma once

#include <QSet>
#include <QString>

// Cell addresses and formula text of SpreadsheetML, as far as the engine edits them.
namespace ooxml::cellformula {

inline constexpr int kMaxRow = 1048576;
inline constexpr int kMaxColumn = 16384;

// "AB12" -> row 12, column 28 (1-based); false for anything else.
bool parseAddress(const QString& address, int& row, int& column);
QString address(int row, int column);
QString columnName(int column);

// A formula of a shared group, as the cell rows and columns away from the
// group's first cell holds it: relative references moved, absolute ones
// ($A$1), text in quotes and names kept. A reference moved off the sheet
// becomes #REF!, as Excel writes it.
QString shifted(const QString& formula, int rows, int columns);

// Whether a formula that a replace turned before into after still reads as
// one: quotes, brackets and parentheses closed, and every word it gained a
// reference, a number, TRUE or FALSE, an error value, a function's name in
// Latin letters, or one of known (defined names and sheet names, upper case).
// A formula that fails is kept as it was, as Excel refuses to enter it.
bool stillReads(const QString& before, const QString& after, const QSet<QString>& known);

// Excel's text of a number in a cell: at most 15 significant digits, an
// exponent only where Excel's general format shows one.
QString numberText(double value);
// A typed entry that Excel takes as a number (no grouping, no currency, no percent).
bool parseNumber(const QString& text, double& value);

} // namespace ooxml::cellformula
