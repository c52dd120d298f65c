#include "Walk.h"

#include "JobHost.h"

namespace Walk {

void tickedRows(JobHost& host, Direction direction,
                const std::function<void(int row, const QString& path)>& visit)
{
    const int rows = host.rowCount();
    const bool forward = direction == Direction::FirstToLast;
    for (int i = 0; i < rows; ++i) {
        const int row = forward ? i : rows - 1 - i;
        // Rows may have gone meanwhile (a collection or removal during a yield).
        if (row >= host.rowCount() || !host.rowChecked(row))
            continue;
        visit(row, host.rowText(row));
    }
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
