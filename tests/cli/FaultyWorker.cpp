// Linked only into the tests' build of yanhe-cli: with YANHE_CLI_TEST_KILL_AT_ROW=N
// set, the worker given row N (counted from 1) dies as it begins that row.
#include "jobs/WorkerHost.h"

#include <QtGlobal>
#include <csignal>
#include <cstdlib>

namespace {

[[maybe_unused]] const bool installed = [] {
    const int row = qEnvironmentVariableIntValue("YANHE_CLI_TEST_KILL_AT_ROW") - 1;
    if (row >= 0)
        jobs::WorkerHost::setRowBegunSeam([row](int begun) {
            if (begun == row) {
#ifdef Q_OS_UNIX
                std::raise(SIGKILL);
#else
                std::abort();
#endif
            }
        });
    return true;
}();

} // namespace
