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
thread_local const std::atomic_bool* t_ended = nullptr;

#ifdef Q_OS_WIN
void* currentThreadClock()
{
    HANDLE handle = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &handle, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    return handle;
}
void releaseThreadClock(void* clock)
{
    if (clock)
        CloseHandle(static_cast<HANDLE>(clock));
}
std::optional<qint64> cpuMsOf(void* clock)
{
    FILETIME created, exited, kernel, user;
    if (!clock || !GetThreadTimes(static_cast<HANDLE>(clock), &created, &exited, &kernel, &user))
        return std::nullopt;
    const auto ticks = [](const FILETIME& time) {
        return (qint64(time.dwHighDateTime) << 32) | qint64(time.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 10000;
}
#else
void* currentThreadClock()
{
    clockid_t clock;
    if (pthread_getcpuclockid(pthread_self(), &clock) != 0)
        return nullptr;
    return new clockid_t(clock);
}
void releaseThreadClock(void* clock)
{
    delete static_cast<clockid_t*>(clock);
}
std::optional<qint64> cpuMsOf(void* clock)
{
    timespec spent{};
    if (!clock || clock_gettime(*static_cast<clockid_t*>(clock), &spent) != 0)
        return std::nullopt;
    return qint64(spent.tv_sec) * 1000 + spent.tv_nsec / 1000000;
}
#endif

// The watchdog watches "processes"; the bound watches one call, named by this.
constexpr qint64 kCall = 1;

} // namespace

WorkBound::WorkBound(int timeoutMs)
    : m_timeoutMs(timeoutMs)
    , m_watchdog({[this](qint64) { return threadCpuMs(); }, [this](qint64) { m_ended = true; }})
{}

WorkBound::~WorkBound() = default;

std::optional<qint64> WorkBound::threadCpuMs() const
{
    return cpuMsOf(m_thread.load());
}

WorkBound::Depth::Depth(WorkBound& owner)
    : bound(owner)
    , outer(t_current)
{
    ++bound.m_depth;
    bound.m_ended = false;
    bound.m_thread = currentThreadClock();
    t_current = &bound;
    t_ended = &bound.m_ended;
    bound.m_watchdog.arm(kCall, bound.m_timeoutMs);
}

WorkBound::Depth::~Depth()
{
    bound.m_watchdog.disarm();
    releaseThreadClock(bound.m_thread.exchange(nullptr));
    t_current = outer;
    t_ended = outer ? &outer->m_ended : nullptr;
    --bound.m_depth;
}

void WorkBound::checkpoint()
{
    if (t_ended && t_ended->load(std::memory_order_relaxed))
        throw refusal::overran(t_current ? t_current->m_timeoutMs : 0);
}

} // namespace ooxml
