#pragma once

#include <QString>
#include <QTextStream>

// yanhe-cli's streams: lines of the log box on stdout, the status line and
// usage errors on stderr.
namespace cli {

constexpr int kUsageError = 2;

QTextStream& out();
QTextStream& err();
// One line on stderr, led by "yanhe-cli: "; the usage error's exit code.
int usageError(const QString& message);

// SIGINT and SIGTERM (only SIGINT without terminate) from now on ask the
// running job to stop after the file in hand; a second one ends the process at once.
void catchStopSignals(bool terminate = true);
// The signal that asked to stop, or 0.
int stopSignal();

} // namespace cli
