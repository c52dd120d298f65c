#include "FileKeeper.h"

#include <atomic>

namespace {

std::atomic<FileKeeper*> s_current{nullptr};

} // namespace

FileKeeper* FileKeeper::current()
{
    return s_current.load();
}

void FileKeeper::setCurrent(FileKeeper* keeper)
{
    s_current.store(keeper);
}
