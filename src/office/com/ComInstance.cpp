#include "ComInstance.h"

#include "app/RuntimeError.h"
#include "app/FailureText.h"

namespace comseam {

namespace {

// A seam object of an instance: every call bounded by the instance.
class BoundedObject final : public Object
{
public:
    BoundedObject(std::weak_ptr<Instance> instance, int generation, ObjectPtr inner)
        : m_instance(std::move(instance))
        , m_generation(generation)
        , m_inner(std::move(inner))
    {}
    const ObjectPtr& inner() const { return m_inner; }

    QVariant invoke(const QString& member, const QVariantList& arguments, const QList<Named>& named) override
    {
        QVariant result;
        const auto instance = live();
        instance->call(m_generation,
                       [&] { result = m_inner->invoke(member, plain(arguments), plain(named)); });
        return instance->wrap(result);
    }
    QVariant get(const QString& member, const QVariantList& arguments) override
    {
        QVariant result;
        const auto instance = live();
        instance->call(m_generation, [&] { result = m_inner->get(member, plain(arguments)); });
        return instance->wrap(result);
    }
    void put(const QString& member, const QVariant& value, const QVariantList& arguments) override
    {
        live()->call(m_generation, [&] { m_inner->put(member, plain(value), plain(arguments)); });
    }
    QList<ObjectPtr> items() override
    {
        QList<ObjectPtr> result;
        const auto instance = live();
        instance->call(m_generation, [&] { result = m_inner->items(); });
        for (ObjectPtr& item : result)
            item = instance->wrap(item);
        return result;
    }

private:
    std::shared_ptr<Instance> live() const
    {
        const std::shared_ptr<Instance> instance = m_instance.lock();
        if (!instance)
            throw RuntimeError(RuntimeError::Automation, FailureText::stopped(),
                               QStringLiteral("the office program was released"));
        return instance;
    }
    static QVariant plain(const QVariant& value)
    {
        return holdsObject(value) ? QVariant::fromValue(unwrapped(value.value<ObjectPtr>())) : value;
    }
    static QVariantList plain(const QVariantList& values)
    {
        QVariantList result;
        for (const QVariant& value : values)
            result.append(plain(value));
        return result;
    }
    static QList<Named> plain(const QList<Named>& values)
    {
        QList<Named> result;
        for (const Named& value : values)
            result.append({value.name, plain(value.value)});
        return result;
    }

    std::weak_ptr<Instance> m_instance;
    int m_generation;
    ObjectPtr m_inner;
};

} // namespace

std::shared_ptr<Instance> Instance::create(Runtime& runtime, const QString& progId, int timeoutMs)
{
    auto instance = std::make_shared<Instance>(runtime, progId, timeoutMs);
    instance->application();
    return instance;
}

Instance::Instance(Runtime& runtime, QString progId, int timeoutMs)
    : m_runtime(runtime)
    , m_progId(std::move(progId))
    , m_timeoutMs(timeoutMs)
    , m_watchdog({[this](qint64 pid) { return m_runtime.cpuTime(pid); },
                  [this](qint64 pid) { m_runtime.endProcess(pid); }})
{}

ObjectPtr Instance::application()
{
    if (!m_application) {
        m_application = m_runtime.create(m_progId);
        m_pid = m_runtime.serverProcess(m_application);
        ++m_generation;
    }
    return wrap(m_application);
}

void Instance::call(int generation, const std::function<void()>& f)
{
    if (!m_application || generation != m_generation)
        throw RuntimeError(RuntimeError::Automation, FailureText::stopped(),
                           QStringLiteral("%1 has ended").arg(m_progId));
    m_watchdog.arm(m_pid, m_timeoutMs);
    QString detail;
    try {
        f();
        if (!m_watchdog.disarm())
            return;
    } catch (const RuntimeError& error) {
        if (!m_watchdog.disarm())
            throw;
        detail = error.detail().isEmpty() ? error.description() : error.detail();
    } catch (const std::exception& error) {
        if (!m_watchdog.disarm())
            throw RuntimeError(RuntimeError::Automation, FailureText::officeFailed(),
                               QString::fromLocal8Bit(error.what()));
        detail = QString::fromLocal8Bit(error.what());
    } catch (...) {
        if (!m_watchdog.disarm())
            throw RuntimeError(RuntimeError::Automation, FailureText::officeFailed(),
                               QStringLiteral("unknown exception"));
    }
    // Its process was ended for not answering: this instance is gone.
    m_application.reset();
    throw RuntimeError(RuntimeError::Automation, FailureText::notResponding(),
                       QStringLiteral("%1 (process %2) did not answer within %3 ms%4")
                           .arg(m_progId)
                           .arg(m_pid)
                           .arg(m_timeoutMs)
                           .arg(detail.isEmpty() ? QString() : QStringLiteral(": ") + detail));
}

QVariant Instance::wrap(const QVariant& value)
{
    return holdsObject(value) ? QVariant::fromValue(wrap(value.value<ObjectPtr>())) : value;
}

ObjectPtr Instance::wrap(const ObjectPtr& object)
{
    if (!object || dynamic_cast<BoundedObject*>(object.get()))
        return object;
    return std::make_shared<BoundedObject>(weak_from_this(), m_generation, object);
}

ObjectPtr unwrapped(const ObjectPtr& object)
{
    const auto* bounded = dynamic_cast<const BoundedObject*>(object.get());
    return bounded ? bounded->inner() : object;
}

} // namespace comseam
