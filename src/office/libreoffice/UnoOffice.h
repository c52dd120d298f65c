#pragma once

#include "app/RuntimeError.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class QProcess;

namespace unooffice {

namespace css = com::sun::star;
using css::uno::Reference;

QString toQString(const rtl::OUString& text);
rtl::OUString toOUString(const QString& text);
QString fileUrl(const QString& path);

// Ends a process when a call into it takes longer than allowed.
class Watchdog final
{
public:
    Watchdog();
    ~Watchdog();
    void arm(qint64 pid, int milliseconds);
    // True when the process was ended for overrunning since arm().
    bool disarm();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    qint64 m_pid = 0;
    std::chrono::steady_clock::time_point m_deadline{};
    bool m_armed = false;
    bool m_fired = false;
    bool m_stop = false;
    std::thread m_thread;
};

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

    // Loads a document hidden and without interaction: no macros, no link
    // updates, every password, repair or lock question refused.
    Reference<css::lang::XComponent> load(const QString& path);
    // The same for a URL, e.g. "private:factory/swriter" for a new document.
    Reference<css::lang::XComponent> loadUrl(const QString& url);

    // Runs f against this soffice, bounded by the time-out. UNO failures become
    // RuntimeError; a soffice that died on the call is forgotten.
    template <class F> auto call(F&& f) -> decltype(f())
    {
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
        } catch (const css::lang::DisposedException& error) {
            // The connection is gone: so is this soffice, whatever its process says yet.
            throw failure(toQString(error.Message), true);
        } catch (const css::uno::Exception& error) {
            throw failure(toQString(error.Message));
        } catch (const RuntimeError&) {
            finish();
            throw;
        }
    }

    // Closes nothing itself: ends the soffice process (politely first).
    void terminate();
    bool running() const;
    qint64 pid() const { return m_pid; }

    // The time-out of one call: $YANHE_OFFICE_TIMEOUT_MS, else 60 s.
    static int defaultTimeoutMs();
    void setTimeoutMs(int milliseconds) { m_timeoutMs = milliseconds; }

private:
    void start();
    void launch(const QString& program);
    void finish();
    RuntimeError failure(const QString& message, bool disposed = false);
    void forget();

    std::unique_ptr<QProcess> m_process;
    qint64 m_pid = 0;
    int m_profile = -1;
    QStringList m_loaded; // documents this soffice opened
    QString m_pipe;
    int m_timeoutMs;
    Reference<css::uno::XComponentContext> m_context;
    Reference<css::frame::XDesktop2> m_desktop;
    Watchdog m_watchdog;
};

} // namespace unooffice
