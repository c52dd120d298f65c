#include "SheetJobs.h"

#include "CellReplace.h"
#include "Spreadsheet.h"
#include "WorkbookReplace.h"

namespace sheet {

namespace {

using Kind = CliOption::Kind;

// Command2 "xls表格替换": the Excel job with Option2, then the WPS job with Option4.
Batch::Result Command2_Click(JobContext& context)
{
    const JobInputs& in = context.inputs;
    Batch::Result result;
    if (in.ticked(QStringLiteral("Option2")))
        result = WorkbookReplace::ExcelReplace(context.host, context.sheets, in.text(QStringLiteral("Text1")),
                                               in.text(QStringLiteral("Text2")));
    if (in.ticked(QStringLiteral("Option4"))) {
        const Batch::Result wps = WorkbookReplace::WpsSheetReplace(
            context.host, context.sheets, in.text(QStringLiteral("Text1")), in.text(QStringLiteral("Text2")));
        result.add(wps);
    }
    return result;
}

// Command8 "EXCEL单元替换": always "excel.application", whatever engine option is chosen.
Batch::Result Command8_Click(JobContext& context)
{
    const JobInputs& in = context.inputs;
    return CellReplace::ExcelCellReplace(context.host, context.sheets, in.text(QStringLiteral("Text15_0")),
                                         in.text(QStringLiteral("Text15_1")),
                                         [&in] { return in.text(QStringLiteral("Text15_2")); });
}

} // namespace

QList<JobRow> jobRows()
{
    JobRow replace;
    replace.command = QStringLiteral("sheet-replace");
    replace.button = QStringLiteral("Command2");
    replace.summary = QStringLiteral("replace a text in every worksheet of workbooks");
    replace.help = QStringLiteral("Replaces a text in every worksheet of workbooks as \"xls表格替换\" does.");
    replace.controls = {QStringLiteral("Option2"), QStringLiteral("Option4"), QStringLiteral("Text1"),
                        QStringLiteral("Text2")};
    replace.options = {
        {QStringLiteral("engine"),
         Kind::OneOf,
         QStringLiteral("excel (default) or wps."),
         {},
         QStringLiteral("excel"),
         {{QStringLiteral("excel"), QStringLiteral("Option2")},
          {QStringLiteral("wps"), QStringLiteral("Option4")}}},
        {QStringLiteral("old"),
         Kind::Text,
         QStringLiteral("The text to replace."),
         QStringLiteral("Text1"),
         {},
         {},
         true},
        {QStringLiteral("new"),
         Kind::Text,
         QStringLiteral("The new text."),
         QStringLiteral("Text2"),
         {},
         {},
         true},
    };
    replace.run = Command2_Click;

    JobRow cell;
    cell.command = QStringLiteral("cell-write");
    cell.button = QStringLiteral("Command8");
    cell.summary = QStringLiteral("write a text into one cell of every worksheet of workbooks");
    cell.help = QStringLiteral(
        "Writes a text into the cell at the row and column given, in every worksheet of workbooks, as "
        "\"EXCEL单元替换\" does. Row and column are read as numbers (\"3.5\" is row 4).");
    cell.controls = {QStringLiteral("Text15_0"), QStringLiteral("Text15_1"), QStringLiteral("Text15_2")};
    cell.options = {
        {QStringLiteral("row"),
         Kind::Text,
         QStringLiteral("The cell's row, from 1."),
         QStringLiteral("Text15_0"),
         {},
         {},
         true},
        {QStringLiteral("column"),
         Kind::Text,
         QStringLiteral("The cell's column, from 1 (A is 1)."),
         QStringLiteral("Text15_1"),
         {},
         {},
         true},
        {QStringLiteral("text"),
         Kind::Text,
         QStringLiteral("The cell's new content (may be empty)."),
         QStringLiteral("Text15_2"),
         {},
         {},
         true},
    };
    cell.run = Command8_Click;
    return {replace, cell};
}

} // namespace sheet
