#include "Watchdog.h"

#include <QFile>
#include <QStringList>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

Watchdog::Watchdog(Process process)
    : m_process(std::move(process))
    , m_thread([this] { run(); })
{}

Watchdog::~Watchdog()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void Watchdog::arm(qint64 pid, int milliseconds)
{
    const std::optional<qint64> cpu = pid > 0 && m_process.cpuTime ? m_process.cpuTime(pid) : std::nullopt;
    {
        const std::lock_guard lock(m_mutex);
        m_pid = pid;
        m_round = std::chrono::milliseconds(milliseconds);
        m_deadline = std::chrono::steady_clock::now() + m_round;
        m_cpuAtRound = cpu;
        m_rounds = 1;
        m_armed = pid > 0;
        m_fired = false;
    }
    m_wake.notify_all();
}

bool Watchdog::disarm()
{
    const std::lock_guard lock(m_mutex);
    m_armed = false;
    return m_fired;
}

void Watchdog::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (!m_armed) {
            m_wake.wait(lock);
            continue;
        }
        if (m_wake.wait_until(lock, m_deadline) != std::cv_status::timeout || !m_armed ||
            std::chrono::steady_clock::now() < m_deadline)
            continue;
        const qint64 pid = m_pid;
        const std::optional<qint64> before = m_cpuAtRound;
        const auto round = m_round;
        lock.unlock();
        const std::optional<qint64> now = m_process.cpuTime ? m_process.cpuTime(pid) : std::nullopt;
        lock.lock();
        if (!m_armed || m_pid != pid)
            continue; // the call returned meanwhile
        // Busy: a tenth of the round or more spent on the CPU since the last look.
        const bool busy = before && now && (*now - *before) * 10 >= round.count();
        if (busy && m_rounds < kBusyRounds) {
            ++m_rounds;
            m_cpuAtRound = now;
            m_deadline = std::chrono::steady_clock::now() + round;
            continue;
        }
        m_fired = true;
        m_armed = false;
        lock.unlock();
        if (m_process.end)
            m_process.end(pid);
        lock.lock();
    }
}

int Watchdog::defaultTimeoutMs()
{
    bool ok = false;
    const int configured = qEnvironmentVariableIntValue("YANHE_OFFICE_TIMEOUT_MS", &ok);
    return ok && configured > 0 ? configured : 60000;
}

std::optional<qint64> Watchdog::systemCpuTime(qint64 pid)
{
#ifdef Q_OS_WIN
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return std::nullopt;
    FILETIME created, ended, kernel, user;
    const bool ok = GetProcessTimes(process, &created, &ended, &kernel, &user);
    CloseHandle(process);
    if (!ok)
        return std::nullopt;
    const auto ticks = [](const FILETIME& time) {
        return (qint64(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return (ticks(kernel) + ticks(user)) / 10000; // 100 ns units
#else
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = stat.readAll();
    // Fields after the command name in parentheses: state is the first, utime the 12th, stime the 13th.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return std::nullopt;
    static const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    return (fields.at(11).toLongLong() + fields.at(12).toLongLong()) * 1000 / ticksPerSecond;
#endif
}

void Watchdog::systemEnd(qint64 pid)
{
#ifdef Q_OS_WIN
    const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
    if (process) {
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
#else
    ::kill(static_cast<pid_t>(pid), SIGKILL);
#endif
}
