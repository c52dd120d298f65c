#include "StopSignals.h"

#include <QtGlobal>
#include <atomic>
#include <csignal>

namespace jobs {

namespace {
std::atomic<int> stopSignalCaught{0};

void onStopSignal(int signal)
{
    stopSignalCaught = signal;
}
} // namespace

void catchStopSignals(bool terminate)
{
#ifdef Q_OS_UNIX
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Once caught, the signal's own effect is back: a second Ctrl-C ends the process.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    if (terminate)
        ::sigaction(SIGTERM, &action, nullptr);
#else
    std::signal(SIGINT, onStopSignal);
    if (terminate)
        std::signal(SIGTERM, onStopSignal);
#endif
}

int stopSignal()
{
    return stopSignalCaught;
}

} // namespace jobs
