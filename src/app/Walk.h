#pragma once

#include <QString>
#include <functional>

class JobHost;

// How every job consumes the collected-file list: the row count read once, the
// rows visited in one direction, a row taken only when it is ticked at the
// moment it is reached, and its text (the file's full path) read then.
namespace Walk {

enum class Direction {
    FirstToLast,
    // For jobs that remove rows as they go: removing the current row leaves
    // the numbers of the rows still to be visited as they were.
    LastToFirst,
};

// Before each ticked row the walk asks whether the user wants to stop; if so it
// reports how many ticked rows are left and gives false.
bool tickedRows(JobHost& host, Direction direction,
                const std::function<void(int row, const QString& path)>& visit);

// The ticked rows, counted from the first; after each one counted, counted(n).
int countTicked(const JobHost& host, const std::function<void(int count)>& counted = {});

} // namespace Walk
