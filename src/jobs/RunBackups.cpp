#include "RunBackups.h"

#include "app/Job.h"
#include "backup/BackupStore.h"

namespace jobs {

RunBackups::RunBackups(const AppFolders& folders, const JobRow& row, const QStringList& inputs,
                       const QStringList& files)
    : m_store(BackupStore::begin(folders, row.command, inputs, row.drivesOffice ? files : QStringList{},
                                 m_notice))
{
    FileKeeper::setCurrent(m_store.get());
    // The workers are told the run's folder itself: theirs may be another application folder.
    qputenv(BackupStore::kRunVariable, m_store->keeping() ? m_store->folder().toLocal8Bit() : QByteArray());
}

RunBackups::~RunBackups()
{
    FileKeeper::setCurrent(nullptr);
    qunsetenv(BackupStore::kRunVariable);
    m_store->finish();
}

} // namespace jobs
