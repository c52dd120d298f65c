#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

// Zip packages for the tests: written from parts, read back entry by entry.
namespace ZipFiles {

using Parts = QList<QPair<QString, QByteArray>>;

// Writes the parts in this order; names in stored lists the entries kept uncompressed.
void write(const QString& path, const Parts& parts, const QStringList& stored = {});
QStringList names(const QString& path);
QMap<QString, QByteArray> read(const QString& path);
// An entry's bytes as stored in the zip (compressed), and its compression method.
QByteArray raw(const QString& path, const QString& name, int* method = nullptr);

} // namespace ZipFiles
