#pragma once

#include <functional>

class JobHost;

// Where the window's event handlers end: whatever a handler throws becomes one
// line in the log box and the journal, and the event loop goes on. Every slot
// of the window runs behind it.
class EventBoundary final
{
public:
    // The host that reports; set once the window's controls exist.
    void setHost(JobHost* host) { m_host = host; }

    void run(const std::function<void()>& handler) const;

    // A slot (taking none of its signal's arguments) that runs handler behind the boundary.
    template <class F> auto guard(F handler) const
    {
        return [this, handler] { run(handler); };
    }

private:
    JobHost* m_host = nullptr;
};
