#pragma once

#include "app/Job.h"

// The jobs of the window's buttons and of yanhe-cli's commands, in one table:
// a new job is one job file, one row, one test group.
namespace JobTable {

const QList<JobRow>& rows();
const JobRow* forButton(const QString& button);
const JobRow* forCommand(const QString& command);

// Runs a row's job behind the error boundary: whatever escapes the job (the
// tool's error, a standard exception, anything else) becomes one line in the
// log box and the journal, and the caller goes on.
Batch::Result run(const JobRow& row, JobContext& context);

// The same boundary around any work done for the user (a window's click
// handler): false when something escaped and was reported.
bool guarded(JobHost& host, const std::function<void()>& work);

} // namespace JobTable
