#pragma once

#include "EngineScripts.h"
#include "Profiles.h"
#include "app/RuntimeError.h"
#include "office/SafeReplace.h"
#include "office/Watchdog.h"

#include <QHash>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <atomic>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <memory>
#include <optional>

class QProcess;

namespace unooffice {

class Detector;

namespace css = com::sun::star;
using css::uno::Reference;

QString toQString(const rtl::OUString& text);
rtl::OUString toOUString(const QString& text);
QString fileUrl(const QString& path);
css::beans::PropertyValue property(const char* name, const css::uno::Any& value);
// The environment soffice starts in: the given one, with a UTF-8 locale
// when the one it names would not read file names as UTF-8.
QProcessEnvironment officeEnvironment(QProcessEnvironment environment);

// The kind of document a job edits.
enum class DocumentKind { Text, Spreadsheet };

// One headless soffice of this tool, on a private profile and its own pipe,
// started when first needed and connected over the UNO URL resolver. A call
// that overruns its time-out ends this soffice (and only it); a soffice that
// ended or crashed is started afresh by the next open().
class UnoOffice final
{
public:
    UnoOffice();
    ~UnoOffice();
    UnoOffice(const UnoOffice&) = delete;
    UnoOffice& operator=(const UnoOffice&) = delete;

    // Loads a file for editing, hidden and without interaction (no macros, no
    // link updates, every password, repair or lock question refused), once
    // LibreOffice has recognised it as a document of the kind in a format it
    // writes back as that format. Anything else is refused before it is loaded,
    // with what is wrong with the file in words a user understands.
    // With a frame, the document goes into it in place of the one it shows,
    // which stays loaded until it is closed.
    Reference<css::lang::XComponent> load(const QString& path, DocumentKind kind,
                                          const Reference<css::frame::XFrame>& into = {});
    // Stores a document load() gave in its file, when it has changes: written
    // beside the file with the filter it was loaded with, recognised by type
    // detection as the file's own type (an OOXML package must also read back
    // whole, its XML well-formed), then put in its place. A result that fails
    // is thrown away and the file keeps its bytes.
    void store(const Reference<css::uno::XInterface>& document, const QString& path);
    // Closes a document load() gave, discarding what it has not stored; one
    // loaded by an earlier soffice (another generation) is gone already.
    void close(const Reference<css::uno::XInterface>& document, int generation, const QString& path);
    // Counts the soffices this engine has had: a document belongs to one.
    int generation() const { return m_generation; }
    // A new document from a URL such as "private:factory/swriter".
    Reference<css::lang::XComponent> loadUrl(const QString& url);

    // Runs f against this soffice, bounded by the time-out. Every failure
    // (UNO's, a standard exception, anything else) becomes RuntimeError; a
    // soffice that died on the call is forgotten. Calls made inside f are part
    // of the one bounded call.
    template <class F> auto call(F&& f) -> decltype(f())
    {
        if (m_depth > 0)
            return f();
        const Depth depth(m_depth);
        m_watchdog.arm(m_pid, m_timeoutMs);
        try {
            if constexpr (std::is_void_v<decltype(f())>) {
                f();
                finish();
            } else {
                auto result = f();
                finish();
                return result;
            }
        } catch (const RuntimeError&) {
            finish();
            throw;
        } catch (const css::lang::DisposedException&) {
            // The connection is gone: so is this soffice, whatever its process says yet.
            throw failure(true);
        } catch (...) {
            throw failure(false);
        }
    }

    // Runs a function of the engine's Basic library inside soffice, as one
    // bounded call; nothing when this soffice cannot run it (or
    // $YANHE_ENGINE_SCRIPTS is 0), and the caller then makes the calls itself.
    std::optional<css::uno::Any> runScript(const char* function,
                                           std::initializer_list<css::uno::Any> arguments);

    // soffice grows with every document it loads, however the document is
    // closed: some 0.2 MiB for a small one, without end. One whose memory is
    // past this ($YANHE_OFFICE_RECYCLE_MIB) is ended before the next load
    // when it holds no document, and a new one takes over.
    static constexpr int kRecycleMiB = 480;
    bool outgrown() const;

    // Closes nothing itself: ends the soffice process (politely first).
    void terminate();
    bool running() const;
    qint64 pid() const { return m_pid; }
    // The local end of the connection's service manager, for services such as type detection.
    Reference<css::lang::XMultiComponentFactory> serviceManager();
    const Reference<css::uno::XComponentContext>& context() const { return m_context; }

    void setTimeoutMs(int milliseconds) { m_timeoutMs = milliseconds; }

private:
    // The store itself; placed tells whether the result has replaced the file.
    void storePlaced(const Reference<css::uno::XInterface>& document, const QString& path, bool& placed);
    struct Depth
    {
        explicit Depth(int& depth)
            : m_depth(++depth)
        {}
        ~Depth() { --m_depth; }
        int& m_depth;
    };

    bool launched() const;
    void prepare();
    void ensureRunning();
    void start();
    void launch();
    void launchProcess();
    void noteLoaded(const QString& path);
    void noteClosed(const QString& path);
    void noteStoring(const QString& path, bool storing);
    void finish();
    // For the journal: how a soffice whose connection is gone ended (its exit code or signal).
    QString howItEnded() const;
    // The failure that escaped a call, as the engine reports it; from inside a catch block.
    RuntimeError failure(bool disposed);
    void forget();

    std::unique_ptr<QProcess> m_process;
    qint64 m_pid = 0;
    int m_profile = -1;
    int m_depth = 0;
    int m_generation = 0;
    QList<LoadedDocument> m_loaded; // documents this soffice opened and has not closed
    // What a loaded document's file was: its type as detected, and the file itself.
    struct Original
    {
        QString type;
        QString service;
        SafeReplace::Identity identity;
    };
    QHash<QString, Original> m_originals;
    QString m_pipe;
    int m_timeoutMs;
    bool m_scriptsWanted;
    int m_recycleMiB;
    Reference<css::uno::XComponentContext> m_context;
    Reference<css::frame::XDesktop2> m_desktop;
    std::unique_ptr<Detector> m_detector;
    EngineScripts m_scripts;
    Watchdog m_watchdog;
};

} // namespace unooffice
