#pragma once

#include "app/Batch.h"

#include <QString>
#include <functional>
#include <optional>

class JobHost;
namespace word {
class Factory;
}

// Writes a header text, a footer text and a 第N页 page number into every
// ticked document, with font name, size, bold and alignment, deleting the
// existing header or footer first when asked. Drives "Word.Application"; each
// document is opened, written, saved once and closed.
namespace HeaderFooterWriter {

// One row of controls: the header's (Check12(0), Check5(0), Text4, Text6(0),
// Text7(0), Check1(0), Combo1) or the footer's (index 1, Text5, Combo2).
struct Row
{
    bool write = false;       // Check12
    bool deleteFirst = false; // Check5
    QString text;             // Text4 / Text5
    QString fontName;         // Text6
    QString fontSize;         // Text7
    bool bold = false;        // Check1
    QString alignment;        // Combo1 / Combo2
};

// What the job reads from the window, again for every document.
struct Inputs
{
    Row header;
    Row footer;
    bool pageNumber = false;    // Check3
    QString pageNumberPosition; // Combo3
};

using Result = Batch::Result;

// "居中" 1, "居右" 2, "居左" 3 (justified, which shows a one-line paragraph flush left);
// none for any other text.
std::optional<int> alignmentCode(const QString& comboText);

// The status texts of the blocks.
QString headerWritten();
QString footerWritten();
QString pageNumberAndFooterWritten();
QString pageNumberWritten();

Result Command3(JobHost& host, word::Factory& office, const std::function<Inputs()>& read);

} // namespace HeaderFooterWriter
