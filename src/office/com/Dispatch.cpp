#include "Dispatch.h"

#include "app/RuntimeError.h"

namespace comseam {

bool holdsObject(const QVariant& value)
{
    return value.canConvert<ObjectPtr>() && value.value<ObjectPtr>() != nullptr;
}

ObjectPtr object(const QVariant& value)
{
    if (!holdsObject(value))
        throw RuntimeError(91, QStringLiteral("对象变量或 With 块变量未设置"));
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
        throw RuntimeError(429, QStringLiteral("ActiveX 部件不能创建对象：") + progId);
    }
    ObjectPtr attach(const QString&) override { return nullptr; }
    ObjectPtr getObject(const QString& moniker) override
    {
        throw RuntimeError(429, QStringLiteral("ActiveX 部件不能创建对象：") + moniker);
    }
};
} // namespace

std::unique_ptr<Runtime> Runtime::create()
{
    return std::make_unique<NoCom>();
}
#endif

} // namespace comseam
