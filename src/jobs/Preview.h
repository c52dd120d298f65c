#pragma once

#include "app/Batch.h"

struct JobContext;
struct JobRow;

// A dry run of a job: it runs on the files as it would, and saves nothing.
namespace jobs {

// Whether the row's job can run dry: the jobs that change documents and workbooks.
bool previews(const JobRow& row);

// Runs row's job dry on context's host: no file is saved or backed up, no
// leftover of an earlier run removed, Word, Excel and WPS not driven (they do
// not count what they replace). Each file's lines of what was done give way to
// one line of what would be (" 预览：正文 N 处，文本框 N 处，页眉 N 处，页脚 N 处", or
// " 预览：工作表 N 处" for a workbook); its failure lines stay.
Batch::Result runPreview(const JobRow& row, JobContext& context);

} // namespace jobs
