#pragma once

#include "Dispatch.h"
#include "office/Watchdog.h"
#include "sheet/Spreadsheet.h"
#include "word/RunningOffice.h"
#include "word/WordProcessor.h"

// Word, Excel and WPS driven over the dispatch seam, member path by member path
// as their object models name them.
namespace comseam {

// A new instance of progId, every call into it bounded by timeoutMs (see
// Instance); RuntimeError CannotCreateObject when it cannot be created.
word::ApplicationPtr wordProcessor(Runtime& runtime, const QString& progId,
                                   int timeoutMs = Watchdog::defaultTimeoutMs());
sheet::ApplicationPtr spreadsheet(Runtime& runtime, const QString& progId,
                                  int timeoutMs = Watchdog::defaultTimeoutMs());

// The running instance by COM and the processes by WMI ("winmgmts:").
std::unique_ptr<RunningOffice> runningOffice(Runtime& runtime);

} // namespace comseam
