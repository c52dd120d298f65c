#pragma once

#include "app/Job.h"

// The rows of the job table, one per command, in the order of yanhe-cli's help.
namespace jobs::commands {

JobRow wordReplace();
JobRow wordReplacePairs();
JobRow headerFooterReplace();
JobRow headerFooterWrite();
JobRow sheetReplace();
JobRow cellWrite();
JobRow rename();
JobRow remove();

} // namespace jobs::commands
