#pragma once

#include "backup/RunManifest.h"

#include <QList>
#include <QString>

class AppFolders;
class JobHost;

// Undoing a run from its backups, for yanhe-cli and the window alike.
namespace jobs {

// The runs that can be undone, oldest first.
QList<RunManifest> undoableRuns(const AppFolders& folders);

// When a run began, its job and how many files it changed, as the user reads it.
QString runSummary(const RunManifest& run);

struct UndoResult
{
    int restored = 0; // files given back their bytes or their names
    int left = 0;     // files left as they are, each named in a line
};

// Gives every file run changed its bytes (and modification time) or its name
// back, last change first: a file only while it holds exactly what the run
// wrote, a name only when the old one is free. Each file gets a line in the
// log and the journal. The undo is a run of its own, whose backups allow
// undoing it in turn.
UndoResult undoRun(JobHost& host, const AppFolders& folders, const RunManifest& run);

} // namespace jobs
