#pragma once

#include <QtGlobal>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// Ends an office process when a call into it does not return in time. A
// process that keeps using CPU time is working (a big file), not hung: it gets
// further rounds of the time-out, up to kBusyRounds in all, before it is ended.
class Watchdog final
{
public:
    struct Process
    {
        // CPU time the process has used so far, in milliseconds; nothing when unknown.
        std::function<std::optional<qint64>(qint64 pid)> cpuTime;
        // Ends the process at once.
        std::function<void(qint64 pid)> end;
    };

    // How many rounds of the time-out a busy process gets at most.
    static constexpr int kBusyRounds = 10;

    explicit Watchdog(Process process);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Watches pid from now on for milliseconds; a pid of 0 is not watched.
    void arm(qint64 pid, int milliseconds);
    // Stops watching. True when the process was ended for overrunning since arm().
    bool disarm();

    // The time-out of one call into an office program: $YANHE_OFFICE_TIMEOUT_MS, else 60 s.
    static int defaultTimeoutMs();

    // The CPU time of a process of this machine (Linux: /proc), for Process::cpuTime.
    static std::optional<qint64> systemCpuTime(qint64 pid);
    // Ends a process of this machine at once (SIGKILL; TerminateProcess on Windows).
    static void systemEnd(qint64 pid);

private:
    void run();

    Process m_process;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    qint64 m_pid = 0;
    std::chrono::milliseconds m_round{0};
    std::chrono::steady_clock::time_point m_deadline{};
    std::optional<qint64> m_cpuAtRound;
    int m_rounds = 0;
    bool m_armed = false;
    bool m_fired = false;
    bool m_stop = false;
    std::thread m_thread;
};
