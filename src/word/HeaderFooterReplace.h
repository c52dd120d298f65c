#pragma once

#include "app/Batch.h"

#include <QString>
#include <functional>

class JobHost;
namespace word {
class Factory;
}

// Replaces one text in the header and one in the footer of every ticked
// document, through the view of the current page's header or footer and a
// replace-all of the selection. Drives "word.Application"; no progress, no
// journal, no yield; "全部操作已完成" in the status line at the end.
namespace HeaderFooterReplace {

// What the job reads from the window, again for every document.
struct Inputs
{
    bool header = false; // Check10
    QString headerOld;   // Text12(0)
    QString headerNew;   // Text12(1)
    bool footer = false; // Check11
    QString footerOld;   // Text12(2)
    QString footerNew;   // Text12(3)
};

using Result = Batch::Result;

Result Command7(JobHost& host, word::Factory& office, const std::function<Inputs()>& read);

} // namespace HeaderFooterReplace
