#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>

// The seam between the tool and COM late binding: an object, a member name,
// positional and named arguments, property get and put, and enumeration.
// Everything above it (the Word, Excel and WPS engines, the running-instance
// and process services) is plain C++ built and tested everywhere; only the
// implementation over IDispatch is Windows-only.
//
// Argument types travel as Qt types: qint16 is a 16-bit integer (VT_I2), int
// a 32-bit one (VT_I4), bool a VARIANT_BOOL, QString a BSTR, an ObjectPtr an
// IDispatch. An empty QVariant is VT_EMPTY (Nothing for a result).
namespace comseam {

class Object;
using ObjectPtr = std::shared_ptr<Object>;

struct Named
{
    QString name;
    QVariant value;
};

class Object
{
public:
    virtual ~Object() = default;
    // A method call (DISPATCH_METHOD).
    virtual QVariant invoke(const QString& member, const QVariantList& arguments = {},
                            const QList<Named>& named = {}) = 0;
    // A property read; an empty member reads the default value.
    virtual QVariant get(const QString& member, const QVariantList& arguments = {}) = 0;
    // A property write; an empty member writes the default value.
    virtual void put(const QString& member, const QVariant& value, const QVariantList& arguments = {}) = 0;
    // The items of a collection (_NewEnum).
    virtual QList<ObjectPtr> items() = 0;
};

class Runtime
{
public:
    virtual ~Runtime() = default;
    virtual bool isRegistered(const QString& progId) = 0;
    // A new instance; RuntimeError 429 when it cannot be created.
    virtual ObjectPtr create(const QString& progId) = 0;
    // The running instance, or null.
    virtual ObjectPtr attach(const QString& progId) = 0;
    // GetObject(moniker), e.g. "winmgmts:".
    virtual ObjectPtr getObject(const QString& moniker) = 0;

    // The process that serves an instance create() made, when create() started
    // it; 0 otherwise. Only such a process is ever ended.
    virtual qint64 serverProcess(const ObjectPtr& instance) = 0;
    // The CPU time a process has used, in milliseconds; nothing when unknown.
    virtual std::optional<qint64> cpuTime(qint64 pid) = 0;
    // Ends a process at once.
    virtual void endProcess(qint64 pid) = 0;

    // The platform's: IDispatch on Windows; none elsewhere.
    static std::unique_ptr<Runtime> create();
};

// The object a result holds; throws RuntimeError 91 when it holds none.
ObjectPtr object(const QVariant& value);
bool holdsObject(const QVariant& value);

} // namespace comseam

Q_DECLARE_METATYPE(comseam::ObjectPtr)
