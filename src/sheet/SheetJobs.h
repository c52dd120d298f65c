#pragma once

#include "app/Job.h"

namespace sheet {

// The workbook jobs' rows of the job table.
QList<JobRow> jobRows();

} // namespace sheet
