#include "UnoOffice.h"

#include "DocumentCheck.h"
#include "Installation.h"
#include "office/FailureText.h"
#include "office/OwnProcesses.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/exc_hlp.hxx>
#include <map>
#include <osl/file.hxx>

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

// Whether a soffice process of this machine runs on the profile folder (Linux:
// its command line names the profile).
bool sofficeRunsOn(const QString& profile)
{
#ifdef Q_OS_LINUX
    const QByteArray option = "-env:UserInstallation=" + fileUrl(profile).toUtf8();
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!entry.front().isDigit())
            continue;
        QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!commandLine.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> arguments = commandLine.readAll().split('\0');
        if (arguments.contains(option))
            return true;
    }
#else
    Q_UNUSED(profile);
#endif
    return false;
}

// The profiles of the tool's soffices, kept in the user's cache folder so that
// a later run starts on a profile that exists already (a first start on a new
// profile costs seconds). A soffice holds its profile's lock file while it
// runs: two soffices on one profile would become one.
class Profiles
{
public:
    Profiles()
    {
        const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
        m_root = QDir(cache).filePath(QStringLiteral("yanhe"));
        if (cache.isEmpty() || !QDir().mkpath(m_root)) {
            m_temporary =
                std::make_unique<QTemporaryDir>(QDir::temp().filePath(QStringLiteral("yanhe-XXXXXX")));
            m_root = m_temporary->path();
        }
    }

    int take()
    {
        const QMutexLocker lock(&m_mutex);
        for (int index = 0;; ++index) {
            if (m_locks.contains(index))
                continue;
            auto held = std::make_unique<QLockFile>(folder(index) + QStringLiteral(".lock"));
            held->setStaleLockTime(0); // stale only when its process is gone
            // A tool that ended without ending its soffice leaves a stale lock and a
            // soffice still on the profile: a new one there would hand over to it and exit.
            if (held->tryLock(0) && !sofficeRunsOn(folder(index))) {
                m_locks.emplace(index, std::move(held));
                return index;
            }
        }
    }
    void give(int index)
    {
        const QMutexLocker lock(&m_mutex);
        m_locks.erase(index);
    }
    // True when no running soffice, of this process or another, uses the profile.
    bool isFree(const QString& profile)
    {
        {
            const QMutexLocker lock(&m_mutex);
            for (const auto& [index, held] : m_locks) {
                if (QDir::cleanPath(folder(index)) == QDir::cleanPath(profile))
                    return false;
            }
        }
        QLockFile probe(profile + QStringLiteral(".lock"));
        probe.setStaleLockTime(0);
        if (!probe.tryLock(0))
            return false;
        probe.unlock();
        return true;
    }
    QString folder(int index) const
    {
        return QDir(m_root).filePath(
            QStringLiteral("%1-%2").arg(QLatin1String(OwnProcesses::kProfileMarker)).arg(index));
    }

private:
    QMutex m_mutex;
    QString m_root;
    std::unique_ptr<QTemporaryDir> m_temporary;
    std::map<int, std::unique_ptr<QLockFile>> m_locks;
};

Profiles& profiles()
{
    static Profiles instance;
    return instance;
}

} // namespace

// ---------------------------------------------------------------- UnoOffice

UnoOffice::UnoOffice()
    : m_timeoutMs(Watchdog::defaultTimeoutMs())
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

void UnoOffice::ensureRunning()
{
    if (running())
        return;
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
    const QString program = LibreOfficeInstallation::programFolder();
    const Reference<uno::XComponentContext> local = localContext();
    static std::atomic<int> serial{0};
    m_pipe = QStringLiteral("yanhe-%1-%2").arg(QCoreApplication::applicationPid()).arg(++serial);
    m_profile = profiles().take();

    launch(program);
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
            launch(program);
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
        QThread::msleep(50);
    }
}

void UnoOffice::launch(const QString& program)
{
    if (m_pid > 0)
        OwnProcesses::remove(m_pid);
    m_process = std::make_unique<QProcess>();
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(QProcess::nullDevice());
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

namespace {

QString lockFileOf(const QString& path)
{
    const QFileInfo info(path);
    return info.dir().filePath(QStringLiteral(".~lock.") + info.fileName() + QLatin1Char('#'));
}

// The tool profile a document lock file names; empty for anybody else's lock.
QString lockingProfile(const QString& lockFile)
{
    QFile file(lockFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString content = QString::fromUtf8(file.read(4096));
    const qsizetype at = content.indexOf(QLatin1String(OwnProcesses::kProfileMarker));
    if (at < 0)
        return {};
    const qsizetype start = content.lastIndexOf(QLatin1String("file://"), at);
    const qsizetype end = content.indexOf(QLatin1Char(';'), at);
    return QDir::cleanPath(QUrl(content.mid(start, end < 0 ? -1 : end - start)).toLocalFile());
}

// A lock file that a soffice of this tool left behind when it was ended: it
// names one of the tool's profiles, and no soffice runs on that profile now.
bool isStaleOwnLock(const QString& lockFile)
{
    const QString profile = lockingProfile(lockFile);
    return !profile.isEmpty() && (!QFileInfo::exists(profile) || profiles().isFree(profile));
}

} // namespace

Reference<lang::XComponent> UnoOffice::load(const QString& path, DocumentKind kind)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw RuntimeError(RuntimeError::FileNotFound, FailureText::missing());
    if (info.size() == 0)
        throw RuntimeError(RuntimeError::PathFileAccess,
                           kind == DocumentKind::Text ? FailureText::notWordDocument()
                                                      : FailureText::notWorkbook(),
                           QStringLiteral("empty file"));
    const QString lock = lockFileOf(path);
    if (QFileInfo::exists(lock) && isStaleOwnLock(lock))
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
    if (asked->password)
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
    try {
        document = call([&] {
            const Reference<frame::XComponentLoader> loader(m_desktop, uno::UNO_QUERY_THROW);
            return loader->loadComponentFromURL(url, rtl::OUString("_blank"), 0, arguments);
        });
        m_loaded.append(path);
    } catch (const RuntimeError& error) {
        if (!running())
            throw; // the office program itself failed, not the file
        detail = error.detail();
    }
    if (!document.is())
        throw loadFailure(*asked, detail.isEmpty() ? describe(detected) : detail);
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

void UnoOffice::finish()
{
    if (m_watchdog.disarm()) {
        forget();
        throw RuntimeError(RuntimeError::Automation, FailureText::notResponding(),
                           QStringLiteral("a call took longer than %1 ms").arg(m_timeoutMs));
    }
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
        forget();
        return {RuntimeError::Automation, FailureText::stopped(), detail};
    }
    return {RuntimeError::Automation, FailureText::officeFailed(), detail};
}

void UnoOffice::forget()
{
    m_detector.reset();
    m_desktop.clear();
    m_context.clear();
    if (m_process) {
        if (m_process->state() != QProcess::NotRunning) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
        m_process.reset();
        // An ended soffice leaves the lock files of its open documents behind.
        const QString profile = QDir::cleanPath(profiles().folder(m_profile));
        for (const QString& path : std::as_const(m_loaded)) {
            const QString lock = lockFileOf(path);
            if (QFileInfo::exists(lock) && lockingProfile(lock) == profile)
                QFile::remove(lock);
        }
    }
    m_loaded.clear();
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
