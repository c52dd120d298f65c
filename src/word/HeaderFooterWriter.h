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

// What goes into the header, or into the footer.
struct Row
{
    bool write = false;       // 页眉内容 / 页脚内容
    bool deleteFirst = false; // 删除页眉 / 删除页脚
    QString text;
    QString fontName;
    QString fontSize; // as typed
    bool bold = false;
    QString alignment; // 居左, 居中 or 居右
};

// What the job reads, again for every document.
struct Inputs
{
    bool wordChosen = false; // 开启word: nothing runs without it
    Row header;
    Row footer;
    bool pageNumber = false;
    QString pageNumberPosition; // 居左, 居中 or 居右
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
