#include "JobTable.h"

#include "Commands.h"
#include "app/JobHost.h"
#include "sheet/Spreadsheet.h"
#include "word/WordProcessor.h"

namespace JobTable {

const QList<JobRow>& rows()
{
    static const QList<JobRow> all = jobs::commands::rows();
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
    // An engine that hands a file to another says so in the journal of the job
    // that created it; the engines take the journal when they are created, so a
    // job that ends does not take it from one still running.
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
    Batch::Result result;
    if (!guarded(context.host, [&] { result = row.run(context); })) {
        result = {};
        result.failures = 1;
    }
    return result;
}

bool guarded(JobHost& host, const std::function<void()>& work)
{
    RuntimeError failure = RuntimeError::unknown();
    try {
        work();
        return true;
    } catch (const RuntimeError& error) {
        failure = error;
    } catch (const std::exception& error) {
        failure = RuntimeError::fromStd(error);
    } catch (...) {
    }
    const QString line = QStringLiteral("操作中止：") + failure.description();
    host.appendLog(line);
    host.journal(failure.detail().isEmpty()
                     ? line
                     : line + QStringLiteral("（") + failure.detail() + QStringLiteral("）"));
    return false;
}

} // namespace JobTable
