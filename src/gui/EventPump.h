#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

// Lets pending window events (a click, a timer, a repaint) run from inside a
// long loop, at most kLatencyMs late: handling them for every entry of a
// collection would cost a repaint of the window per file.
class EventPump final
{
public:
    static constexpr int kLatencyMs = 10;

    void yield()
    {
        if (m_sinceEvents.isValid() && m_sinceEvents.elapsed() < kLatencyMs)
            return;
        QCoreApplication::processEvents();
        m_sinceEvents.start();
    }

private:
    QElapsedTimer m_sinceEvents;
};
