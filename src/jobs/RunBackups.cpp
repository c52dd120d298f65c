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
    qputenv(BackupStore::kRunVariable, m_store->keeping() ? m_store->runId().toLatin1() : QByteArray());
}

RunBackups::~RunBackups()
{
    FileKeeper::setCurrent(nullptr);
    qunsetenv(BackupStore::kRunVariable);
    m_store->finish();
}

QStringList RunBackups::describe(const JobRow& row, const JobInputs& inputs)
{
    QStringList described;
    for (const QString& control : row.controls) {
        if (inputs.ticked(control))
            described << control;
        else if (const QString text = inputs.text(control); !text.isEmpty())
            described << control + QLatin1Char('=') + text;
    }
    return described;
}

} // namespace jobs
