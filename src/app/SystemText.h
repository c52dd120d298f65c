#pragma once

#include <QByteArray>
#include <QString>

// Text that the tool writes to files (journal, version file) is in the system's
// 8-bit code page: the ANSI code page on Windows, the locale's encoding (UTF-8)
// elsewhere. No byte-order mark.
namespace SystemText {

QByteArray encode(const QString& text);
QString decode(const QByteArray& bytes);

// Writes text + CR LF to path, replacing (Truncate) or extending (Append) the file.
// The file is opened and closed within the call. Throws RuntimeError on failure.
enum class Mode { Truncate, Append };
void writeLine(const QString& path, const QString& text, Mode mode);

// The last line of a text file, without its line end; empty when the file is
// missing or empty.
QString lastLine(const QString& path);

} // namespace SystemText
