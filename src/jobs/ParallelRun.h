#pragma once

#include <QString>
#include <QStringList>
#include <any>

class JobHost;
struct JobRow;

namespace jobs {

// The memory an office process is given room for when choosing how many to start.
inline constexpr int kOfficeProcessMiB = 600;

// The files of the lossless engine one more worker is worth: its start costs
// about what a hundred small files take.
inline constexpr int kLosslessFilesPerWorker = 100;

// How many processes a run over files uses by default, of which officeFiles go
// to LibreOffice and losslessFiles to the lossless engine: one per core, no
// more than there are office files and hundreds of lossless files, and, when
// an office file is among them, as many as the available memory has room for
// office processes; at least one.
int automaticJobs(int officeFiles, int losslessFiles = 0);
// The same for a run over these files.
int automaticJobs(const QStringList& files);
// The files of the list that LibreOffice edits; the others go to the lossless engine,
// which needs no process of its own.
int libreOfficeFiles(const QStringList& files);

// A job run on several office processes at once: program (the window's or
// yanhe-cli's executable) is started again as up to `jobs` workers, each with
// its own office process and a share of the files (every jobs-th file, so that
// big files that sit together are spread); each gets the job, its inputs as
// read now and the whole list. Every file is a ticked row. What the workers
// report reaches `host` in list order, exactly as a run on one office process
// would show it: a file's lines, bar steps and status come once every file
// before it is done. A worker that dies costs the file it was working on (one
// failure line) and nothing more: a new worker takes the files after it. The
// caller's event loop runs meanwhile. The exit code is a run on one office
// process's: 0 when every file went well; failures, when given, gets how many
// files failed.
int runParallel(JobHost& host, const QStringList& files, int jobs, const JobRow& row, const std::any& inputs,
                const QString& program, int* failures = nullptr);

} // namespace jobs
