// A local automation server for the Windows tests: it stands in for Word, Excel and
// WPS under their program identifiers, answers the members of their object models
// that the jobs call over IDispatch, writes every call with its arguments to a
// record file, and keeps its documents as real files through the tool's lossless
// engine.
//
//   yanhe-com-test-server.exe --kind word|sheet --record <file> [--fail <text>] [--hang <text>]
//                             [--running <document>] [-Embedding]
// --fail: Documents.Open / Workbooks.Open of a path containing the text raises
//         DISP_E_EXCEPTION with a description; --hang: such an Open never answers.
// --running: registers itself as the running instance (GetActiveObject) with
//         that document listed as open, and runs until it is ended.
#include "app/RuntimeError.h"
#include "office/ooxml/SheetEngine.h"
#include "office/ooxml/WordEngine.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

namespace {

struct Options
{
    QString kind;
    QString record;
    QString fail;
    QString hang;
    QString running;
    CLSID clsid{};
} g_options;

DWORD g_mainThread = 0;
LONG g_objects = 0;

void record(const QString& line)
{
    QFile file(g_options.record);
    if (file.open(QIODevice::Append))
        file.write((line + QLatin1Char('\n')).toUtf8());
}

// Member and named-argument names, one id each, shared by every object.
std::vector<QString>& names()
{
    static std::vector<QString> all;
    return all;
}
DISPID idOf(const QString& name)
{
    auto& all = names();
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].compare(name, Qt::CaseInsensitive) == 0)
            return DISPID(i + 1);
    }
    all.push_back(name);
    return DISPID(all.size());
}
QString nameOf(DISPID id)
{
    if (id == DISPID_VALUE)
        return QString();
    if (id == DISPID_NEWENUM)
        return QStringLiteral("_NewEnum");
    const auto& all = names();
    return id > 0 && size_t(id) <= all.size() ? all[size_t(id) - 1] : QStringLiteral("#%1").arg(id);
}

// An argument as the record shows it: its type and value.
QString shown(const VARIANT& v)
{
    switch (v.vt) {
    case VT_EMPTY:
        return QStringLiteral("Empty");
    case VT_BSTR:
        return QStringLiteral("BSTR:\"%1\"")
            .arg(QString::fromWCharArray(v.bstrVal, int(SysStringLen(v.bstrVal))));
    case VT_I2:
        return QStringLiteral("I2:%1").arg(v.iVal);
    case VT_I4:
        return QStringLiteral("I4:%1").arg(v.lVal);
    case VT_BOOL:
        return v.boolVal ? QStringLiteral("BOOL:True") : QStringLiteral("BOOL:False");
    case VT_R8:
        return QStringLiteral("R8:%1").arg(v.dblVal);
    case VT_DISPATCH:
        return QStringLiteral("Object");
    default:
        return QStringLiteral("VT%1").arg(v.vt);
    }
}

QString text(const VARIANT& v)
{
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, const_cast<VARIANT*>(&v), 0, VT_BSTR)))
        return QString();
    const QString result = QString::fromWCharArray(converted.bstrVal, int(SysStringLen(converted.bstrVal)));
    VariantClear(&converted);
    return result;
}
int number(const VARIANT& v)
{
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, const_cast<VARIANT*>(&v), 0, VT_I4)))
        throw RuntimeError(RuntimeError::TypeMismatch, QStringLiteral("not a number"));
    return converted.lVal;
}

// The arguments of one call: positional in order, named by name.
struct Call
{
    QString member;
    bool put = false;
    std::vector<const VARIANT*> positional;
    std::map<QString, const VARIANT*> named;

    const VARIANT* arg(size_t index, const char* name = nullptr) const
    {
        if (name) {
            for (const auto& [key, value] : named) {
                if (key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                    return value;
            }
        }
        return index < positional.size() ? positional[index] : nullptr;
    }
    bool is(const char* name) const { return member.compare(QLatin1String(name), Qt::CaseInsensitive) == 0; }
};

VARIANT empty()
{
    VARIANT v;
    VariantInit(&v);
    return v;
}
VARIANT bstr(const QString& value)
{
    VARIANT v = empty();
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(value.utf16()), UINT(value.size()));
    return v;
}
VARIANT i4(int value)
{
    VARIANT v = empty();
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}
VARIANT boolean(bool value)
{
    VARIANT v = empty();
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

class Object;
VARIANT dispatch(Object* object);

class Object : public IDispatch
{
public:
    explicit Object(QString className)
        : m_className(std::move(className))
    {
        InterlockedIncrement(&g_objects);
    }
    virtual ~Object()
    {
        // The last object released: the client is done with this instance (Quit or not).
        if (InterlockedDecrement(&g_objects) == 0)
            PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&m_references)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&m_references);
        if (left == 0)
            delete this;
        return ULONG(left);
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
        Call call;
        call.member = nameOf(id);
        call.put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
        // rgvarg holds the named arguments first, then the positional ones, all in reverse.
        const UINT namedCount = parameters ? parameters->cNamedArgs : 0;
        const UINT all = parameters ? parameters->cArgs : 0;
        QStringList shownArguments;
        for (UINT i = all; i-- > namedCount;)
            call.positional.push_back(&parameters->rgvarg[i]);
        for (UINT i = namedCount; i-- > 0;) {
            const DISPID named = parameters->rgdispidNamedArgs[i];
            if (named != DISPID_PROPERTYPUT)
                call.named[nameOf(named)] = &parameters->rgvarg[i];
        }
        if (call.put && namedCount == 1 && parameters->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT)
            call.positional.push_back(&parameters->rgvarg[0]);
        for (UINT i = all; i-- > namedCount;)
            shownArguments << shown(parameters->rgvarg[i]);
        for (UINT i = namedCount; i-- > 0;) {
            const DISPID named = parameters->rgdispidNamedArgs[i];
            shownArguments << (named == DISPID_PROPERTYPUT
                                   ? shown(parameters->rgvarg[i])
                                   : nameOf(named) + QStringLiteral(":=") + shown(parameters->rgvarg[i]));
        }
        record(QStringLiteral("%1.%2%3(%4)")
                   .arg(m_className, call.member.isEmpty() ? QStringLiteral("[default]") : call.member,
                        call.put ? QStringLiteral(" =") : QString(),
                        shownArguments.join(QStringLiteral(", "))));
        try {
            VARIANT value = invoke(call);
            if (result)
                *result = value;
            else
                VariantClear(&value);
            return S_OK;
        } catch (const RuntimeError& error) {
            record(QStringLiteral("  raised %1: %2 (%3)")
                       .arg(error.number())
                       .arg(error.description(), error.detail()));
            if (error.number() == RuntimeError::NotSupported)
                return DISP_E_MEMBERNOTFOUND;
            if (exception) {
                *exception = EXCEPINFO{};
                exception->wCode = 1004;
                const QString source = QStringLiteral("yanhe-com-test-server");
                exception->bstrSource =
                    SysAllocStringLen(reinterpret_cast<const OLECHAR*>(source.utf16()), UINT(source.size()));
                exception->bstrDescription =
                    SysAllocStringLen(reinterpret_cast<const OLECHAR*>(error.description().utf16()),
                                      UINT(error.description().size()));
            }
            return DISP_E_EXCEPTION;
        }
    }

protected:
    virtual VARIANT invoke(const Call& call) = 0;
    [[noreturn]] void unknown(const Call& call) const
    {
        throw RuntimeError(RuntimeError::NotSupported,
                           QStringLiteral("%1 has no member %2").arg(m_className, call.member));
    }

private:
    QString m_className;
    LONG m_references = 1;
};

// A newly made object as a result; the result holds its only reference.
VARIANT dispatch(Object* object)
{
    VARIANT v = empty();
    v.vt = VT_DISPATCH;
    v.pdispVal = object;
    return v;
}

// _NewEnum's enumerator: an IEnumVARIANT only, as the office programs give.
class Enumerator final : public IEnumVARIANT
{
public:
    explicit Enumerator(std::vector<std::function<Object*()>> items)
        : m_items(std::move(items))
    {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (riid == IID_IUnknown || riid == IID_IEnumVARIANT) {
            *out = static_cast<IEnumVARIANT*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&m_references)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&m_references);
        if (left == 0)
            delete this;
        return ULONG(left);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override
    {
        ULONG n = 0;
        for (; n < count && m_next < m_items.size(); ++n)
            out[n] = dispatch(m_items[m_next++]());
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        m_next += count;
        return m_next <= m_items.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        m_next = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    std::vector<std::function<Object*()>> m_items;
    size_t m_next = 0;
    LONG m_references = 1;
};

VARIANT enumerator(std::vector<std::function<Object*()>> items)
{
    VARIANT v = empty();
    v.vt = VT_UNKNOWN;
    v.punkVal = new Enumerator(std::move(items));
    return v;
}

// A small object whose members are given as functions.
class Members final : public Object
{
public:
    using Handler = std::function<VARIANT(const Call&)>;
    Members(QString className, std::map<QString, Handler> handlers)
        : Object(std::move(className))
        , m_handlers(std::move(handlers))
    {}

protected:
    VARIANT invoke(const Call& call) override
    {
        for (const auto& [name, handler] : m_handlers) {
            if (name.compare(call.member, Qt::CaseInsensitive) == 0)
                return handler(call);
        }
        unknown(call);
    }

private:
    std::map<QString, Handler> m_handlers;
};

Object* members(const char* className, std::map<QString, Members::Handler> handlers)
{
    return new Members(QString::fromLatin1(className), std::move(handlers));
}

// --- Word ---------------------------------------------------------------------------

bool matches(const QString& path, const QString& pattern)
{
    return !pattern.isEmpty() && path.contains(pattern, Qt::CaseInsensitive);
}

Object* findOf(std::function<bool(const QString&)> probe,
               std::function<void(const QString&, const QString&)> replace)
{
    return members("Find", {{QStringLiteral("Execute"), [=](const Call& call) {
                                 if (call.named.empty())
                                     return boolean(probe(text(*call.arg(0))));
                                 const int mode = number(*call.arg(10, "Replace"));
                                 if (mode != word::kReplaceAll)
                                     throw RuntimeError(RuntimeError::InvalidCall,
                                                        QStringLiteral("Replace must be 2"));
                                 replace(text(*call.arg(0, "FindText")), text(*call.arg(9, "ReplaceWith")));
                                 return boolean(true);
                             }}});
}

std::map<QString, Members::Handler> rangeHandlers(word::RangePtr range)
{
    return {{QStringLiteral("Find"),
             [=](const Call&) {
                 return dispatch(
                     findOf([=](const QString& t) { return range->findExecute(t); },
                            [=](const QString& a, const QString& b) { range->replaceAll(a, b); }));
             }},
            {QStringLiteral("Text"), [=](const Call&) { return bstr(range->text()); }},
            {QStringLiteral("Delete"), [=](const Call&) {
                 range->Delete();
                 return empty();
             }}};
}

Object* rangeOf(word::RangePtr range)
{
    return members("Range", rangeHandlers(std::move(range)));
}

VARIANT shapesOf(const Call& call, QList<word::ShapePtr> shapes)
{
    auto shapeObject = [](word::ShapePtr shape) {
        return members("Shape", {{QStringLiteral("TextFrame"), [=](const Call&) {
                                      return dispatch(
                                          members("TextFrame",
                                                  {{QStringLiteral("TextRange"), [=](const Call&) {
                                                        return dispatch(rangeOf(shape->textFrameTextRange()));
                                                    }}}));
                                  }}});
    };
    (void)call;
    return dispatch(
        members("Shapes", {{QStringLiteral("_NewEnum"),
                            [=](const Call&) {
                                std::vector<std::function<Object*()>> items;
                                for (const word::ShapePtr& shape : shapes)
                                    items.push_back([=] { return shapeObject(shape); });
                                return enumerator(items);
                            }},
                           {QStringLiteral("Count"), [=](const Call&) { return i4(int(shapes.size())); }}}));
}

Object* headerFooterOf(word::HeaderFooterPtr part, const char* className)
{
    return members(className,
                   {{QStringLiteral("Range"), [=](const Call&) { return dispatch(rangeOf(part->range())); }},
                    {QStringLiteral("Shapes"), [=](const Call& c) { return shapesOf(c, part->shapes()); }}});
}

Object* sectionOf(word::SectionPtr section)
{
    auto part = [=](bool headers) {
        return [=](const Call& call) {
            const qint16 index = qint16(call.arg(0) ? number(*call.arg(0)) : 1);
            return dispatch(headers ? headerFooterOf(section->headers(index), "HeaderFooter")
                                    : headerFooterOf(section->footers(index), "HeaderFooter"));
        };
    };
    return members("Section",
                   {{QStringLiteral("Headers"), part(true)}, {QStringLiteral("Footers"), part(false)}});
}

VARIANT sectionsOf(const Call& call, QList<word::SectionPtr> sections)
{
    if (const VARIANT* index = call.arg(0)) {
        const int i = number(*index);
        if (i < 1 || i > sections.size())
            throw RuntimeError(RuntimeError::SubscriptOutOfRange, QStringLiteral("no such section"));
        return dispatch(sectionOf(sections.at(i - 1)));
    }
    return dispatch(members(
        "Sections", {{QStringLiteral("_NewEnum"),
                      [=](const Call&) {
                          std::vector<std::function<Object*()>> items;
                          for (const word::SectionPtr& s : sections)
                              items.push_back([=] { return sectionOf(s); });
                          return enumerator(items);
                      }},
                     {QStringLiteral("Count"), [=](const Call&) { return i4(int(sections.size())); }}}));
}

// A story of the document as Word gives it: a range with its type and the next
// story of the same type (Nothing after the last).
Object* storyOf(word::RangePtr range, int type, std::function<VARIANT()> next)
{
    std::map<QString, Members::Handler> handlers = rangeHandlers(std::move(range));
    handlers.emplace(QStringLiteral("StoryType"), [=](const Call&) { return i4(type); });
    handlers.emplace(QStringLiteral("NextStoryRange"), [=](const Call&) { return next(); });
    return members("Range", std::move(handlers));
}

// The text boxes from the i-th on as text frame stories (type 5), each linked to
// the next, as Word keeps floating and inline ones alike.
VARIANT textFrameStory(const QList<word::ShapePtr>& boxes, int i)
{
    if (i >= boxes.size())
        return dispatch(nullptr);
    return dispatch(
        storyOf(boxes.at(i)->textFrameTextRange(), 5, [=] { return textFrameStory(boxes, i + 1); }));
}

// The main text (type 1), then the first text frame story.
VARIANT storyRangesOf(word::DocumentPtr document)
{
    const QList<word::ShapePtr> boxes = document->shapes();
    return dispatch(members(
        "StoryRanges", {{QStringLiteral("_NewEnum"), [=](const Call&) {
                             std::vector<std::function<Object*()>> items;
                             items.push_back([=] {
                                 return storyOf(document->content(), 1, [] { return dispatch(nullptr); });
                             });
                             if (!boxes.isEmpty())
                                 items.push_back(
                                     [=] { return static_cast<Object*>(textFrameStory(boxes, 0).pdispVal); });
                             return enumerator(items);
                         }}}));
}

Object* documentOf(word::DocumentPtr document)
{
    return members(
        "Document",
        {{QStringLiteral("FullName"), [=](const Call&) { return bstr(document->fullName()); }},
         {QStringLiteral("Content"), [=](const Call&) { return dispatch(rangeOf(document->content())); }},
         {QStringLiteral("Shapes"), [=](const Call& c) { return shapesOf(c, document->shapes()); }},
         {QStringLiteral("StoryRanges"), [=](const Call&) { return storyRangesOf(document); }},
         {QStringLiteral("Sections"), [=](const Call& c) { return sectionsOf(c, document->sections()); }},
         {QStringLiteral("Save"),
          [=](const Call&) {
              document->save();
              return empty();
          }},
         {QStringLiteral("Close"), [=](const Call&) {
              document->close();
              return empty();
          }}});
}

class WordApplication final : public Object
{
public:
    WordApplication()
        : Object(QStringLiteral("Application"))
        , m_app(ooxml::routedWordProcessor(nullptr, [](const QString&) {}))
    {}

protected:
    VARIANT invoke(const Call& call) override
    {
        word::Application* app = m_app.get();
        if (call.member.isEmpty())
            return bstr(QStringLiteral("Microsoft Word"));
        if (call.is("Version"))
            return bstr(QStringLiteral("16.0"));
        if (call.is("Visible") || call.is("DisplayAlerts"))
            return empty();
        if (call.is("Documents")) {
            return dispatch(members(
                "Documents", {{QStringLiteral("Open"),
                               [=](const Call& c) {
                                   const QString path = text(*c.arg(0, "FileName"));
                                   if (matches(path, g_options.hang)) {
                                       record(QStringLiteral("  not answering"));
                                       Sleep(INFINITE);
                                   }
                                   if (matches(path, g_options.fail))
                                       throw RuntimeError(RuntimeError::ApplicationDefined,
                                                          QStringLiteral("测试服务器：文档已损坏，无法打开"));
                                   return dispatch(documentOf(app->documentsOpen(path)));
                               }},
                              {QStringLiteral("Count"),
                               [=](const Call&) { return i4(int(app->documents().size()) + running()); }},
                              {QStringLiteral("_NewEnum"), [=](const Call&) {
                                   std::vector<std::function<Object*()>> items;
                                   if (running())
                                       items.push_back([] {
                                           return members("Document",
                                                          {{QStringLiteral("FullName"), [](const Call&) {
                                                                return bstr(g_options.running);
                                                            }}});
                                       });
                                   for (const word::DocumentPtr& d : app->documents())
                                       items.push_back([=] { return documentOf(d); });
                                   return enumerator(items);
                               }}}));
        }
        if (call.is("ActiveWindow")) {
            return dispatch(
                members("Window",
                        {{QStringLiteral("ActivePane"), [=](const Call&) {
                              return dispatch(members(
                                  "Pane", {{QStringLiteral("View"), [=](const Call&) {
                                                return dispatch(members(
                                                    "View", {{QStringLiteral("SeekView"), [=](const Call& c) {
                                                                  app->setSeekView(qint16(number(*c.arg(0))));
                                                                  return empty();
                                                              }}}));
                                            }}}));
                          }}}));
        }
        if (call.is("Selection"))
            return dispatch(selectionOf(app->selection()));
        if (call.is("Quit")) {
            app->quit();
            return empty();
        }
        unknown(call);
    }

private:
    static int running() { return g_options.running.isEmpty() ? 0 : 1; }
    static Object* selectionOf(word::SelectionPtr selection)
    {
        auto font = [=](const Call&) {
            return dispatch(members("Font", {{QStringLiteral("Name"),
                                              [=](const Call& c) {
                                                  selection->setFontName(text(*c.arg(0)));
                                                  return empty();
                                              }},
                                             {QStringLiteral("Size"),
                                              [=](const Call& c) {
                                                  selection->setFontSize(text(*c.arg(0)));
                                                  return empty();
                                              }},
                                             {QStringLiteral("Bold"), [=](const Call& c) {
                                                  selection->setFontBold(number(*c.arg(0)) != 0);
                                                  return empty();
                                              }}}));
        };
        return members(
            "Selection",
            {{QStringLiteral("Find"),
              [=](const Call&) {
                  return dispatch(findOf(
                      [](const QString&) -> bool {
                          throw RuntimeError(RuntimeError::NotSupported,
                                             QStringLiteral("probe on the selection"));
                      },
                      [=](const QString& a, const QString& b) { selection->findReplaceAll(a, b); }));
              }},
             {QStringLiteral("TypeText"),
              [=](const Call& c) {
                  selection->typeText(text(*c.arg(0, "Text")));
                  return empty();
              }},
             {QStringLiteral("Font"), font},
             {QStringLiteral("ParagraphFormat"),
              [=](const Call&) {
                  return dispatch(
                      members("ParagraphFormat", {{QStringLiteral("Alignment"), [=](const Call& c) {
                                                       selection->setParagraphAlignment(number(*c.arg(0)));
                                                       return empty();
                                                   }}}));
              }},
             {QStringLiteral("Range"), [](const Call&) { return dispatch(members("Range", {})); }},
             {QStringLiteral("Fields"),
              [=](const Call&) {
                  return dispatch(members("Fields", {{QStringLiteral("Add"), [=](const Call& c) {
                                                          selection->fieldsAdd(
                                                              qint16(number(*c.arg(1, "Type"))));
                                                          return empty();
                                                      }}}));
              }},
             {QStringLiteral("Sections"),
              [=](const Call& c) { return sectionsOf(c, selection->sections()); }}});
    }

    word::ApplicationPtr m_app;
};

// --- Excel ----------------------------------------------------------------------------

Object* worksheetOf(sheet::WorksheetPtr sheet)
{
    auto cell = [=](int row, int column) {
        return members("Cell", {{QString(), [=](const Call& c) {
                                     if (c.put) {
                                         sheet->setCell(row, column, text(*c.arg(0)));
                                         return empty();
                                     }
                                     return bstr(sheet->cell(row, column));
                                 }}});
    };
    auto count = [](int n) {
        return dispatch(members("Range", {{QStringLiteral("Count"), [=](const Call&) { return i4(n); }}}));
    };
    return members(
        "Worksheet",
        {{QStringLiteral("Name"), [=](const Call&) { return bstr(sheet->name()); }},
         {QStringLiteral("ProtectContents"), [=](const Call&) { return boolean(sheet->protectContents()); }},
         {QStringLiteral("Rows"), [=](const Call&) { return count(sheet->rowsCount()); }},
         {QStringLiteral("Columns"), [=](const Call&) { return count(sheet->columnsCount()); }},
         {QStringLiteral("Cells"), [=](const Call& c) {
              if (c.arg(0) && c.arg(1))
                  return dispatch(cell(number(*c.arg(0)), number(*c.arg(1))));
              return dispatch(members("Cells", {{QStringLiteral("Find"),
                                                 [=](const Call& f) {
                                                     return sheet->cellsFind(text(*f.arg(0, "What")))
                                                                ? dispatch(members("Range", {}))
                                                                : empty();
                                                 }},
                                                {QStringLiteral("Replace"), [=](const Call& r) {
                                                     sheet->cellsReplace(text(*r.arg(0, "What")),
                                                                         text(*r.arg(1, "Replacement")));
                                                     return boolean(true);
                                                 }}}));
          }}});
}

Object* workbookOf(sheet::WorkbookPtr book)
{
    return members("Workbook",
                   {{QStringLiteral("FullName"), [=](const Call&) { return bstr(book->fullName()); }},
                    {QStringLiteral("Worksheets"),
                     [=](const Call& c) {
                         if (c.arg(0))
                             return dispatch(worksheetOf(book->worksheets(number(*c.arg(0)))));
                         return dispatch(members("Worksheets", {{QStringLiteral("Count"), [=](const Call&) {
                                                                     return i4(book->worksheetsCount());
                                                                 }}}));
                     }},
                    {QStringLiteral("Sheets"),
                     [=](const Call& c) {
                         const int index = number(*c.arg(0));
                         return dispatch(members("Sheet", {{QStringLiteral("Activate"), [=](const Call&) {
                                                                book->sheetsActivate(index);
                                                                return empty();
                                                            }}}));
                     }},
                    {QStringLiteral("Close"), [=](const Call& c) {
                         book->close(c.arg(0, "SaveChanges") && number(*c.arg(0, "SaveChanges")) != 0);
                         return empty();
                     }}});
}

class SheetApplication final : public Object
{
public:
    SheetApplication()
        : Object(QStringLiteral("Application"))
        , m_app(ooxml::routedSpreadsheet(nullptr, [](const QString&) {}))
    {}

protected:
    VARIANT invoke(const Call& call) override
    {
        sheet::Application* app = m_app.get();
        if (call.member.isEmpty())
            return bstr(QStringLiteral("Microsoft Excel"));
        if (call.is("Version"))
            return bstr(QStringLiteral("16.0"));
        if (call.is("Visible") || call.is("DisplayAlerts"))
            return empty();
        if (call.is("Workbooks")) {
            return dispatch(members(
                "Workbooks", {{QStringLiteral("Open"),
                               [=](const Call& c) {
                                   const QString path = text(*c.arg(0, "Filename"));
                                   if (matches(path, g_options.hang)) {
                                       record(QStringLiteral("  not answering"));
                                       Sleep(INFINITE);
                                   }
                                   if (matches(path, g_options.fail))
                                       throw RuntimeError(RuntimeError::ApplicationDefined,
                                                          QStringLiteral("测试服务器：表格已损坏，无法打开"));
                                   return dispatch(workbookOf(app->workbooksOpen(path)));
                               }},
                              {QStringLiteral("_NewEnum"), [=](const Call&) {
                                   std::vector<std::function<Object*()>> items;
                                   if (!g_options.running.isEmpty())
                                       items.push_back([] {
                                           return members("Workbook",
                                                          {{QStringLiteral("FullName"), [](const Call&) {
                                                                return bstr(g_options.running);
                                                            }}});
                                       });
                                   for (const sheet::WorkbookPtr& b : app->workbooks())
                                       items.push_back([=] { return workbookOf(b); });
                                   return enumerator(items);
                               }}}));
        }
        if (call.is("Quit")) {
            app->quit();
            return empty();
        }
        unknown(call);
    }

private:
    sheet::ApplicationPtr m_app;
};

Object* newApplication()
{
    if (g_options.kind == QLatin1String("sheet"))
        return new SheetApplication;
    return new WordApplication;
}

class Factory final : public IClassFactory
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        Object* application = newApplication();
        record(QStringLiteral("created %1 in process %2").arg(g_options.kind).arg(GetCurrentProcessId()));
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
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromWCharArray(argv[i]);
        const QString value = i + 1 < argc ? QString::fromWCharArray(argv[i + 1]) : QString();
        if (arg == QLatin1String("--kind"))
            g_options.kind = value, ++i;
        else if (arg == QLatin1String("--record"))
            g_options.record = value, ++i;
        else if (arg == QLatin1String("--fail"))
            g_options.fail = value, ++i;
        else if (arg == QLatin1String("--hang"))
            g_options.hang = value, ++i;
        else if (arg == QLatin1String("--running"))
            g_options.running = value, ++i;
        else if (arg == QLatin1String("--clsid"))
            CLSIDFromString(reinterpret_cast<LPCOLESTR>(value.utf16()), &g_options.clsid), ++i;
    }
    LocalFree(argv);
    g_mainThread = GetCurrentThreadId();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    static Factory factory;
    DWORD registration = 0;
    DWORD active = 0;
    Object* runningApplication = nullptr;
    if (!g_options.running.isEmpty()) {
        // The instance a user has open: found by GetActiveObject, ended only by its process's end.
        runningApplication = newApplication();
        RegisterActiveObject(runningApplication, g_options.clsid, ACTIVEOBJECT_STRONG, &active);
        record(QStringLiteral("running %1 in process %2").arg(g_options.kind).arg(GetCurrentProcessId()));
    } else {
        CoRegisterClassObject(g_options.clsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE,
                              &registration);
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (registration)
        CoRevokeClassObject(registration);
    record(QStringLiteral("server %1 ends").arg(GetCurrentProcessId()));
    CoUninitialize();
    return 0;
}
