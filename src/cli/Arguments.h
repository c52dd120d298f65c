#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;

// The command line as the process received it. An argument whose bytes are not
// text cannot name a file through Qt (its decoded name reaches no file, or a
// different one); it is kept in its readable form, each such byte as \xNN, and
// remembered, so that a job names it instead of working on another file. On
// Windows every argument is text: the command line as Windows keeps it, once
// the application object exists.
namespace cli {

QStringList readArguments(int argc, char* argv[]);
// Whether the argument came from bytes that are not text.
bool isNotText(const QString& argument);

// One printed line per line the job writes: control characters (a newline in a
// file name) shown as \xNN.
QString oneLine(const QString& line);

// The parser's error after a failed parse(arguments). An unknown option may be a
// file name that begins with "-": the text then says that "--" ends the options.
QString parseErrorText(const QCommandLineParser& parser, const QStringList& arguments);

} // namespace cli
