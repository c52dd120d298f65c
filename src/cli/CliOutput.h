#pragma once

#include "jobs/StopSignals.h"

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

using jobs::catchStopSignals;
using jobs::stopSignal;

} // namespace cli
