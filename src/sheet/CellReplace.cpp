#include "CellReplace.h"

#include "Spreadsheet.h"
#include "app/DryRun.h"
#include "app/JobHost.h"
#include "app/NumberText.h"
#include "app/RuntimeError.h"

#include <optional>

namespace CellReplace {

namespace {

const QString kReplaced = QStringLiteral("已替换内容");

struct Cell
{
    std::optional<qint32> row;
    std::optional<qint32> column;
    QString rowShown;
    QString columnShown;

    static Cell read(const QString& rowText, const QString& columnText)
    {
        Cell cell;
        cell.row = NumberText::roundToInt32(NumberText::leadingValue(rowText));
        cell.column = NumberText::roundToInt32(NumberText::leadingValue(columnText));
        cell.rowShown = cell.row ? QString::number(*cell.row) : rowText.trimmed();
        cell.columnShown = cell.column ? QString::number(*cell.column) : columnText.trimmed();
        return cell;
    }
    bool named() const { return row && column && *row >= 1 && *column >= 1; }
    RuntimeError noSuchCell(const QString& why = QString()) const
    {
        return RuntimeError(RuntimeError::ApplicationDefined,
                            QStringLiteral("单元格第 %1 行第 %2 列不存在").arg(rowShown, columnShown) + why);
    }
};

// Every worksheet can take the cell: checked before the first is written, so
// that a workbook is written whole or not at all.
void checkSheets(sheet::Workbook& workbook, const Cell& cell)
{
    const int sheets = workbook.worksheetsCount();
    for (int index = 1; index <= sheets; ++index) {
        const sheet::WorksheetPtr worksheet = workbook.worksheets(index);
        const int rows = worksheet->rowsCount();
        const int columns = worksheet->columnsCount();
        if (*cell.row > rows || *cell.column > columns)
            throw cell.noSuchCell(QStringLiteral("（工作表“%1”有 %2 行、%3 列）")
                                      .arg(worksheet->name())
                                      .arg(rows)
                                      .arg(columns));
        if (worksheet->protectContents())
            throw RuntimeError(RuntimeError::ApplicationDefined,
                               QStringLiteral("工作表“%1”受保护，无法写入").arg(worksheet->name()));
    }
}

void writeIn(Batch& batch, sheet::Application& application, const QString& path, const Cell& cell,
             const std::function<QString()>& content)
{
    if (!batch.writable(path))
        return;
    if (!cell.named()) {
        batch.reportFailure(path, Batch::Stage::Write, cell.noSuchCell());
        return;
    }
    const auto workbook =
        batch.attempt(path, Batch::Stage::Open, [&] { return application.workbooksOpen(path); });
    if (!workbook)
        return;
    const bool written = batch.attempt(path, Batch::Stage::Write, [&] {
        application.setVisible(false);
        checkSheets(**workbook, cell);
        const int sheets = (*workbook)->worksheetsCount();
        for (int index = 1; index <= sheets; ++index) {
            (*workbook)->sheetsActivate(index);
            const sheet::WorksheetPtr worksheet = (*workbook)->worksheets(index);
            const QString name = worksheet->name();
            worksheet->setCell(*cell.row, *cell.column, content());
            // A dry run tells how many sheets it would write the cell of.
            if (DryRun::active())
                DryRun::count(path, DryRun::Scope::Sheets, 1);
            batch.report(path, QLatin1Char('-') + name + kReplaced);
        }
    });
    if (written && batch.attempt(path, Batch::Stage::Save, [&] { (*workbook)->close(true); }))
        return;
    // Nothing is written to a workbook that failed.
    try {
        (*workbook)->close(false);
    } catch (...) {
    }
}

} // namespace

Result ExcelCellReplace(JobHost& host, sheet::Factory& office, const QString& rowText,
                        const QString& columnText, const std::function<QString()>& content)
{
    const Cell cell = Cell::read(rowText, columnText);
    return Batch::run(
        host, Batch::Pattern{}, [&] { return office.createSpreadsheet(QStringLiteral("excel.application")); },
        QStringLiteral("无法启动电子表格程序（excel.application）："),
        [&](Batch& batch, sheet::Application& application, const QString& path) {
            writeIn(batch, application, path, cell, content);
        });
}

Result Command8(JobHost& host, sheet::Factory& office, const std::function<Inputs()>& read)
{
    const Inputs first = read();
    return ExcelCellReplace(host, office, first.row, first.column, [&read] { return read().content; });
}

} // namespace CellReplace
