#include "BatchRename.h"

#include "FileOps.h"
#include "NewName.h"
#include "app/FileKeeper.h"
#include "app/JobHost.h"
#include "collect/FileAttributes.h"

namespace BatchRename {

QString renamedText(const QString& newName)
{
    return QStringLiteral(" 已改名为 ") + newName;
}

Batch::Result RenameFiles(JobHost& host, const std::function<filejobs::NameRule()>& read)
{
    Batch::Pattern pattern;
    pattern.progress = false;
    pattern.closing = false;
    Batch batch(host, pattern);
    Batch::Result result;
    result.stopped = !Walk::tickedRows(host, Walk::Direction::FirstToLast, [&](int, const QString& oldPath) {
        ++result.total;
        const FileOps::PathParts parts = FileOps::split(oldPath);
        host.message(parts.name, QString(), JobHost::Icon::None);
        const std::optional<QString> newName = batch.attempt(oldPath, Batch::Stage::Rename, [&] {
            QString name = filejobs::GetNewName(parts.name, read());
            FileOps::checkName(name);
            return name;
        });
        if (!newName) {
            ++result.failures;
            return;
        }
        const QString newPath = parts.folder + *newName;
        if (FileAttributes::plainListingFindsFile(newPath)) {
            host.message(oldPath + QStringLiteral(" 文件存在"), QStringLiteral("系统提示！"),
                         JobHost::Icon::Information);
            ++result.failures;
            return;
        }
        if (!batch.attempt(oldPath, Batch::Stage::Rename, [&] { FileOps::renameFile(oldPath, newPath); })) {
            ++result.failures;
            return;
        }
        if (FileKeeper* keeper = FileKeeper::current())
            keeper->renamed(oldPath, newPath);
        batch.report(oldPath, renamedText(*newName));
    });
    host.recollect();
    return result;
}

} // namespace BatchRename
