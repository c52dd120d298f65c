#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class AppFolders;
class BackupStore;
struct JobRow;

namespace jobs {

// The backups of one run of a job, for as long as it lives: the run's store
// is the process's keeper and its id goes to the workers the run starts; at
// the end a run that changed nothing leaves no folder.
class RunBackups final
{
public:
    // inputs: what the run was asked, as the manifest keeps it. Only the office
    // jobs' files count towards the bound (a rename copies no bytes).
    RunBackups(const AppFolders& folders, const JobRow& row, const QStringList& inputs,
               const QStringList& files);
    ~RunBackups();
    RunBackups(const RunBackups&) = delete;
    RunBackups& operator=(const RunBackups&) = delete;

    // Why the run keeps nothing (it is larger than the bound); empty when it keeps its files.
    const QString& notice() const { return m_notice; }

private:
    QString m_notice; // before the store, which sets it as it begins
    std::unique_ptr<BackupStore> m_store;
};

} // namespace jobs
