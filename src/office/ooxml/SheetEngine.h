#pragma once

#include "WordEngine.h"
#include "sheet/Spreadsheet.h"

#include <functional>

namespace ooxml {

// Excel's object model on .xlsx and .xlsm, edited in their XML (see
// SheetFile). Workbooks.Open of a file this engine does not edit throws Declined.
sheet::ApplicationPtr createSpreadsheet();

bool takesWorkbook(const QString& path);

// One spreadsheet program for a whole run: .xlsx and .xlsm through this
// engine, every other file, and the ones it declines, through fallback(),
// created when first needed. Without a fallback, a declined file fails with
// the reason.
sheet::ApplicationPtr routedSpreadsheet(std::function<sheet::ApplicationPtr()> fallback, Notes notes);

} // namespace ooxml
