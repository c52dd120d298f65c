#pragma once

#include <QStringList>

namespace cli {

// yanhe-cli undo [RUN] [--list] [--keep-runs N] [--keep-mib N]: undoes the last
// run (or RUN) from its backups, lists the runs kept, or sets how many are kept.
int undo(const QStringList& arguments);

} // namespace cli
