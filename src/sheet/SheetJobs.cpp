#include "SheetJobs.h"

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
         {{QStringLiteral("excel"), QStringLiteral("Option2")}, {QStringLiteral("wps"), QStringLiteral("Option4")}}},
        {QStringLiteral("old"), Kind::Text, QStringLiteral("The text to replace."), QStringLiteral("Text1"), {}, {}, true},
        {QStringLiteral("new"), Kind::Text, QStringLiteral("The new text."), QStringLiteral("Text2"), {}, {}, true},
    };
    replace.run = Command2_Click;
    return {replace};
}

} // namespace sheet
