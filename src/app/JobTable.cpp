#include "JobTable.h"

#include "JobHost.h"
#include "sheet/SheetJobs.h"
#include "sheet/Spreadsheet.h"
#include "word/WordJobs.h"
#include "word/WordProcessor.h"

namespace JobTable {

const QList<JobRow>& rows()
{
    static const QList<JobRow> all = [] {
        QList<JobRow> table;
        table << word::jobRows();
        table << sheet::jobRows();
        return table;
    }();
    return all;
}

const JobRow* forButton(const QString& button)
{
    for (const JobRow& row : rows()) {
        if (row.button == button)
            return &row;
    }
    return nullptr;
}

const JobRow* forCommand(const QString& command)
{
    for (const JobRow& row : rows()) {
        if (row.command == command)
            return &row;
    }
    return nullptr;
}

Batch::Result run(const JobRow& row, JobContext& context)
{
    RuntimeError failure = RuntimeError::unknown();
    const auto journal = [&host = context.host](const QString& line) { host.journal(line); };
    context.words.setJournal(journal);
    context.sheets.setJournal(journal);
    struct Detach
    {
        JobContext& context;
        ~Detach()
        {
            context.words.setJournal({});
            context.sheets.setJournal({});
        }
    } detach{context};
    try {
        return row.run(context);
    } catch (const RuntimeError& error) {
        failure = error;
    } catch (const std::exception& error) {
        failure = RuntimeError::fromStd(error);
    } catch (...) {
    }
    const QString line = QStringLiteral("操作中止：") + failure.description();
    context.host.appendLog(line);
    context.host.journal(failure.detail().isEmpty() ? line
                                                    : line + QStringLiteral("（") + failure.detail() +
                                                          QStringLiteral("）"));
    Batch::Result result;
    result.failures = 1;
    return result;
}

} // namespace JobTable
