// A local automation server for the Windows tests: it stands in for Word, Excel and WPS, answers the
// members of their object models that the jobs call over IDispatch, writes every call with its
// arguments to a record file, and keeps its documents as real files through the lossless engine.
//   yanhe-com-test-server.exe --kind word|sheet --clsid <class> --record <file> [--fail <text>]
//                             [--hang <text>] [--running <document>] [-Embedding]
// --fail: Documents.Open / Workbooks.Open of a path containing the text raises DISP_E_EXCEPTION with a
// description; --hang: such an Open never answers. --running: registers itself as the running
// instance (GetActiveObject) with that document open, and runs until it is ended.
#include "app/RuntimeError.h"
#include "office/ooxml/SheetEngine.h"
#include "office/ooxml/WordEngine.h"

#include <QFile>
#include <QMap>
#include <QStringList>
#include <concepts>
#include <functional>
#include <map>
#include <objbase.h>
#include <oleauto.h>
#include <type_traits>
#include <windows.h>

namespace {

QMap<QString, QString> g_options; // by name without the leading "--"
DWORD g_mainThread = 0;
LONG g_objects = 0;

void record(const QString& line)
{
    QFile file(g_options.value("record"));
    if (file.open(QIODevice::Append))
        file.write((line + '\n').toUtf8());
}

// Member and named-argument names, one id each, shared by every object.
QStringList g_names;
DISPID idOf(const QString& name)
{
    for (qsizetype i = 0; i < g_names.size(); ++i) {
        if (g_names[i].compare(name, Qt::CaseInsensitive) == 0)
            return DISPID(i + 1);
    }
    g_names << name;
    return DISPID(g_names.size());
}
QString nameOf(DISPID id)
{
    if (id == DISPID_VALUE)
        return QString();
    return id == DISPID_NEWENUM ? QString("_NewEnum") : g_names.value(id - 1, QString("#%1").arg(id));
}

BSTR bstr(const QString& value)
{
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(value.utf16()), UINT(value.size()));
}

// An argument converted as the member takes it; a missing one is a type mismatch too.
VARIANT converted(const VARIANT* v, VARTYPE type)
{
    VARIANT result{};
    if (!v || FAILED(VariantChangeType(&result, const_cast<VARIANT*>(v), 0, type)))
        throw RuntimeError(RuntimeError::TypeMismatch, "argument missing or of another type");
    return result;
}
QString text(const VARIANT* v)
{
    VARIANT value = converted(v, VT_BSTR);
    const QString result = QString::fromWCharArray(value.bstrVal, int(SysStringLen(value.bstrVal)));
    VariantClear(&value);
    return result;
}
int number(const VARIANT* v)
{
    return converted(v, VT_I4).lVal;
}

// An argument as the record shows it: its type and value.
QString shown(const VARIANT& v)
{
    switch (v.vt) {
    case VT_EMPTY:
        return "Empty";
    case VT_BSTR:
        return "BSTR:\"" + text(&v) + "\"";
    case VT_I2:
    case VT_I4:
        return QString("I%1:%2").arg(v.vt == VT_I2 ? 2 : 4).arg(number(&v));
    case VT_BOOL:
        return v.boolVal ? "BOOL:True" : "BOOL:False";
    case VT_DISPATCH:
        return "Object";
    default:
        return QString("VT%1").arg(v.vt);
    }
}

// The arguments of one call: positional in order (a property's new value last), named by name.
struct Call
{
    bool put = false;
    std::vector<const VARIANT*> positional;
    std::map<QString, const VARIANT*> named;

    const VARIANT* arg(size_t index, const char* name = nullptr) const
    {
        for (const auto& [key, value] : named) {
            if (name && key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return value;
        }
        return index < positional.size() ? positional[index] : nullptr;
    }
};

class Object;
// A member's result: nothing, a text, a number, a truth value, or a newly made object (or Nothing; the
// result holds its only reference).
template <typename T = VARIANT> VARIANT variant(T value = {})
{
    VARIANT v{};
    if constexpr (std::is_same_v<T, VARIANT>) {
        return value;
    } else if constexpr (std::is_same_v<T, QString>) {
        v.vt = VT_BSTR;
        v.bstrVal = bstr(value);
    } else if constexpr (std::is_same_v<T, int>) {
        v.vt = VT_I4;
        v.lVal = value;
    } else if constexpr (std::is_same_v<T, bool>) {
        v.vt = VT_BOOL;
        v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    } else {
        v.vt = VT_DISPATCH;
        v.pdispVal = static_cast<Object*>(value);
    }
    return v;
}

// A member: a function of the call (or of nothing) giving a value, an object or nothing.
struct Handler
{
    template <typename F>
    requires std::invocable<F, const Call&> || std::invocable<F> Handler(F f)
        : run([f](const Call& call) {
            const auto result = [&] {
                if constexpr (std::invocable<F, const Call&>)
                    return f(call);
                else
                    return f();
            };
            if constexpr (std::is_void_v<decltype(result())>) {
                result();
                return variant();
            } else {
                return variant(result());
            }
        })
    {}
    std::function<VARIANT(const Call&)> run;
};
using Members = std::map<QString, Handler>;

// IUnknown over one interface; released through Release() only.
template <typename Interface> class Counted : public Interface
{
public:
    virtual ~Counted() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (riid != IID_IUnknown && riid != __uuidof(Interface)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&m_references)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&m_references);
        if (left == 0)
            delete this;
        return ULONG(left);
    }

private:
    LONG m_references = 1;
};

// An automation object whose members are given as functions; it records every call.
class Object final : public Counted<IDispatch>
{
public:
    Object(QString className, Members members)
        : m_className(std::move(className))
        , m_members(std::move(members))
    {
        InterlockedIncrement(&g_objects);
    }
    ~Object() override
    {
        // The last object released: the client is done with this instance (Quit or not).
        if (InterlockedDecrement(&g_objects) == 0)
            PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* requested, UINT count, LCID,
                                            DISPID* ids) override
    {
        for (UINT i = 0; i < count; ++i)
            ids[i] = idOf(QString::fromWCharArray(requested[i]));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT*) override
    {
        const QString member = nameOf(id);
        Call call;
        call.put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
        // rgvarg holds the named arguments first, then the positional ones, all in reverse.
        const UINT namedCount = parameters ? parameters->cNamedArgs : 0;
        QStringList arguments;
        for (UINT i = parameters ? parameters->cArgs : 0; i-- > 0;) {
            const VARIANT* value = &parameters->rgvarg[i];
            const DISPID name = i < namedCount ? parameters->rgdispidNamedArgs[i] : DISPID_PROPERTYPUT;
            if (name == DISPID_PROPERTYPUT)
                call.positional.push_back(value);
            else
                call.named[nameOf(name)] = value;
            arguments << (name == DISPID_PROPERTYPUT ? "" : nameOf(name) + ":=") + shown(*value);
        }
        record(m_className + '.' + (member.isEmpty() ? QString("[default]") : member) +
               (call.put ? " =" : "") + '(' + arguments.join(", ") + ')');
        try {
            VARIANT value = handler(member).run(call);
            if (result)
                *result = value;
            else
                VariantClear(&value);
            return S_OK;
        } catch (const RuntimeError& error) {
            record(
                QString("  raised %1: %2 (%3)").arg(error.number()).arg(error.description(), error.detail()));
            if (error.number() == RuntimeError::NotSupported)
                return DISP_E_MEMBERNOTFOUND;
            if (exception) {
                *exception = EXCEPINFO{};
                exception->wCode = 1004;
                exception->bstrSource = bstr("yanhe-com-test-server");
                exception->bstrDescription = bstr(error.description());
            }
            return DISP_E_EXCEPTION;
        }
    }

private:
    const Handler& handler(const QString& member) const
    {
        for (const auto& [name, handler] : m_members) {
            if (name.compare(member, Qt::CaseInsensitive) == 0)
                return handler;
        }
        throw RuntimeError(RuntimeError::NotSupported, m_className + " has no member " + member);
    }

    QString m_className;
    Members m_members;
};

Object* object(const char* className, Members members)
{
    return new Object(className, std::move(members));
}
// A member that gives a new object with these members each time it is read.
Handler child(const char* className, Members members)
{
    return [=] { return object(className, members); };
}

// A collection's items, each made when the client reaches it.
using Items = std::vector<std::function<Object*()>>;
template <typename T, typename F> Items each(const QList<T>& list, F make)
{
    Items items;
    for (const T& item : list)
        items.push_back([=] { return make(item); });
    return items;
}

// _NewEnum's enumerator: an IEnumVARIANT only, as the office programs give.
class Enumerator final : public Counted<IEnumVARIANT>
{
public:
    explicit Enumerator(Items items)
        : m_items(std::move(items))
    {}
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override
    {
        ULONG n = 0;
        for (; n < count && m_next < m_items.size(); ++n)
            out[n] = variant(m_items[m_next++]());
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    // The jobs only walk a collection once, from its start.
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    Items m_items;
    size_t m_next = 0;
};

Object* collection(const char* className, Items items, Members members = {})
{
    members.emplace("_NewEnum", [=] {
        VARIANT v{};
        v.vt = VT_UNKNOWN;
        v.punkVal = new Enumerator(items);
        return v;
    });
    return object(className, std::move(members));
}

// The path of Documents.Open or Workbooks.Open, after --hang and --fail had their say.
QString opening(const Call& call, const char* name)
{
    const QString path = text(call.arg(0, name));
    const auto matches = [&](const char* option) {
        const QString pattern = g_options.value(option);
        return !pattern.isEmpty() && path.contains(pattern, Qt::CaseInsensitive);
    };
    if (matches("hang")) {
        record("  not answering");
        Sleep(INFINITE);
    }
    if (matches("fail"))
        throw RuntimeError(RuntimeError::ApplicationDefined,
                           QString("测试服务器：%1已损坏，无法打开")
                               .arg(g_options.value("kind") == "sheet" ? "表格" : "文档"));
    return path;
}

// --- Word ---------------------------------------------------------------------------

Object* rangeOf(word::RangePtr range)
{
    const auto execute = [=](const Call& call) {
        if (call.named.empty())
            return range->findExecute(text(call.arg(0)));
        if (number(call.arg(10, "Replace")) != word::kReplaceAll)
            throw RuntimeError(RuntimeError::InvalidCall, "Replace must be 2");
        range->replaceAll(text(call.arg(0, "FindText")), text(call.arg(9, "ReplaceWith")));
        return true;
    };
    return object("Range",
                  {{"Find", child("Find", {{"Execute", execute}})}, {"Delete", [=] { range->Delete(); }}});
}

Object* sectionOf(word::SectionPtr section)
{
    const auto part = [=](bool headers) {
        return [=](const Call& call) {
            const qint16 index = qint16(number(call.arg(0)));
            const word::HeaderFooterPtr hf = headers ? section->headers(index) : section->footers(index);
            return object("HeaderFooter", {{"Range", [=] { return rangeOf(hf->range()); }},
                                           {"Shapes", [] { return collection("Shapes", {}); }}});
        };
    };
    return object("Section", {{"Headers", part(true)}, {"Footers", part(false)}});
}

// The selection in the view SeekView chose: replace-all, typing, the font and alignment of what
// is typed, the page field, the sections it lies in.
Object* selectionOf(word::SelectionPtr selection)
{
    const auto replaceAll = [=](const Call& c) {
        selection->findReplaceAll(text(c.arg(0, "FindText")), text(c.arg(9, "ReplaceWith")));
        return true;
    };
    const auto fieldsAdd = [=](const Call& c) { selection->fieldsAdd(qint16(number(c.arg(1, "Type")))); };
    return object(
        "Selection",
        {{"Find", child("Find", {{"Execute", replaceAll}})},
         {"TypeText", [=](const Call& c) { selection->typeText(text(c.arg(0, "Text"))); }},
         {"Font",
          child("Font", {{"Name", [=](const Call& c) { selection->setFontName(text(c.arg(0))); }},
                         {"Size", [=](const Call& c) { selection->setFontSize(text(c.arg(0))); }},
                         {"Bold", [=](const Call& c) { selection->setFontBold(number(c.arg(0)) != 0); }}})},
         {"ParagraphFormat",
          child("ParagraphFormat",
                {{"Alignment", [=](const Call& c) { selection->setParagraphAlignment(number(c.arg(0))); }}})},
         {"Range", child("Range", {})},
         {"Fields", child("Fields", {{"Add", fieldsAdd}})},
         {"Sections", [=] { return collection("Sections", each(selection->sections(), sectionOf)); }}});
}

Object* documentOf(word::DocumentPtr document)
{
    // The main text story alone: no document the tests give has text boxes.
    const Items stories = {[] { return object("Range", {{"StoryType", [] { return 1; }}}); }};
    return object(
        "Document",
        {{"FullName", [=] { return document->fullName(); }},
         {"Content", [=] { return rangeOf(document->content()); }},
         {"StoryRanges", [=] { return collection("StoryRanges", stories); }},
         {"Sections", [=] { return collection("Sections", each(document->sections(), sectionOf)); }},
         {"Save", [=] { document->save(); }},
         {"Close", [=] { document->close(); }}});
}

// --- Excel ----------------------------------------------------------------------------

Object* worksheetOf(sheet::WorksheetPtr sheet)
{
    const auto count = [](int n) { return object("Range", {{"Count", [=] { return n; }}}); };
    const auto cells = [=](const Call& call) {
        if (call.arg(0) && call.arg(1)) {
            const int row = number(call.arg(0));
            const int column = number(call.arg(1));
            return object("Cell", {{"", [=](const Call& c) {
                                        if (!c.put)
                                            return variant(sheet->cell(row, column));
                                        sheet->setCell(row, column, text(c.arg(0)));
                                        return variant();
                                    }}});
        }
        const auto find = [=](const Call& c) {
            return sheet->cellsFind(text(c.arg(0, "What"))) ? variant(object("Range", {})) : variant();
        };
        const auto replace = [=](const Call& c) {
            sheet->cellsReplace(text(c.arg(0, "What")), text(c.arg(1, "Replacement")));
            return true;
        };
        return object("Cells", {{"Find", find}, {"Replace", replace}});
    };
    return object("Worksheet", {{"Name", [=] { return sheet->name(); }},
                                {"ProtectContents", [=] { return sheet->protectContents(); }},
                                {"Rows", [=] { return count(sheet->rowsCount()); }},
                                {"Columns", [=] { return count(sheet->columnsCount()); }},
                                {"Cells", cells}});
}

Object* workbookOf(sheet::WorkbookPtr book)
{
    return object("Workbook",
                  {{"FullName", [=] { return book->fullName(); }},
                   {"Worksheets",
                    [=](const Call& c) {
                        if (c.arg(0))
                            return worksheetOf(book->worksheets(number(c.arg(0))));
                        return object("Worksheets", {{"Count", [=] { return book->worksheetsCount(); }}});
                    }},
                   {"Sheets",
                    [=](const Call& c) {
                        const int index = number(c.arg(0));
                        return object("Sheet", {{"Activate", [=] { book->sheetsActivate(index); }}});
                    }},
                   {"Close", [=](const Call& c) {
                        const VARIANT* save = c.arg(0, "SaveChanges");
                        book->close(save && number(save) != 0);
                    }}});
}

// The application: version 16.0 (and Excel's name as its default member, which the probes read),
// Visible and DisplayAlerts taken, Quit, and its documents or workbooks kept by the lossless engine.
Object* newApplication()
{
    Members members = {
        {"Version", [] { return QString("16.0"); }}, {"Visible", [] {}}, {"DisplayAlerts", [] {}}};
    if (g_options.value("kind") == "sheet") {
        std::shared_ptr<sheet::Application> app = ooxml::routedSpreadsheet(nullptr, [](const QString&) {});
        members.emplace("", [] { return QString("Microsoft Excel"); });
        members.emplace("Quit", [=] { app->quit(); });
        const auto open = [=](const Call& call) {
            return workbookOf(app->workbooksOpen(opening(call, "Filename")));
        };
        members.emplace("Workbooks", child("Workbooks", {{"Open", open}}));
    } else {
        std::shared_ptr<word::Application> app = ooxml::routedWordProcessor(nullptr, [](const QString&) {});
        members.emplace("Quit", [=] { app->quit(); });
        members.emplace("Documents", [=] {
            const auto open = [=](const Call& call) {
                return documentOf(app->documentsOpen(opening(call, "FileName")));
            };
            // The instance of --running has its one document open.
            Items items;
            if (!g_options.value("running").isEmpty())
                items.push_back([] {
                    return object("Document", {{"FullName", [] { return g_options.value("running"); }}});
                });
            return collection("Documents", items, {{"Open", open}});
        });
        const auto seekView = [=](const Call& c) { app->setSeekView(qint16(number(c.arg(0)))); };
        members.emplace(
            "ActiveWindow",
            child("Window",
                  {{"ActivePane", child("Pane", {{"View", child("View", {{"SeekView", seekView}})}})}}));
        members.emplace("Selection", [=] { return selectionOf(app->selection()); });
    }
    return object("Application", members);
}

// Made once and never released: it lasts as long as the process.
class Factory final : public Counted<IClassFactory>
{
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        Object* application = newApplication();
        record(QString("created %1 in process %2").arg(g_options.value("kind")).arg(GetCurrentProcessId()));
        const HRESULT hr = application->QueryInterface(riid, out);
        application->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

} // namespace

int main()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; i + 1 < argc; ++i) {
        const QString name = QString::fromWCharArray(argv[i]);
        if (name.startsWith("--"))
            g_options[name.mid(2)] = QString::fromWCharArray(argv[++i]);
    }
    LocalFree(argv);
    CLSID clsid{};
    CLSIDFromString(reinterpret_cast<LPCOLESTR>(g_options.value("clsid").utf16()), &clsid);
    g_mainThread = GetCurrentThreadId();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    DWORD registration = 0;
    DWORD active = 0;
    if (!g_options.value("running").isEmpty()) {
        // The instance a user has open: found by GetActiveObject, ended only by its process's end.
        RegisterActiveObject(newApplication(), clsid, ACTIVEOBJECT_STRONG, &active);
        record(QString("running %1 in process %2").arg(g_options.value("kind")).arg(GetCurrentProcessId()));
    } else {
        CoRegisterClassObject(clsid, new Factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &registration);
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (registration)
        CoRevokeClassObject(registration);
    record(QString("server %1 ends").arg(GetCurrentProcessId()));
    CoUninitialize();
    return 0;
}
