#include "WorkbookReplace.h"

#include "Spreadsheet.h"
#include "app/Batch.h"
#include "app/JobHost.h"
#include "app/RuntimeError.h"
#include "office/OfficeRegistry.h"

namespace WorkbookReplace {

namespace {

const QString kReplaced = QStringLiteral("已替换内容");
const QString kNotFound = QStringLiteral("没找到替换的内容");

// One workbook: every worksheet searched and replaced, then saved and closed.
void replaceIn(Batch& batch, sheet::Application& application, const QString& path, const QString& oldText,
               const QString& newText)
{
    sheet::WorkbookPtr workbook;
    try {
        workbook = application.workbooksOpen(path);
    } catch (const RuntimeError& error) {
        batch.reportFailure(path, Batch::Stage::Open, error);
        return;
    }
    try {
        application.setVisible(false);
        const int sheets = workbook->worksheetsCount();
        for (int index = 1; index <= sheets; ++index) {
            workbook->sheetsActivate(index);
            const sheet::WorksheetPtr worksheet = workbook->worksheets(index);
            const QString name = worksheet->name();
            if (worksheet->cellsFind(oldText)) {
                worksheet->cellsReplace(oldText, newText);
                batch.report(path, QLatin1Char('-') + name + kReplaced);
            } else {
                batch.report(path, QLatin1Char('-') + name + kNotFound);
            }
        }
    } catch (const RuntimeError& error) {
        batch.reportFailure(path, Batch::Stage::Change, error);
        try {
            workbook->close(false); // nothing is written to it
        } catch (const RuntimeError&) {
        }
        return;
    }
    try {
        workbook->close(true);
    } catch (const RuntimeError& error) {
        batch.reportFailure(path, Batch::Stage::Save, error);
        try {
            workbook->close(false);
        } catch (const RuntimeError&) {
        }
    }
}

Result run(bool wps, JobHost& host, OfficeRegistry& office, const QString& oldText, const QString& newText)
{
    return Batch::run(
        host,
        [&] {
            return wps ? office.createWpsSpreadsheet()
                       : office.createSpreadsheet(QStringLiteral("excel.application"));
        },
        wps ? QStringLiteral("无法启动 WPS 表格（ET.Application、KET.Application）：")
            : QStringLiteral("无法启动电子表格程序（excel.application）："),
        [&](Batch& batch, sheet::Application& application, const QString& path) {
            replaceIn(batch, application, path, oldText, newText);
        });
}

} // namespace

Result ExcelReplace(JobHost& host, OfficeRegistry& office, const QString& oldText, const QString& newText)
{
    return run(false, host, office, oldText, newText);
}

Result WpsSheetReplace(JobHost& host, OfficeRegistry& office, const QString& oldText, const QString& newText)
{
    return run(true, host, office, oldText, newText);
}

} // namespace WorkbookReplace
