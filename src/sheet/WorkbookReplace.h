#pragma once

#include "app/Batch.h"

#include <QString>

class JobHost;
namespace sheet {
class Factory;
}

// Replaces one text by another in every worksheet of every ticked workbook. The
// Excel job drives "excel.application", the WPS job "ET.Application" (or
// "KET.Application" when that one cannot be created).
namespace WorkbookReplace {

using Result = Batch::Result;

Result ExcelReplace(JobHost& host, sheet::Factory& office, const QString& oldText, const QString& newText);
Result WpsSheetReplace(JobHost& host, sheet::Factory& office, const QString& oldText, const QString& newText);

} // namespace WorkbookReplace
