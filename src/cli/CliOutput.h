#pragma once

#include "jobs/StopSignals.h"

#include <QString>
#include <QTextStream>
#include <optional>

class AppFolders;

// yanhe-cli's streams: lines of the log box on stdout, the status line and
// usage errors on stderr.
namespace cli {

constexpr int kUsageError = 2;

QTextStream& out();
QTextStream& err();
// One line on stderr, led by "yanhe-cli: "; the usage error's exit code.
int usageError(const QString& message);
// Start-up as the window's: working folders, the journal's day folder, the
// carried files; nothing, and the reason on stderr, when it fails.
std::optional<QString> startUp(const AppFolders& folders);

using jobs::catchStopSignals;
using jobs::stopSignal;

} // namespace cli
