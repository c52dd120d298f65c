#pragma once

#include <QByteArray>
#include <QDateTime>
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

// A part of an Office package. A part with a relationship type (rel: "header", "worksheet", "image" ...) gets
// its content type and, under id when it has one, a relationship from the package's main part; a part named
// like a URL is an external target only.
struct Part
{
    QString name;
    QByteArray xml;
    QByteArray rel = {};
    QByteArray id = {};
};
// The first part is the main one (word/document.xml, xl/workbook.xml); parts without an XML declaration get
// one.
void writePackage(const QString& path, const QList<Part>& parts, const QStringList& stored = {});

extern const QByteArray kWordNamespaces;
// A .docx of body (w:body's content) and stories ("header1", "footer1", "settings" -> the root's content),
// each related under its name, a picture kept uncompressed under rIdImage, and more parts.
void writeDocx(const QString& path, const QByteArray& body,
               const QList<QPair<QString, QByteArray>>& stories = {}, const QList<Part>& more = {});

// A text box, floating or in line with the text, as Word writes one: the drawing, and (vml) its copy for
// older readers.
QByteArray textBox(const QByteArray& text, bool floating, bool vml = true);

// A file's bytes and time: equal when nothing wrote the file.
struct Snapshot
{
    QByteArray bytes;
    QDateTime modified;
    static Snapshot of(const QString& path);
    bool operator==(const Snapshot& other) const = default;
};

} // namespace ZipFiles
