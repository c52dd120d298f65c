#include "BatchDelete.h"

#include "FileOps.h"
#include "app/JobHost.h"
#include "collect/FileAttributes.h"

namespace BatchDelete {

Batch::Result DeleteFiles(JobHost& host, bool unlocked)
{
    Batch::Result result;
    if (!unlocked)
        return result;
    Batch::Pattern pattern;
    pattern.progress = false;
    pattern.closing = false;
    Batch batch(host, pattern);
    result.stopped = !Walk::tickedRows(host, Walk::Direction::LastToFirst, [&](int row, const QString& path) {
        ++result.total;
        if (!FileAttributes::plainListingFindsFile(path)) {
            ++result.failures;
            return;
        }
        if (!batch.attempt(path, Batch::Stage::Delete, [&] { FileOps::deleteFile(path); })) {
            ++result.failures;
            return;
        }
        batch.report(path, QStringLiteral(" 已删除文件"));
        host.removeRow(row);
    });
    return result;
}

} // namespace BatchDelete
