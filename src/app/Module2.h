#pragma once

#include "AppFolders.h"

#include <QString>
#include <QStringList>

class Clock;

// Start-up: the working folders, the journal's day folder and the carried
// resources. Showing the main window is left to the executable, so that this
// stays free of widgets.
namespace Module2 {

struct StartUpResult
{
    QString journalDayFolder; // fixed for the life of the process
    QStringList created;      // folders and files made by this start, in order
};

// Creates each missing working folder (toconfigure, download, Journal, in that
// order) and today's day folder under Journal, then writes every carried resource
// that a plain listing does not find. Throws RuntimeError on the first failure;
// what was made before it stays.
StartUpResult StartUp(const AppFolders& folders, const Clock& clock);

// Writes the bytes of the carried resource (type, id) as the whole content of path.
void WriteResourceFile(qint16 id, const QString& type, const QString& path);

// The carried resources: id and where each goes, relative to the application folder.
struct CarriedResource
{
    qint16 id;
    QString relativePath;
};
QList<CarriedResource> carriedResources();

} // namespace Module2
