#include "Dispatch.h"

#include "app/RuntimeError.h"
#include "office/Watchdog.h"

namespace comseam {

bool holdsObject(const QVariant& value)
{
    return value.canConvert<ObjectPtr>() && value.value<ObjectPtr>() != nullptr;
}

ObjectPtr object(const QVariant& value)
{
    if (!holdsObject(value))
        throw RuntimeError(RuntimeError::ObjectNotSet, RuntimeError::nameOf(RuntimeError::ObjectNotSet));
    return value.value<ObjectPtr>();
}

#ifndef Q_OS_WIN
namespace {
class NoCom final : public Runtime
{
public:
    bool isRegistered(const QString&) override { return false; }
    ObjectPtr create(const QString& progId) override
    {
        throw RuntimeError(RuntimeError::CannotCreateObject,
                           RuntimeError::nameOf(RuntimeError::CannotCreateObject), progId);
    }
    ObjectPtr attach(const QString&) override { return nullptr; }
    ObjectPtr getObject(const QString& moniker) override
    {
        throw RuntimeError(RuntimeError::CannotCreateObject,
                           RuntimeError::nameOf(RuntimeError::CannotCreateObject), moniker);
    }
    qint64 serverProcess(const ObjectPtr&) override { return 0; }
    std::optional<qint64> cpuTime(qint64 pid) override { return Watchdog::systemCpuTime(pid); }
    void endProcess(qint64 pid) override { Watchdog::systemEnd(pid); }
};
} // namespace

std::unique_ptr<Runtime> Runtime::create()
{
    return std::make_unique<NoCom>();
}
#endif

} // namespace comseam
