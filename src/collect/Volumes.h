#pragma once

#include <QString>
#include <QStringList>

// The drives a user picks from: on Windows the drive roots; elsewhere the root
// and the mount points of real devices and removable media, without the
// system's own pseudo file systems.
namespace Volumes {

struct Volume
{
    QString rootPath; // native separators, ends with the separator
    QString label;    // what the drive list shows
};

QList<Volume> list();

// The volume of list() whose root holds path (the longest such root).
QString rootOf(const QString& path, const QList<Volume>& volumes);

// True when the volume can be listed now (medium present, readable).
bool isReady(const QString& rootPath);

} // namespace Volumes
