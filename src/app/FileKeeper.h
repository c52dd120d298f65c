#pragma once

#include <QString>

// What keeps a file's bytes before a run changes it, so that the run can be
// undone. A run sets one for its process; every save and rename tells it, and
// none of them knows where the bytes go.
class FileKeeper
{
public:
    virtual ~FileKeeper() = default;

    // Before result (a finished file beside target) replaces target: target's
    // bytes are kept, with what result holds. Throws RuntimeError when they
    // cannot be kept: target must then stay as it is. A program that saves in
    // place (Word, Excel) calls it with result = target before its save, and
    // again after it, with what the save wrote.
    virtual void keep(const QString& target, const QString& result) = 0;
    // After file from was renamed to to.
    virtual void renamed(const QString& from, const QString& to) = 0;

    // The keeper of this process's run; null when the run keeps nothing.
    static FileKeeper* current();
    static void setCurrent(FileKeeper* keeper);
};
