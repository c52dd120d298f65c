// The dispatch seam over IDispatch: the only COM code of the tool. Windows only.
#include "Dispatch.h"
#include "app/RuntimeError.h"
#include "app/FailureText.h"
#include "office/Watchdog.h"

#include <QScopeGuard>
#include <map>
#include <objbase.h>
#include <oleauto.h>
#include <set>
#include <windows.h>
// After windows.h:
#include <tlhelp32.h>

namespace comseam {

namespace {

void ensureCom()
{
    thread_local const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)initialised;
}

BSTR toBstr(const QString& text)
{
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.utf16()), static_cast<UINT>(text.size()));
}

// A failed call as the tool reports it: the office program's own message (in
// the user's language) or a short phrase; the member and the HRESULT go into
// the detail, for the journal.
[[noreturn]] void fail(HRESULT hr, const QString& what, const EXCEPINFO* info = nullptr)
{
    const QString detail =
        QStringLiteral("%1 (HRESULT 0x%2)").arg(what).arg(quint32(hr), 8, 16, QLatin1Char('0'));
    // REGDB_E_CLASSNOTREG and friends: the component cannot be created.
    if (hr == REGDB_E_CLASSNOTREG || hr == CO_E_CLASSSTRING || hr == CO_E_SERVER_EXEC_FAILURE)
        throw RuntimeError(RuntimeError::CannotCreateObject,
                           RuntimeError::nameOf(RuntimeError::CannotCreateObject), detail);
    if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND)
        throw RuntimeError(RuntimeError::NotSupported, RuntimeError::nameOf(RuntimeError::NotSupported),
                           detail);
    // The server process is gone (it crashed, or the watchdog ended it).
    if (hr == RPC_E_DISCONNECTED || hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
        hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED) || hr == RPC_E_SERVERFAULT)
        throw RuntimeError(RuntimeError::Automation, FailureText::stopped(), detail);
    const int number = info && info->wCode ? int(info->wCode) : int(RuntimeError::Automation);
    const QString own =
        info && info->bstrDescription ? QString::fromWCharArray(info->bstrDescription).trimmed() : QString();
    throw RuntimeError(number, own.isEmpty() ? FailureText::officeFailed() : own, detail);
}

class WinObject;

VARIANT toVariant(const QVariant& value);
QVariant fromVariant(VARIANT& value);

class WinObject final : public Object
{
public:
    explicit WinObject(IDispatch* dispatch)
        : m_dispatch(dispatch)
    {}
    ~WinObject() override
    {
        if (m_dispatch)
            m_dispatch->Release();
    }
    IDispatch* dispatch() const { return m_dispatch; }

    QVariant invoke(const QString& member, const QVariantList& arguments, const QList<Named>& named) override
    {
        return call(member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, arguments, named);
    }
    QVariant get(const QString& member, const QVariantList& arguments) override
    {
        return call(member, DISPATCH_PROPERTYGET | DISPATCH_METHOD, arguments, {});
    }
    void put(const QString& member, const QVariant& value, const QVariantList& arguments) override
    {
        QVariantList all = arguments;
        all.append(value);
        call(member, DISPATCH_PROPERTYPUT, all, {}, true);
    }
    QList<ObjectPtr> items() override
    {
        QList<ObjectPtr> result;
        // _NewEnum gives an IUnknown that is an IEnumVARIANT and, in Word and Excel, no IDispatch.
        VARIANT enumerator;
        VariantInit(&enumerator);
        rawCall(QString(), DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, {}, false, DISPID_NEWENUM,
                &enumerator);
        IUnknown* unknown = nullptr;
        if ((enumerator.vt == VT_UNKNOWN || enumerator.vt == VT_DISPATCH) && enumerator.punkVal)
            enumerator.punkVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown));
        VariantClear(&enumerator);
        if (!unknown)
            return result;
        IEnumVARIANT* each = nullptr;
        const HRESULT hr = unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&each));
        unknown->Release();
        if (FAILED(hr) || !each)
            return result;
        VARIANT item;
        VariantInit(&item);
        while (each->Next(1, &item, nullptr) == S_OK) {
            const QVariant value = fromVariant(item);
            result.append(holdsObject(value) ? value.value<ObjectPtr>() : nullptr);
            VariantClear(&item);
        }
        each->Release();
        return result;
    }

private:
    QVariant call(const QString& member, WORD flags, const QVariantList& arguments, const QList<Named>& named,
                  bool isPut = false)
    {
        VARIANT result;
        VariantInit(&result);
        rawCall(member, flags, arguments, named, isPut, DISPID_VALUE, &result);
        const QVariant converted = fromVariant(result);
        VariantClear(&result);
        return converted;
    }

    // The call itself; the result stays a VARIANT, which the caller clears.
    void rawCall(const QString& member, WORD flags, const QVariantList& arguments, const QList<Named>& named,
                 bool isPut, DISPID fixed, VARIANT* result)
    {
        ensureCom();
        // Names: the member, then the named arguments.
        std::vector<BSTR> names;
        names.push_back(toBstr(member));
        for (const Named& argument : named)
            names.push_back(toBstr(argument.name));
        std::vector<DISPID> ids(names.size(), DISPID_UNKNOWN);
        if (!member.isEmpty() || !named.isEmpty()) {
            const HRESULT hr = m_dispatch->GetIDsOfNames(
                IID_NULL, names.data(), static_cast<UINT>(names.size()), LOCALE_USER_DEFAULT, ids.data());
            for (BSTR name : names)
                SysFreeString(name);
            if (FAILED(hr))
                fail(hr, QStringLiteral("GetIDsOfNames ") + member);
        } else {
            for (BSTR name : names)
                SysFreeString(name);
        }
        const DISPID id = member.isEmpty() ? fixed : ids[0];

        // Arguments go in reverse order: named ones first (reversed), then positional.
        std::vector<VARIANT> values;
        for (qsizetype i = named.size() - 1; i >= 0; --i)
            values.push_back(toVariant(named.at(i).value));
        for (qsizetype i = arguments.size() - 1; i >= 0; --i)
            values.push_back(toVariant(arguments.at(i)));
        std::vector<DISPID> namedIds;
        for (qsizetype i = named.size() - 1; i >= 0; --i)
            namedIds.push_back(ids[static_cast<size_t>(i) + 1]);
        DISPID putId = DISPID_PROPERTYPUT;
        DISPPARAMS parameters{values.data(), isPut ? &putId : namedIds.data(),
                              static_cast<UINT>(values.size()),
                              static_cast<UINT>(isPut ? 1 : namedIds.size())};
        EXCEPINFO exception{};
        const HRESULT hr = m_dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters, result,
                                              &exception, nullptr);
        for (VARIANT& value : values)
            VariantClear(&value);
        if (FAILED(hr)) {
            VariantClear(result);
            const auto freed = qScopeGuard([&] {
                SysFreeString(exception.bstrSource);
                SysFreeString(exception.bstrDescription);
                SysFreeString(exception.bstrHelpFile);
            });
            fail(hr, QStringLiteral("Invoke ") + member, hr == DISP_E_EXCEPTION ? &exception : nullptr);
        }
    }

    IDispatch* m_dispatch;
};

VARIANT toVariant(const QVariant& value)
{
    VARIANT v;
    VariantInit(&v);
    if (!value.isValid())
        return v;
    switch (value.metaType().id()) {
    case QMetaType::Short:
        v.vt = VT_I2;
        v.iVal = value.value<qint16>();
        break;
    case QMetaType::Int:
        v.vt = VT_I4;
        v.lVal = value.toInt();
        break;
    case QMetaType::Bool:
        v.vt = VT_BOOL;
        v.boolVal = value.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case QMetaType::Double:
        v.vt = VT_R8;
        v.dblVal = value.toDouble();
        break;
    default:
        if (holdsObject(value)) {
            auto* object = static_cast<WinObject*>(value.value<ObjectPtr>().get());
            v.vt = VT_DISPATCH;
            v.pdispVal = object->dispatch();
            v.pdispVal->AddRef();
        } else {
            v.vt = VT_BSTR;
            v.bstrVal = toBstr(value.toString());
        }
    }
    return v;
}

QVariant fromVariant(VARIANT& value)
{
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return {};
    case VT_DISPATCH:
        if (!value.pdispVal)
            return {};
        value.pdispVal->AddRef();
        return QVariant::fromValue<ObjectPtr>(std::make_shared<WinObject>(value.pdispVal));
    case VT_UNKNOWN: {
        IDispatch* dispatch = nullptr;
        if (value.punkVal &&
            SUCCEEDED(value.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
            return QVariant::fromValue<ObjectPtr>(std::make_shared<WinObject>(dispatch));
        return {};
    }
    case VT_BOOL:
        return value.boolVal != VARIANT_FALSE;
    case VT_BSTR:
        return QString::fromWCharArray(value.bstrVal, static_cast<int>(SysStringLen(value.bstrVal)));
    default: {
        VARIANT text;
        VariantInit(&text);
        if (SUCCEEDED(VariantChangeType(&text, &value, 0, VT_BSTR))) {
            const QString converted =
                QString::fromWCharArray(text.bstrVal, static_cast<int>(SysStringLen(text.bstrVal)));
            VariantClear(&text);
            return converted;
        }
        return {};
    }
    }
}

// The executable's file name that serves a class as a local server
// (LocalServer32, e.g. WINWORD.EXE), upper case; empty when not known.
QString serverImage(const CLSID& clsid)
{
    LPOLESTR text = nullptr;
    if (FAILED(StringFromCLSID(clsid, &text)))
        return {};
    const QString key = QStringLiteral("CLSID\\%1\\LocalServer32").arg(QString::fromWCharArray(text));
    CoTaskMemFree(text);
    wchar_t value[1024] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CLASSES_ROOT, reinterpret_cast<LPCWSTR>(key.utf16()), nullptr, RRF_RT_REG_SZ,
                     nullptr, value, &size) != ERROR_SUCCESS)
        return {};
    QString command = QString::fromWCharArray(value).trimmed();
    if (command.startsWith(QLatin1Char('"')))
        command = command.mid(1, command.indexOf(QLatin1Char('"'), 1) - 1);
    else if (const qsizetype blank = command.indexOf(QLatin1Char(' ')); blank > 0)
        command = command.left(blank);
    return command.mid(command.lastIndexOf(QLatin1Char('\\')) + 1).toUpper();
}

// The processes running an executable (file name, upper case).
std::set<qint64> processesOf(const QString& image)
{
    std::set<qint64> found;
    if (image.isEmpty())
        return found;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (QString::fromWCharArray(entry.szExeFile).toUpper() == image)
            found.insert(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

class WinRuntime final : public Runtime
{
public:
    bool isRegistered(const QString& progId) override
    {
        ensureCom();
        CLSID clsid;
        return SUCCEEDED(CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(progId.utf16()), &clsid));
    }
    ObjectPtr create(const QString& progId) override
    {
        ensureCom();
        CLSID clsid;
        HRESULT hr = CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(progId.utf16()), &clsid);
        if (FAILED(hr))
            fail(REGDB_E_CLASSNOTREG, QStringLiteral("create ") + progId);
        // The process that serves the new instance is the one of the server's
        // executable that was not there before: only that one may be ended.
        const QString image = serverImage(clsid);
        const std::set<qint64> before = processesOf(image);
        IDispatch* dispatch = nullptr;
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&dispatch));
        if (FAILED(hr))
            fail(REGDB_E_CLASSNOTREG, QStringLiteral("create ") + progId);
        const ObjectPtr instance = std::make_shared<WinObject>(dispatch);
        std::set<qint64> started;
        for (const qint64 pid : processesOf(image)) {
            if (!before.count(pid))
                started.insert(pid);
        }
        if (started.size() == 1)
            m_servers[instance.get()] = *started.begin();
        return instance;
    }
    qint64 serverProcess(const ObjectPtr& instance) override
    {
        const auto it = m_servers.find(instance.get());
        return it == m_servers.end() ? 0 : it->second;
    }
    std::optional<qint64> cpuTime(qint64 pid) override { return Watchdog::systemCpuTime(pid); }
    void endProcess(qint64 pid) override { Watchdog::systemEnd(pid); }
    ObjectPtr attach(const QString& progId) override
    {
        ensureCom();
        CLSID clsid;
        IUnknown* unknown = nullptr;
        if (FAILED(CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(progId.utf16()), &clsid)) ||
            FAILED(GetActiveObject(clsid, nullptr, &unknown)) || !unknown)
            return nullptr;
        IDispatch* dispatch = nullptr;
        unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
        unknown->Release();
        return dispatch ? std::make_shared<WinObject>(dispatch) : nullptr;
    }
    ObjectPtr getObject(const QString& moniker) override
    {
        ensureCom();
        IDispatch* dispatch = nullptr;
        const HRESULT hr = CoGetObject(reinterpret_cast<LPCWSTR>(moniker.utf16()), nullptr, IID_IDispatch,
                                       reinterpret_cast<void**>(&dispatch));
        if (FAILED(hr) || !dispatch)
            fail(hr, QStringLiteral("GetObject ") + moniker);
        return std::make_shared<WinObject>(dispatch);
    }

private:
    std::map<const Object*, qint64> m_servers;
};

} // namespace

std::unique_ptr<Runtime> Runtime::create()
{
    return std::make_unique<WinRuntime>();
}

} // namespace comseam
