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

// What the job reads, again for every document.
struct Inputs
{
    bool header = false; // replace in the header
    QString headerOld;
    QString headerNew;
    bool footer = false; // replace in the footer
    QString footerOld;
    QString footerNew;
};

using Result = Batch::Result;

Result Command7(JobHost& host, word::Factory& office, const std::function<Inputs()>& read);

} // namespace HeaderFooterReplace
