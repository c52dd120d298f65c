#pragma once

#include <QDateTime>

// Where the application reads "now". Tests set a given hour through FixedClock.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;

    // The local wall clock.
    static const Clock& system();
};

class FixedClock final : public Clock
{
public:
    explicit FixedClock(QDateTime at)
        : m_at(std::move(at))
    {}
    QDateTime now() const override { return m_at; }
    void set(QDateTime at) { m_at = std::move(at); }

private:
    QDateTime m_at;
};
