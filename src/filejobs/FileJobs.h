#pragma once

#include "app/Job.h"

namespace filejobs {

// The rename and delete jobs' rows of the job table.
QList<JobRow> jobRows();

} // namespace filejobs
