#include "WorkbookReplace.h"

#include "Spreadsheet.h"
#include "app/Batch.h"
#include "app/JobHost.h"
#include "app/RuntimeError.h"

namespace WorkbookReplace {

namespace {

const QString kReplaced = QStringLiteral("已替换内容");
const QString kNotFound = QStringLiteral("没找到替换的内容");

// One workbook: every worksheet searched and replaced, then saved and closed.
void replaceIn(Batch& batch, sheet::Application& application, const QString& path, const QString& oldText,
               const QString& newText)
{
    if (!batch.writable(path))
        return;
    const auto workbook =
        batch.attempt(path, Batch::Stage::Open, [&] { return application.workbooksOpen(path); });
    if (!workbook)
        return;
    const bool changed = batch.attempt(path, Batch::Stage::Change, [&] {
        application.setVisible(false);
        const int sheets = (*workbook)->worksheetsCount();
        for (int index = 1; index <= sheets; ++index) {
            (*workbook)->sheetsActivate(index);
            const sheet::WorksheetPtr worksheet = (*workbook)->worksheets(index);
            const QString name = worksheet->name();
            if (worksheet->cellsFind(oldText)) {
                worksheet->cellsReplace(oldText, newText);
                batch.report(path, QLatin1Char('-') + name + kReplaced);
            } else {
                batch.report(path, QLatin1Char('-') + name + kNotFound);
            }
        }
    });
    if (changed && batch.attempt(path, Batch::Stage::Save, [&] { (*workbook)->close(true); }))
        return;
    // Nothing is written to a workbook that failed.
    try {
        (*workbook)->close(false);
    } catch (...) {
    }
}

Result run(bool wps, JobHost& host, sheet::Factory& office, const QString& oldText, const QString& newText)
{
    return Batch::run(
        host, Batch::Pattern{},
        [&] {
            return wps ? sheet::createWps(office)
                       : office.createSpreadsheet(QStringLiteral("excel.application"));
        },
        wps ? QStringLiteral("无法启动 WPS 表格（ET.Application、KET.Application）：")
            : QStringLiteral("无法启动电子表格程序（excel.application）："),
        [&](Batch& batch, sheet::Application& application, const QString& path) {
            replaceIn(batch, application, path, oldText, newText);
        });
}

} // namespace

Result ExcelReplace(JobHost& host, sheet::Factory& office, const QString& oldText, const QString& newText)
{
    return run(false, host, office, oldText, newText);
}

Result WpsSheetReplace(JobHost& host, sheet::Factory& office, const QString& oldText, const QString& newText)
{
    return run(true, host, office, oldText, newText);
}

Result Command2(JobHost& host, sheet::Factory& office, const std::function<Inputs()>& read)
{
    const Inputs inputs = read();
    switch (inputs.engine) {
    case Engine::Excel:
        return ExcelReplace(host, office, inputs.oldText, inputs.newText);
    case Engine::Wps:
        return WpsSheetReplace(host, office, inputs.oldText, inputs.newText);
    case Engine::None:
        break;
    }
    return {};
}

} // namespace WorkbookReplace
