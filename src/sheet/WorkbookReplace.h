#pragma once

#include "app/Batch.h"

#include <QString>
#include <functional>

class JobHost;
namespace sheet {
class Factory;
}

// Replaces one text by another in every worksheet of every ticked workbook. The
// Excel job drives "excel.application", the WPS job "ET.Application" (or
// "KET.Application" when that one cannot be created).
namespace WorkbookReplace {

// The office program chosen: nothing runs when it is neither.
enum class Engine { None, Excel, Wps };

struct Inputs
{
    Engine engine = Engine::None;
    QString oldText;
    QString newText;
};

using Result = Batch::Result;

// The job: the Excel or the WPS replace, as the inputs choose, read once.
Result Command2(JobHost& host, sheet::Factory& office, const std::function<Inputs()>& read);

// The replace through one program.

Result ExcelReplace(JobHost& host, sheet::Factory& office, const QString& oldText, const QString& newText);
Result WpsSheetReplace(JobHost& host, sheet::Factory& office, const QString& oldText, const QString& newText);

} // namespace WorkbookReplace
