#pragma once

#include "app/Batch.h"

class JobHost;

// Deletes the ticked files for good, from the last row to the first.
namespace BatchDelete {

// Nothing unless unlocked (Check7). A ticked row whose file a plain listing
// does not see (gone, hidden, system, a folder) stays as it is; a file that is
// deleted gets one line in the log box and the journal, and its row goes; a
// file that is refused gets a failure line and its row stays. Failures are the
// ticked rows left.
Batch::Result DeleteFiles(JobHost& host, bool unlocked);

} // namespace BatchDelete
