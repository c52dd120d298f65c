#pragma once

#include "app/Job.h"

// The rows of the job table, one per command, in the order of yanhe-cli's
// help: a new job is one row function in Commands.cpp and its place in rows().
namespace jobs::commands {

QList<JobRow> rows();

} // namespace jobs::commands
