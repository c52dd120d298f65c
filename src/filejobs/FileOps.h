#pragma once

#include <QString>

// The file-system steps of the rename and delete jobs. Each decides from the
// entry's attributes and permissions before it acts, so that a run as root or
// as an administrator refuses what the user's own permissions would refuse;
// each throws RuntimeError, in words for the user, when it refuses or fails.
namespace FileOps {

// The folder part of a full path (up to and including its last separator) and
// the file name (the rest).
struct PathParts
{
    QString folder;
    QString name;
};
PathParts split(const QString& path);

// A name the file system accepts for an entry in the same folder: not empty,
// not "." or "..", without a separator or another character the platform
// refuses. Throws otherwise.
void checkName(const QString& name);

// Renames a file within its folder and never replaces anything: a target taken
// by any entry (a hidden or system file, a folder, a link, a file created a
// moment ago) fails with FileAlreadyExists. A folder is not renamed, nor a file
// in a read-only folder.
void renameFile(const QString& from, const QString& to);

// Deletes a file for good: a symbolic link as the link, never its target. A
// folder is never deleted, nor a read-only file or a file in a read-only folder.
void deleteFile(const QString& path);

} // namespace FileOps
