#pragma once

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QList>
#include <optional>

// Writes a zip from entries of other zips copied as they are stored: local
// header, data and data descriptor byte for byte, the central directory record
// as it was with only its offset moved. A package's unchanged parts keep every
// byte this way, which a zip library adding them anew does not promise (it
// writes its own extra fields, flags and times).
namespace ooxml::zipcopy {

struct Record
{
    QByteArray central; // the central directory record, name, extra field and comment included
    QByteArray name;
    qint64 localOffset = 0;
    qint64 compressedSize = 0;
    quint16 flags = 0;
};

struct Directory
{
    QList<Record> records; // in the central directory's order
    QByteArray comment;
};

// The central directory of the zip in file; nothing when it is not a plain
// single-disk zip below 4 GiB (Zip64, split archives, a trailer that does not
// add up): such a package is written by the zip library instead.
std::optional<Directory> readDirectory(QIODevice& file);

struct Piece
{
    QIODevice* from = nullptr;
    const Record* record = nullptr;
};

// Writes the pieces in order into target (truncated) with a central directory
// of their records and comment. False, with why, when a source entry is not
// where or what its record says, or the result would need Zip64.
bool write(const QString& target, const QList<Piece>& pieces, const QByteArray& comment, QString& why);

} // namespace ooxml::zipcopy
