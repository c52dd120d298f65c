#pragma once

#include <QFileInfo>

// File attributes as Windows numbers them, and the folder-listing rule that
// goes with them. On Windows they are the file system's own attributes; on other
// platforms: hidden = a name starting with "."; system = an entry that is neither
// a regular file nor a folder (device, socket, pipe, dangling link);
// read-only = no write permission for the owner.
namespace FileAttributes {

enum Bit : int {
    Normal = 0,
    ReadOnly = 1,
    Hidden = 2,
    System = 4,
    Directory = 16,
};

// Attribute bits of an existing entry; -1 when it cannot be read (gone, no access).
int of(const QString& path);

// The listing rule: entries without the hidden, system or folder attribute are
// always returned; one with any of those only when the mask holds it.
// Read-only never excludes.
constexpr bool listingReturns(int attributes, int mask)
{
    constexpr int selective = Hidden | System | Directory;
    return (attributes & selective & ~mask) == 0;
}

// True when a plain listing (mask 0) of path finds a file there.
bool plainListingFindsFile(const QString& path);

struct Entry
{
    QString name;
    int attributes;
    // The name's bytes are not text of the system's encoding (a name unpacked
    // from an archive of another system): no path made of it reaches the file.
    // name then shows each byte that is not text as \xNN.
    bool nameUnusable = false;
};

// The bytes of a file name as text, each byte that is not valid UTF-8 shown as \xNN.
QString readableName(const QByteArray& bytes);

// The entries of folder that a listing with mask returns, without "." and "..",
// in name order as NTFS keeps it (upper-cased names compared code unit by code
// unit), so that every machine collects in the same order. Empty when the
// folder cannot be read.
QList<Entry> list(const QString& folder, int mask);

} // namespace FileAttributes
