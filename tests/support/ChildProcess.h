#pragma once

#include <QProcess>
#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

// A process the test starts ends with the test however the test ends: a test
// function that runs out of time aborts the test without running destructors.
inline void endsWithTheTest(QProcess& process)
{
#ifdef Q_OS_LINUX
    const pid_t test = ::getpid();
    process.setChildProcessModifier([test] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != test) // the test ended before the child was set up
            ::_exit(127);
    });
#else
    Q_UNUSED(process)
#endif
}
