#pragma once

#include <com/sun/star/script/provider/XScript.hpp>
#include <com/sun/star/script/provider/XScriptProvider.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <map>
#include <rtl/ustring.hxx>

// Work that takes many small calls runs inside soffice as one Basic call: each
// call over the pipe costs a few hundred microseconds, the same call inside
// soffice a few. The Basic library lives in the application's own library
// container of this tool's private profile; documents keep their macros off.
namespace unooffice {

namespace css = com::sun::star;

class EngineScripts final
{
public:
    // Writer's search in one story of a document, any letter case, as the
    // engine does it: the first occurrence, or every occurrence replaced
    // keeping what begins or ends with the old text around the new one.
    static constexpr const char* kFindInStory = "FindInStory";
    static constexpr const char* kReplaceInStory = "ReplaceInStory";
    // A story walked paragraph by paragraph: the texts of its runs of plain
    // text, and replacing at given places in them (UnoText.h).
    static constexpr const char* kRunTexts = "RunTexts";
    static constexpr const char* kReplaceInRuns = "ReplaceInRuns";

    // Installs the library in the soffice behind context, once; false when
    // that soffice cannot run Basic (the engine then makes the calls itself).
    bool install(const css::uno::Reference<css::uno::XComponentContext>& context);
    // A function of the library; null when it is not installed.
    css::uno::Reference<css::script::provider::XScript> script(const char* function);
    // Forgets the soffice they were installed in.
    void reset();

private:
    css::uno::Reference<css::script::provider::XScriptProvider> m_provider;
    std::map<rtl::OUString, css::uno::Reference<css::script::provider::XScript>> m_scripts;
    bool m_tried = false;
};

// The library's only module, in Basic.
const char* writerModuleSource();

} // namespace unooffice
