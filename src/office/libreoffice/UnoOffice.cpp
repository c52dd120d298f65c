#include "UnoOffice.h"

#include "DocumentCheck.h"
#include "Installation.h"
#include "Profiles.h"
#include "app/FailureText.h"
#include "office/OwnProcesses.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QScopeGuard>
#include <QThread>
#include <QUrl>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/script/provider/XScript.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/exc_hlp.hxx>
#include <osl/file.hxx>

#ifdef Q_OS_LINUX
#include <clocale>
#include <csignal>
#include <cstring>
#include <langinfo.h>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace unooffice {

using namespace css;

QString toQString(const rtl::OUString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getStr()), text.getLength());
}

rtl::OUString toOUString(const QString& text)
{
    return rtl::OUString(reinterpret_cast<const sal_Unicode*>(text.utf16()),
                         static_cast<sal_Int32>(text.size()));
}

beans::PropertyValue property(const char* name, const uno::Any& value)
{
    beans::PropertyValue p;
    p.Name = rtl::OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

QString fileUrl(const QString& path)
{
    rtl::OUString url;
    osl::FileBase::getFileURLFromSystemPath(toOUString(QDir::cleanPath(QDir(path).absolutePath())), url);
    return toQString(url);
}

// ---------------------------------------------------------------- helpers

namespace {

// The local UNO environment, bootstrapped once per process from the
// installation's own type and service registries.
Reference<uno::XComponentContext> localContext()
{
    static QMutex mutex;
    static Reference<uno::XComponentContext> context;
    const QMutexLocker lock(&mutex);
    if (!context.is()) {
        const QString program = LibreOfficeInstallation::programFolder();
        if (program.isEmpty())
            throw RuntimeError(RuntimeError::CannotCreateObject, FailureText::cannotStart(),
                               QStringLiteral("LibreOffice not found"));
        // The installation's fundamentalrc names the registries that unorc refers to.
        qputenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" + QFile::encodeName(QDir(program).filePath(
                                                                QStringLiteral("fundamentalrc"))));
        try {
            context = cppu::defaultBootstrap_InitialComponentContext(
                toOUString(fileUrl(QDir(program).filePath(QStringLiteral("unorc")))));
        } catch (const uno::Exception& error) {
            throw RuntimeError(RuntimeError::CannotCreateObject, FailureText::cannotStart(),
                               toQString(error.Message));
        }
    }
    return context;
}

Profiles& profiles()
{
    return Profiles::instance();
}

#ifdef Q_OS_LINUX
// Whether the locale name (as LC_ALL, LC_CTYPE or LANG give it) is installed,
// and, when utf8, whether its characters are UTF-8.
bool usableLocale(const QByteArray& name, bool utf8)
{
    const locale_t locale = ::newlocale(LC_ALL_MASK, name.isEmpty() ? "C" : name.constData(), locale_t(0));
    if (locale == locale_t(0))
        return false;
    const bool usable = !utf8 || std::strcmp(::nl_langinfo_l(CODESET, locale), "UTF-8") == 0;
    ::freelocale(locale);
    return usable;
}
#endif

} // namespace

QProcessEnvironment officeEnvironment(QProcessEnvironment environment)
{
#ifdef Q_OS_LINUX
    // soffice turns a document's name into the bytes it opens in its locale's
    // encoding. With no locale (LANG unset, LANG=C) that is ASCII; with one
    // that is not installed, soffice falls back to it as well; a name beyond
    // ASCII (a folder named in Chinese) then names no file at all. File names
    // here are UTF-8 whatever the locale, so soffice gets a UTF-8 one when the
    // user's would not serve.
    const auto named = [&](const char* category) {
        for (const char* variable : {"LC_ALL", category, "LANG"}) {
            const QByteArray value = environment.value(QString::fromLatin1(variable)).toLocal8Bit();
            if (!value.isEmpty())
                return value;
        }
        return QByteArray();
    };
    bool usable = usableLocale(named("LC_CTYPE"), true);
    for (const char* category : {"LC_COLLATE", "LC_MESSAGES", "LC_MONETARY", "LC_NUMERIC", "LC_TIME"})
        usable = usable && usableLocale(named(category), false);
    if (usable)
        return environment;
    for (const char* fallback : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
        if (usableLocale(fallback, true)) {
            environment.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(fallback));
            break;
        }
    }
#endif
    return environment;
}

// ---------------------------------------------------------------- UnoOffice

UnoOffice::UnoOffice()
    : m_timeoutMs(Watchdog::defaultTimeoutMs())
    , m_scriptsWanted(qEnvironmentVariable("YANHE_ENGINE_SCRIPTS") != QLatin1String("0"))
    , m_recycleMiB(qEnvironmentVariableIsSet("YANHE_OFFICE_RECYCLE_MIB")
                       ? qEnvironmentVariableIntValue("YANHE_OFFICE_RECYCLE_MIB")
                       : kRecycleMiB)
    , m_watchdog({&Watchdog::systemCpuTime, &Watchdog::systemEnd})
{}

UnoOffice::~UnoOffice()
{
    try {
        terminate();
    } catch (...) {
    }
}

bool UnoOffice::running() const
{
    // A process that ended is noticed here: waitForFinished(0) collects it.
    return m_process && m_process->state() == QProcess::Running && !m_process->waitForFinished(0) &&
           m_desktop.is();
}

bool UnoOffice::launched() const
{
    // Started ahead of its first use and not yet connected.
    return m_process && m_process->state() != QProcess::NotRunning && !m_context.is();
}

void UnoOffice::ensureRunning()
{
    if (running())
        return;
    if (!launched())
        forget();
    try {
        start();
    } catch (const RuntimeError& error) {
        forget();
        throw RuntimeError(RuntimeError::CannotCreateObject, FailureText::cannotStart(),
                           error.detail().isEmpty() ? error.description() : error.detail());
    }
}

void UnoOffice::start()
{
    launch();
    // The local UNO environment comes up while soffice does.
    const Reference<uno::XComponentContext> local = localContext();
    // soffice opens its pipe once it is up; a first start on a new profile takes a few seconds.
    const Reference<bridge::XUnoUrlResolver> resolver =
        call([&] { return bridge::UnoUrlResolver::create(local); });
    const rtl::OUString url =
        toOUString(QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(m_pipe));
    for (QDeadlineTimer deadline(std::max(m_timeoutMs, 30000));;) {
        const bool connected = call([&] {
            try {
                m_context.set(resolver->resolve(url), uno::UNO_QUERY_THROW);
            } catch (const connection::NoConnectException&) {
                return false;
            }
            m_desktop = frame::Desktop::create(m_context);
            return true;
        });
        if (connected)
            return;
        // On a new profile soffice sets it up, then exits asking to be started again.
        constexpr int kRestartRequested = 81;
        if (m_process->waitForFinished(0) && m_process->exitStatus() == QProcess::NormalExit &&
            m_process->exitCode() == kRestartRequested && !deadline.hasExpired()) {
            launchProcess();
            continue;
        }
        if (m_process->state() != QProcess::Running)
            throw RuntimeError(RuntimeError::CannotCreateObject, FailureText::cannotStart(),
                               QStringLiteral("LibreOffice ended while starting (exit %1, status %2)")
                                   .arg(m_process->exitCode())
                                   .arg(int(m_process->exitStatus())));
        if (deadline.hasExpired())
            throw RuntimeError(RuntimeError::CannotCreateObject, FailureText::cannotStart(),
                               QStringLiteral("LibreOffice did not answer on its pipe"));
        QThread::msleep(20);
    }
}

void UnoOffice::launch()
{
    if (launched())
        return;
    static std::atomic<int> serial{0};
    m_pipe = QStringLiteral("yanhe-%1-%2").arg(QCoreApplication::applicationPid()).arg(++serial);
    m_profile = profiles().take();
    launchProcess();
    // While soffice comes up: what earlier runs that were killed left behind.
    profiles().cleanUpAfterEndedRuns();
}

void UnoOffice::launchProcess()
{
    const QString program = LibreOfficeInstallation::programFolder();
    if (program.isEmpty())
        throw RuntimeError(RuntimeError::CannotCreateObject, FailureText::cannotStart(),
                           QStringLiteral("LibreOffice not found"));
    if (m_pid > 0)
        OwnProcesses::remove(m_pid);
    m_process = std::make_unique<QProcess>();
    m_process->setProcessEnvironment(officeEnvironment(QProcessEnvironment::systemEnvironment()));
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(QProcess::nullDevice());
#ifdef Q_OS_LINUX
    // soffice ends with the tool however the tool ends, kill -9 included: the
    // kernel sends it SIGKILL when the thread that started it goes. The engine
    // is used from one thread that lives as long as it does.
    const pid_t parent = ::getpid();
    m_process->setChildProcessModifier([parent] {
        // Its own process group: a Ctrl-C in the terminal stops the tool after
        // the file in hand, and the tool quits soffice; soffice itself is not hit.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(1); // the tool went before the signal was set
    });
#endif
    m_process->start(QDir(program).filePath(QStringLiteral("soffice.bin")),
                     {QStringLiteral("--headless"), QStringLiteral("--invisible"), QStringLiteral("--nologo"),
                      QStringLiteral("--norestore"), QStringLiteral("--nodefault"),
                      QStringLiteral("--nolockcheck"),
                      QStringLiteral("-env:UserInstallation=") + fileUrl(profiles().folder(m_profile)),
                      QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(m_pipe)});
    if (!m_process->waitForStarted(10000)) {
        const QString why = m_process->errorString();
        throw RuntimeError(RuntimeError::CannotCreateObject, FailureText::cannotStart(), why);
    }
    m_pid = m_process->processId();
    OwnProcesses::add(m_pid);
}

Reference<lang::XMultiComponentFactory> UnoOffice::serviceManager()
{
    ensureRunning();
    return call([&] { return m_context->getServiceManager(); });
}

void UnoOffice::prepare()
{
    if (running() || launched())
        return;
    try {
        forget();
        launch();
    } catch (const RuntimeError&) {
        forget(); // ensureRunning() tries again and says why
    }
}

void UnoOffice::noteLoaded(const QString& path)
{
    m_loaded.append({path, QDateTime::currentMSecsSinceEpoch()});
    if (m_profile >= 0)
        profiles().record(m_profile, m_loaded);
}

void UnoOffice::noteClosed(const QString& path)
{
    for (qsizetype i = m_loaded.size() - 1; i >= 0; --i) {
        if (m_loaded.at(i).path == path) {
            m_loaded.removeAt(i);
            break;
        }
    }
    if (m_profile >= 0)
        profiles().record(m_profile, m_loaded);
}

void UnoOffice::noteStoring(const QString& path, bool storing)
{
    for (LoadedDocument& document : m_loaded) {
        if (document.path == path)
            document.storing = storing ? QDateTime::currentMSecsSinceEpoch() : 0;
    }
    if (m_profile >= 0)
        profiles().record(m_profile, m_loaded);
}

void UnoOffice::store(const Reference<uno::XInterface>& document, const QString& path)
{
    // Once the checked result has replaced the file, the file is stored: a soffice
    // that dies after that (before the document is marked as unchanged) has not
    // lost it, and the file must not be reported as left as it was.
    bool placed = false;
    try {
        storePlaced(document, path, placed);
    } catch (const RuntimeError&) {
        if (!placed)
            throw;
    }
}

void UnoOffice::storePlaced(const Reference<uno::XInterface>& document, const QString& path, bool& placed)
{
    call([&] {
        if (!Reference<util::XModifiable>(document, uno::UNO_QUERY_THROW)->isModified())
            return;
        const QString target = SafeReplace::resolved(path);
        SafeReplace::removeLeftovers(QFileInfo(target).absolutePath());
        SafeReplace::Result result(target);
        rtl::OUString filter;
        for (const beans::PropertyValue& argument :
             Reference<frame::XModel>(document, uno::UNO_QUERY_THROW)->getArgs()) {
            if (argument.Name == "FilterName")
                argument.Value >>= filter;
        }
        const beans::PropertyValue properties[] = {property("FilterName", uno::Any(filter)),
                                                   property("Overwrite", uno::Any(true))};
        // Noted before: a soffice that dies storing it leaves its temporary file beside it.
        noteStoring(path, true);
        // The lock soffice takes of the result while storing it is ours to remove when a
        // soffice killed in the middle leaves it, or releases it only later.
        const QString resultLock = lockFileOf(result.path());
        const QString profile = QDir::cleanPath(profiles().folder(m_profile));
        const auto unlock = qScopeGuard([&] {
            if (QFileInfo::exists(resultLock) && lockingProfile(resultLock) == profile)
                QFile::remove(resultLock);
        });
        Reference<frame::XStorable>(document, uno::UNO_QUERY_THROW)
            ->storeToURL(toOUString(fileUrl(result.path())),
                         uno::Sequence<beans::PropertyValue>(properties, std::size(properties)));
        noteStoring(path, false);
        const Original original = m_originals.value(path);
        result.place(
            [&](const QString& written) {
                const auto asked = std::make_shared<Asked>();
                if (!m_detector)
                    m_detector = std::make_unique<Detector>(m_context->getServiceManager(), m_context);
                const Detected detected =
                    m_detector->detect(toOUString(fileUrl(written)), refusingHandler(asked));
                const bool same = original.type.isEmpty() ? detected.filter == toQString(filter)
                                                          : detected.type == original.type ||
                                                                (detected.service == original.service &&
                                                                 detected.filter == toQString(filter));
                if (!same)
                    SafeReplace::refuse(QStringLiteral("stored with filter %1, the result is detected as %2")
                                            .arg(toQString(filter), describe(detected)));
                QFile head(written);
                if (head.open(QIODevice::ReadOnly) && head.read(4) == "PK\x03\x04") {
                    head.close();
                    SafeReplace::checkPackage(written);
                }
            },
            original.identity);
        placed = true;
        // What is in the file now is what the document holds.
        Reference<util::XModifiable>(document, uno::UNO_QUERY_THROW)->setModified(false);
    });
}

void UnoOffice::close(const Reference<uno::XInterface>& document, int generation, const QString& path)
{
    // A document of a soffice that is gone is gone with it; a call on it would
    // end the soffice that runs now.
    if (generation != m_generation)
        return;
    m_originals.remove(path);
    call([&] {
        try {
            Reference<util::XCloseable>(document, uno::UNO_QUERY_THROW)->close(true);
        } catch (const lang::DisposedException&) {
            // Closed already, when soffice still answers; else its connection is gone.
            m_desktop->getCurrentFrame();
        }
    });
    noteClosed(path);
}

bool UnoOffice::outgrown() const
{
#ifdef Q_OS_LINUX
    if (m_pid <= 0 || !m_context.is())
        return false;
    QFile status(QStringLiteral("/proc/%1/status").arg(m_pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() / 1024 > m_recycleMiB;
    }
#endif
    return false;
}

Reference<lang::XComponent> UnoOffice::load(const QString& path, DocumentKind kind,
                                            const Reference<frame::XFrame>& into)
{
    // One that has grown too big is ended between two documents (none loaded)
    // and a new one started, as office process pools do.
    if (m_loaded.isEmpty() && outgrown())
        terminate();
    // soffice starts while the file is looked at.
    prepare();
    const QFileInfo info(path);
    if (!info.exists())
        throw RuntimeError(RuntimeError::FileNotFound, FailureText::missing());
    if (info.size() == 0)
        throw RuntimeError(RuntimeError::PathFileAccess,
                           kind == DocumentKind::Text ? FailureText::notWordDocument()
                                                      : FailureText::notWorkbook(),
                           QStringLiteral("empty file"));
    const QString lock = lockFileOf(path);
    // A name that leaves no room for the lock file's own (a folder entry holds 255 bytes) is
    // refused before any load: a load into the frame of the document before it takes no lock
    // and ends in a disposed document instead of a reason.
    if (QFile::encodeName(QFileInfo(lock).fileName()).size() > 255)
        throw RuntimeError(RuntimeError::PathFileAccess, FailureText::nameTooLong(),
                           QStringLiteral("lock file name over 255 bytes"));
    if (QFileInfo::exists(lock) && (isStaleOwnLock(lock) || SafeReplace::isStaleLock(lock)))
        QFile::remove(lock);

    ensureRunning();
    const auto asked = std::make_shared<Asked>();
    const Reference<task::XInteractionHandler> handler = refusingHandler(asked);
    const rtl::OUString url = toOUString(fileUrl(path));
    const Detected detected = call([&] {
        if (!m_detector)
            m_detector = std::make_unique<Detector>(m_context->getServiceManager(), m_context);
        return m_detector->detect(url, handler);
    });
    if (asked->password || (kind == DocumentKind::Text && encryptedWordFile(path)))
        throw RuntimeError(RuntimeError::PathFileAccess, FailureText::encrypted(), describe(detected));
    if (const std::optional<RuntimeError> refused = refusal(path, detected, kind))
        throw *refused;

    const beans::PropertyValue properties[] = {
        property("Hidden", uno::Any(true)),
        property("MacroExecutionMode", uno::Any(document::MacroExecMode::NEVER_EXECUTE)),
        property("UpdateDocMode", uno::Any(document::UpdateDocMode::NO_UPDATE)),
        property("InteractionHandler", uno::Any(handler)),
        property("FilterName", uno::Any(toOUString(detected.filter))),
        // A template opens as itself, as Word opens it, not as a new document made from it.
        property("AsTemplate", uno::Any(false)),
    };
    const uno::Sequence<beans::PropertyValue> arguments(properties, std::size(properties));
    Reference<lang::XComponent> document;
    QString detail;
    // Noted before the load: a soffice that dies loading it leaves its lock file behind.
    noteLoaded(path);
    const auto loadInto = [&](const Reference<frame::XFrame>& frame) {
        try {
            document = call([&] {
                if (frame.is())
                    return Reference<frame::XComponentLoader>(frame, uno::UNO_QUERY_THROW)
                        ->loadComponentFromURL(url, rtl::OUString("_self"), 0, arguments);
                const Reference<frame::XComponentLoader> loader(m_desktop, uno::UNO_QUERY_THROW);
                return loader->loadComponentFromURL(url, rtl::OUString("_blank"), 0, arguments);
            });
        } catch (const RuntimeError& error) {
            if (!running())
                throw; // the office program itself failed, not the file
            detail = error.detail();
        }
    };
    // A load into a frame that shows a document does not look at the file's
    // lock: a file that someone holds goes into a frame of its own, where
    // LibreOffice asks about it.
    loadInto(QFileInfo::exists(lock) ? nullptr : into);
    if (!document.is() && into.is()) {
        // Whatever kept the frame from taking it, the file is tried once more in a frame of its own.
        *asked = Asked{};
        detail.clear();
        loadInto(nullptr);
    }
    if (!document.is()) {
        noteClosed(path);
        throw loadFailure(path, *asked, detail.isEmpty() ? describe(detected) : detail);
    }
    m_originals.insert(
        path, {detected.type, detected.service, SafeReplace::Identity::of(SafeReplace::resolved(path))});
    return document;
}

Reference<lang::XComponent> UnoOffice::loadUrl(const QString& location)
{
    ensureRunning();
    const beans::PropertyValue properties[] = {
        property("Hidden", uno::Any(true)),
        property("MacroExecutionMode", uno::Any(document::MacroExecMode::NEVER_EXECUTE)),
        property("UpdateDocMode", uno::Any(document::UpdateDocMode::NO_UPDATE)),
    };
    const uno::Sequence<beans::PropertyValue> arguments(properties, std::size(properties));
    const rtl::OUString url = toOUString(location);
    return call([&] {
        const Reference<frame::XComponentLoader> loader(m_desktop, uno::UNO_QUERY_THROW);
        return loader->loadComponentFromURL(url, rtl::OUString("_blank"), 0, arguments);
    });
}

std::optional<uno::Any> UnoOffice::runScript(const char* function, std::initializer_list<uno::Any> arguments)
{
    if (!m_scriptsWanted || !m_context.is())
        return std::nullopt;
    const Reference<script::provider::XScript> script = call([&]() -> Reference<script::provider::XScript> {
        if (!m_scripts.install(m_context))
            return {};
        try {
            return m_scripts.script(function);
        } catch (const uno::RuntimeException&) {
            throw; // the connection's trouble, not the library's
        } catch (const uno::Exception&) {
            return {};
        }
    });
    if (!script.is())
        return std::nullopt;
    return call([&] {
        uno::Sequence<sal_Int16> outIndex;
        uno::Sequence<uno::Any> out;
        const uno::Any result = script->invoke(
            uno::Sequence<uno::Any>(arguments.begin(), static_cast<sal_Int32>(arguments.size())), outIndex,
            out);
        rtl::OUString failed;
        if (result >>= failed)
            throw RuntimeError(RuntimeError::Automation, FailureText::officeFailed(), toQString(failed));
        return result;
    });
}

void UnoOffice::finish()
{
    if (m_watchdog.disarm()) {
        forget();
        throw RuntimeError(RuntimeError::Automation, FailureText::notResponding(),
                           QStringLiteral("a call took longer than %1 ms").arg(m_timeoutMs));
    }
}

QString UnoOffice::howItEnded() const
{
    if (!m_process)
        return {};
    if (m_process->state() == QProcess::Running && !m_process->waitForFinished(100))
        return QStringLiteral(" (soffice %1 still runs: it closed the connection)").arg(m_pid);
    if (m_process->exitStatus() == QProcess::CrashExit)
        return QStringLiteral(" (soffice %1 ended by signal %2)").arg(m_pid).arg(m_process->exitCode());
    return QStringLiteral(" (soffice %1 exited with code %2)").arg(m_pid).arg(m_process->exitCode());
}

RuntimeError UnoOffice::failure(bool disposed)
{
    QString detail;
    try {
        throw;
    } catch (const uno::Exception& error) {
        detail = toQString(cppu::getCaughtException().getValueTypeName()) + QStringLiteral(": ") +
                 toQString(error.Message);
    } catch (const std::exception& error) {
        detail = QString::fromLocal8Bit(error.what());
    } catch (...) {
        detail = QStringLiteral("unknown exception");
    }
    if (m_watchdog.disarm()) {
        forget();
        return {RuntimeError::Automation, FailureText::notResponding(), detail};
    }
    if (disposed || !running()) {
        detail += howItEnded();
        forget();
        return {RuntimeError::Automation, FailureText::stopped(), detail};
    }
    return {RuntimeError::Automation, FailureText::officeFailed(), detail};
}

void UnoOffice::forget()
{
    const bool connected = m_context.is();
    m_detector.reset();
    m_scripts.reset();
    m_desktop.clear();
    m_context.clear();
    ++m_generation;
    if (m_process) {
        if (m_process->state() != QProcess::NotRunning) {
            // One still starting (its files all failed before it was needed) may
            // be writing a new profile: asked to end first, so the profile stays whole.
            if (!connected) {
                m_process->terminate();
                m_process->waitForFinished(3000);
            }
            if (m_process->state() != QProcess::NotRunning) {
                m_process->kill();
                m_process->waitForFinished(5000);
            }
        }
        m_process.reset();
        // An ended soffice leaves the lock files of its open documents behind,
        // and the temporary file of a store it was in the middle of.
        removeLeftovers(profiles().folder(m_profile), m_loaded);
    }
    m_loaded.clear();
    m_originals.clear();
    if (m_pid > 0)
        OwnProcesses::remove(m_pid);
    m_pid = 0;
    if (m_profile >= 0)
        profiles().give(m_profile);
    m_profile = -1;
}

void UnoOffice::terminate()
{
    if (running()) {
        m_watchdog.arm(m_pid, 5000);
        try {
            m_desktop->terminate();
        } catch (...) {
            // It ends anyway below.
        }
        m_watchdog.disarm();
        if (m_process)
            m_process->waitForFinished(5000);
    }
    forget();
}

} // namespace unooffice
