#pragma once

#include "office/Watchdog.h"

#include <atomic>
#include <type_traits>

namespace ooxml {

// Bounds the lossless engine's work on a file as the office engines' calls are
// bounded: a call that is still running after the time-out while its thread
// uses CPU time is working on a big file and gets further rounds, up to
// Watchdog::kBusyRounds; one that spends a round without CPU time is hung.
// Either way the call is ended at its next checkpoint with overran(), before
// anything is written, so the file keeps its bytes. Only work that passes
// checkpoints can be ended: the walks over a story's paragraphs (find,
// replace, emptying a story) do; opening and saving a package do not, and are
// bounded by its size limits alone.
class WorkBound final
{
public:
    explicit WorkBound(int timeoutMs = Watchdog::defaultTimeoutMs());
    ~WorkBound();
    WorkBound(const WorkBound&) = delete;
    WorkBound& operator=(const WorkBound&) = delete;

    template <class F> auto call(F&& f) -> decltype(f())
    {
        if (m_depth > 0)
            return f();
        const Depth depth(*this);
        return f();
    }

    // Inside call(): throws overran() once the call has been ended. Cheap
    // enough for every paragraph.
    static void checkpoint();

    int timeoutMs() const { return m_timeoutMs; }

private:
    struct Depth
    {
        explicit Depth(WorkBound& owner);
        ~Depth();
        WorkBound& bound;
        WorkBound* outer;
    };
    std::optional<qint64> threadCpuMs(qint64 call) const;

    int m_timeoutMs;
    int m_depth = 0;
    std::atomic<qint64> m_endedCall{-1}; // the call the watchdog ended last
    std::atomic<qint64> m_thread{0};     // the working thread's CPU clock
    std::atomic<qint64> m_call{0};       // numbers the calls the watchdog is armed for
    Watchdog m_watchdog;
};

} // namespace ooxml
