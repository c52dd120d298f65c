#include "Module2.h"

#include "Clock.h"
#include "RuntimeError.h"
#include "collect/FileAttributes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Module2 {

namespace {

// A listing that includes folders finds anything but hidden or system entries.
bool folderListingFindsSomething(const QString& path)
{
    const int bits = FileAttributes::of(path);
    return bits >= 0 && FileAttributes::listingReturns(bits, FileAttributes::Directory);
}

void ensureFolder(const QString& path, QStringList& created)
{
    if (folderListingFindsSomething(path))
        return;
    if (!QDir().mkdir(path)) {
        // Another run of the tool, starting at the same moment, made it.
        if (folderListingFindsSomething(path))
            return;
        throw RuntimeError::pathFileAccess(path, QStringLiteral("无法创建文件夹"));
    }
    created << path;
}

} // namespace

QList<CarriedResource> carriedResources()
{
    return {
        {101, QStringLiteral("toconfigure/mysql.ini")},
    };
}

StartUpResult StartUp(const AppFolders& folders, const Clock& clock)
{
    StartUpResult result;
    for (const QString& folder : {folders.toconfigure(), folders.download(), folders.journal()})
        ensureFolder(folder, result.created);

    result.journalDayFolder = folders.journalDayFolder(clock.now().date());
    ensureFolder(result.journalDayFolder, result.created);

    for (const CarriedResource& resource : carriedResources()) {
        const QString path = AppFolders::join(folders.applicationFolder(), resource.relativePath);
        if (FileAttributes::plainListingFindsFile(path))
            continue;
        WriteResourceFile(resource.id, QStringLiteral("CUSTOM"), path);
        result.created << path;
    }
    return result;
}

void WriteResourceFile(qint16 id, const QString& type, const QString& path)
{
    QFile resource(QStringLiteral(":/%1/%2").arg(type).arg(id));
    if (!resource.open(QIODevice::ReadOnly))
        throw RuntimeError(RuntimeError::ResourceNotFound,
                           QStringLiteral("找不到标识为 '%1' 的资源").arg(id));
    const QByteArray bytes = resource.readAll();

    QFile file(path);
    // A hidden or system file of that name is replaced, not added to.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw RuntimeError::pathFileAccess(path, file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw RuntimeError::pathFileAccess(path, file.errorString());
}

} // namespace Module2
