#include "WorkBound.h"

#include "Refusal.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <pthread.h>
#include <time.h>
#endif

namespace ooxml {

namespace {

thread_local WorkBound* t_current = nullptr;

// A thread's CPU clock is kept as a plain number (the thread id on Windows,
// the clock id elsewhere), so the watchdog's thread can read it while the call
// ends or the next one starts without anything being freed under it.
#ifdef Q_OS_WIN
qint64 currentThreadClock()
{
    return qint64(GetCurrentThreadId());
}
std::optional<qint64> cpuMsOf(qint64 clock)
{
    if (!clock)
        return std::nullopt;
    const HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, DWORD(clock));
    if (!thread)
        return std::nullopt;
    FILETIME created, exited, kernel, user;
    const bool ok = GetThreadTimes(thread, &created, &exited, &kernel, &user);
    CloseHandle(thread);
    if (!ok)
        return std::nullopt;
    const auto ticks = [](const FILETIME& time) {
        return (qint64(time.dwHighDateTime) << 32) | qint64(time.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 10000;
}
#else
qint64 currentThreadClock()
{
    clockid_t clock;
    if (pthread_getcpuclockid(pthread_self(), &clock) != 0)
        return 0;
    return qint64(clock);
}
std::optional<qint64> cpuMsOf(qint64 clock)
{
    timespec spent{};
    if (!clock || clock_gettime(clockid_t(clock), &spent) != 0)
        return std::nullopt;
    return qint64(spent.tv_sec) * 1000 + spent.tv_nsec / 1000000;
}
#endif

} // namespace

WorkBound::WorkBound(int timeoutMs)
    : m_timeoutMs(timeoutMs)
    , m_watchdog({[this](qint64 call) { return threadCpuMs(call); },
                  [this](qint64 call) {
                      // Recorded by number: a late report of a call that has
                      // returned meanwhile never ends the next one.
                      m_endedCall = call;
                  }})
{}

WorkBound::~WorkBound() = default;

std::optional<qint64> WorkBound::threadCpuMs(qint64 call) const
{
    const qint64 clock = m_thread.load();
    if (call != m_call.load())
        return std::nullopt;
    return cpuMsOf(clock);
}

WorkBound::Depth::Depth(WorkBound& owner)
    : bound(owner)
    , outer(t_current)
{
    ++bound.m_depth;
    bound.m_thread = currentThreadClock();
    t_current = &bound;
    bound.m_watchdog.arm(++bound.m_call, bound.m_timeoutMs);
}

WorkBound::Depth::~Depth()
{
    bound.m_watchdog.disarm();
    // A late report of this call must not end the next one.
    ++bound.m_call;
    t_current = outer;
    --bound.m_depth;
}

void WorkBound::checkpoint()
{
    if (t_current && t_current->m_endedCall.load(std::memory_order_relaxed) == t_current->m_call.load())
        throw refusal::overran(t_current->m_timeoutMs);
}

} // namespace ooxml
