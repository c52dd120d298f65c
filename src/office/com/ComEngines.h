#pragma once

#include "Dispatch.h"
#include "word/RunningOffice.h"
#include "sheet/Spreadsheet.h"
#include "word/WordProcessor.h"

// Word, Excel and WPS driven over the dispatch seam, member path by member path
// as their object models name them.
namespace comseam {

word::ApplicationPtr wordProcessor(ObjectPtr application);
sheet::ApplicationPtr spreadsheet(ObjectPtr application);

// The running instance by COM and the processes by WMI ("winmgmts:").
std::unique_ptr<RunningOffice> runningOffice(Runtime& runtime);

} // namespace comseam
