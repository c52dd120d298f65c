#pragma once

#include "app/Batch.h"

#include <functional>

class JobHost;

// Deletes the ticked files for good, from the last row to the first.
namespace BatchDelete {

struct Inputs
{
    bool unlocked = false; // 勾选解锁后可删除
};

// Nothing unless unlocked. Every ticked row gets one line in the log
// box and the journal: a deleted file " 已删除文件", and its row goes; a file
// that a plain listing does not see (gone, a folder, hidden, system) or that
// is refused gets a failure line saying why, and its row stays. Failures are
// the ticked rows left.
Batch::Result DeleteFiles(JobHost& host, const std::function<Inputs()>& read);

// Why a plain listing does not see path as a file it may delete; empty when it does.
QString whyNotDeleted(const QString& path);

} // namespace BatchDelete
