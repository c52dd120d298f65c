#pragma once

#include <QStringList>

struct JobRow;

namespace cli {

// A row of the job table as a command: its options fill the job's controls,
// the FILE arguments are the ticked rows. Exit code 0 when every file was
// processed, 1 when any failed, 2 for a usage error.
int runJobCommand(const JobRow& row, const QStringList& arguments);

} // namespace cli
