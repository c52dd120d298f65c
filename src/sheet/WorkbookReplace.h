#pragma once

#include <QString>

class JobHost;
class OfficeRegistry;

// Replaces one text by another in every worksheet of every ticked workbook. The
// Excel job drives "excel.application", the WPS job "ET.Application" (or
// "KET.Application" when that one cannot be created).
namespace WorkbookReplace {

struct Result
{
    int total = 0;
    int failures = 0;
    bool started = true;
};

Result ExcelReplace(JobHost& host, OfficeRegistry& office, const QString& oldText, const QString& newText);
Result WpsSheetReplace(JobHost& host, OfficeRegistry& office, const QString& oldText, const QString& newText);

} // namespace WorkbookReplace
