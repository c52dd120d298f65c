#pragma once

#include "Dispatch.h"
#include "office/Watchdog.h"

#include <QString>
#include <memory>

namespace comseam {

// An office program instance that a job created over the seam, with every
// call into it bounded: a call that does not return in time ends the process
// that serves the instance (only one the instance started itself, never the
// user's), fails, and the next use creates a fresh instance. Every object
// reached from the instance is bounded the same way; an object of an instance
// that ended fails at once.
class Instance final : public std::enable_shared_from_this<Instance>
{
public:
    // Creates the instance now (RuntimeError CannotCreateObject when it cannot be).
    static std::shared_ptr<Instance> create(Runtime& runtime, const QString& progId, int timeoutMs);
    Instance(Runtime& runtime, QString progId, int timeoutMs);

    // The application object, created afresh when the last one ended.
    ObjectPtr application();
    // The application object while it lives; null once it ended.
    ObjectPtr current() const { return m_application; }
    // Forgets the application object (after Quit).
    void release() { m_application.reset(); }

    // Runs f, a call into the instance of the given generation, bounded.
    void call(int generation, const std::function<void()>& f);
    // Seam objects in a result become bounded objects of this instance.
    QVariant wrap(const QVariant& value);
    ObjectPtr wrap(const ObjectPtr& object);

private:
    Runtime& m_runtime;
    QString m_progId;
    int m_timeoutMs;
    ObjectPtr m_application; // the seam's own object
    qint64 m_pid = 0;
    int m_generation = 0;
    Watchdog m_watchdog;
};

// The seam object behind a bounded one (for arguments that pass objects).
ObjectPtr unwrapped(const ObjectPtr& object);

} // namespace comseam
