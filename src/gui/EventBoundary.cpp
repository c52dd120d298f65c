#include "EventBoundary.h"

#include "jobs/JobTable.h"

#include <QDebug>

void EventBoundary::run(const std::function<void()>& handler) const
{
    if (m_host) {
        JobTable::guarded(*m_host, handler);
        return;
    }
    // Only while the window is being built, before there is a log box.
    try {
        handler();
    } catch (const std::exception& error) {
        qWarning("%s", error.what());
    } catch (...) {
        qWarning("unknown exception in an event handler");
    }
}
