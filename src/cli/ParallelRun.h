#pragma once

#include <QStringList>

class JobHost;

namespace cli {

// A job run on several office processes at once: yanhe-cli starts itself
// again as up to `jobs` workers with the same command line, each with its own
// office process and a share of the files (every jobs-th file, so that big
// files that sit together are spread). What the workers report reaches `host`
// in list order, exactly as a run on one office process would write it: a
// file's lines come once every file before it is done. A worker that dies
// costs the file it was working on (one failure line) and nothing more: a new
// worker takes the files after it. `arguments` is the command line after the
// executable's name. The exit code is a run on one office process's.
int runParallel(JobHost& host, const QStringList& files, int jobs, const QStringList& arguments);

} // namespace cli
