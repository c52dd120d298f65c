#pragma once

#include "app/Batch.h"

#include <QString>

class JobHost;
class OfficeRegistry;

// Replaces one text by another in every worksheet of every ticked workbook. The
// Excel job drives "excel.application", the WPS job "ET.Application" (or
// "KET.Application" when that one cannot be created).
namespace WorkbookReplace {

using Result = Batch::Result;

Result ExcelReplace(JobHost& host, OfficeRegistry& office, const QString& oldText, const QString& newText);
Result WpsSheetReplace(JobHost& host, OfficeRegistry& office, const QString& oldText, const QString& newText);

} // namespace WorkbookReplace
