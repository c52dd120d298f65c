#pragma once

#include "NewName.h"
#include "app/Batch.h"

#include <functional>

class JobHost;

// Renames the ticked files within their folders: each new name made by
// GetNewName from the name rule, read again for every file.
namespace BatchRename {

// For each ticked row in list order: a box with the file name, then the new
// name; a name taken by a file that a plain listing sees gets the " 文件存在"
// box; otherwise the file is renamed without ever replacing an entry, and gets
// one line in the log box and the journal. The folder is collected again at
// the end. Failures are the files that kept their names.
Batch::Result RenameFiles(JobHost& host, const std::function<filejobs::NameRule()>& read);

// The status text of a renamed file's line, after its old path.
QString renamedText(const QString& newName);

} // namespace BatchRename
