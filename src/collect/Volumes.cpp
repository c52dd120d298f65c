#include "Volumes.h"

#include <QDir>
#include <QStorageInfo>

namespace Volumes {

namespace {

QString withSeparator(QString path)
{
    path = QDir::toNativeSeparators(path);
    if (!path.endsWith(QDir::separator()))
        path += QDir::separator();
    return path;
}

bool userPicks(const QStorageInfo& info)
{
#ifdef Q_OS_WIN
    Q_UNUSED(info);
    return true;
#else
    const QString root = info.rootPath();
    if (root == QLatin1String("/"))
        return true;
    for (const char* system : {"/proc", "/sys", "/dev", "/run", "/boot", "/snap", "/var/lib", "/tmp"}) {
        const QString prefix = QLatin1String(system);
        if (root == prefix || root.startsWith(prefix + QLatin1Char('/')))
            return root.startsWith(QLatin1String("/run/media/"));
    }
    // Real devices and network shares; not tmpfs, overlays and the like.
    const QByteArray device = info.device();
    return device.startsWith("/dev/") || device.startsWith("//") || device.contains(":/");
#endif
}

} // namespace

QList<Volume> list()
{
    QList<Volume> volumes;
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        if (!info.isValid() || !userPicks(info))
            continue;
        Volume volume{withSeparator(info.rootPath()), {}};
        volume.label = volume.rootPath;
        if (!info.name().isEmpty() && info.name() != info.rootPath())
            volume.label += QStringLiteral(" [%1]").arg(info.name());
        volumes.append(volume);
    }
    std::sort(volumes.begin(), volumes.end(), [](const Volume& a, const Volume& b) {
        return a.rootPath.compare(b.rootPath, Qt::CaseInsensitive) < 0;
    });
    if (volumes.isEmpty())
        volumes.append({withSeparator(QDir::rootPath()), withSeparator(QDir::rootPath())});
    return volumes;
}

QString rootOf(const QString& path, const QList<Volume>& volumes)
{
    const QString native = withSeparator(path);
    QString best;
    for (const Volume& volume : volumes) {
        if (native.startsWith(volume.rootPath, Qt::CaseInsensitive) && volume.rootPath.size() > best.size())
            best = volume.rootPath;
    }
    return best;
}

bool isReady(const QString& rootPath)
{
    const QStorageInfo info(rootPath);
    return info.isValid() && info.isReady() && QDir(rootPath).isReadable();
}

} // namespace Volumes
