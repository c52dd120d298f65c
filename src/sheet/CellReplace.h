#pragma once

#include "app/Batch.h"

#include <QString>
#include <functional>

class JobHost;
namespace sheet {
class Factory;
}

// Writes one text into one cell of every worksheet of every ticked workbook,
// always through "excel.application".
namespace CellReplace {

struct Inputs
{
    QString row;     // as typed
    QString column;  // as typed
    QString content; // the cell's new text
};

using Result = Batch::Result;

// The job: row and column read once at the start, the content again for every worksheet.
Result Command8(JobHost& host, sheet::Factory& office, const std::function<Inputs()>& read);

// rowText and columnText are the row and column boxes as typed, fixed for the
// run; content is the content box, read again for every worksheet. A cell that no worksheet of a workbook can
// take (row or column below 1, past the sheet's last one, beyond 32 bits, or a protected sheet) fails that
// workbook, which is left as it was.
Result ExcelCellReplace(JobHost& host, sheet::Factory& office, const QString& rowText,
                        const QString& columnText, const std::function<QString()>& content);

} // namespace CellReplace
