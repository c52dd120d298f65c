#pragma once

#include "app/Job.h"

namespace word {

// The document jobs' rows of the job table.
QList<JobRow> jobRows();

} // namespace word
