#include "BatchDelete.h"

#include "FileJobTexts.h"
#include "FileOps.h"
#include "app/JobHost.h"
#include "collect/FileAttributes.h"

namespace BatchDelete {

QString whyNotDeleted(const QString& path)
{
    const int bits = FileAttributes::of(path);
    if (bits < 0)
        return FileJobTexts::missing();
    if (bits & FileAttributes::Directory)
        return FileJobTexts::folder();
    if (bits & FileAttributes::System)
        return FileJobTexts::systemFile();
    if (bits & FileAttributes::Hidden)
        return FileJobTexts::hiddenFile();
    return {};
}

Batch::Result DeleteFiles(JobHost& host, const std::function<Inputs()>& read)
{
    Batch::Result result;
    if (!read().unlocked)
        return result;
    Batch::Pattern pattern;
    pattern.progress = false;
    pattern.closing = false;
    Batch batch(host, pattern);
    result.stopped = !Walk::tickedRows(host, Walk::Direction::LastToFirst, [&](int row, const QString& path) {
        ++result.total;
        if (const QString why = whyNotDeleted(path); !why.isEmpty()) {
            batch.reportFailure(path, Batch::Stage::Delete, RuntimeError(RuntimeError::FileNotFound, why));
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
