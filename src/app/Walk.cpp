#include "Walk.h"

#include "JobHost.h"

namespace Walk {

bool tickedRows(JobHost& host, Direction direction,
                const std::function<void(int row, const QString& path)>& visit)
{
    const int rows = host.rowCount();
    const bool forward = direction == Direction::FirstToLast;
    const auto rowAt = [&](int i) { return forward ? i : rows - 1 - i; };
    // Rows may have gone meanwhile (a collection or removal during a yield).
    const auto ticked = [&](int row) { return row < host.rowCount() && host.rowChecked(row); };
    for (int i = 0; i < rows; ++i) {
        const int row = rowAt(i);
        if (!ticked(row))
            continue;
        if (host.stopRequested()) {
            int left = 0;
            for (int j = i; j < rows; ++j)
                left += ticked(rowAt(j)) ? 1 : 0;
            host.reportStopped(left);
            return false;
        }
        host.rowReached(row);
        visit(row, host.rowText(row));
    }
    return true;
}

int countTicked(const JobHost& host, const std::function<void(int count)>& counted)
{
    int total = 0;
    const int rows = host.rowCount();
    for (int row = 0; row < rows; ++row) {
        if (host.rowChecked(row)) {
            ++total;
            if (counted)
                counted(total);
        }
    }
    return total;
}

} // namespace Walk
