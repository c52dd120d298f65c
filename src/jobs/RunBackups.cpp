#include "RunBackups.h"

#include "app/Job.h"
#include "app/RuntimeError.h"
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

QStringList RunBackups::describe(const JobRow& row, const JobInputs& inputs)
{
    QStringList described;
    // A control is a box that is ticked or one with a text: the window refuses the question that does not
    // fit.
    for (const QString& control : row.controls) {
        try {
            if (inputs.ticked(control))
                described << control;
            continue;
        } catch (const RuntimeError&) {
        }
        try {
            if (const QString text = inputs.text(control); !text.isEmpty())
                described << control + QLatin1Char('=') + text;
        } catch (const RuntimeError&) {
        }
    }
    return described;
}

} // namespace jobs
