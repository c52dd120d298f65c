#include "UnoOffice.h"

#include "Installation.h"
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
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionDisapprove.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/implbase1.hxx>
#include <csignal>
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

QString fileUrl(const QString& path)
{
    rtl::OUString url;
    osl::FileBase::getFileURLFromSystemPath(toOUString(QDir::cleanPath(QDir(path).absolutePath())), url);
    return toQString(url);
}

// ---------------------------------------------------------------- Watchdog

Watchdog::Watchdog()
    : m_thread([this] { run(); })
{}

Watchdog::~Watchdog()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void Watchdog::arm(qint64 pid, int milliseconds)
{
    {
        const std::lock_guard lock(m_mutex);
        m_pid = pid;
        m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        m_armed = pid > 0;
        m_fired = false;
    }
    m_wake.notify_all();
}

bool Watchdog::disarm()
{
    const std::lock_guard lock(m_mutex);
    m_armed = false;
    return m_fired;
}

void Watchdog::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (!m_armed) {
            m_wake.wait(lock);
            continue;
        }
        if (m_wake.wait_until(lock, m_deadline) == std::cv_status::timeout && m_armed &&
            std::chrono::steady_clock::now() >= m_deadline) {
#ifdef Q_OS_UNIX
            ::kill(static_cast<pid_t>(m_pid), SIGKILL);
#endif
            m_fired = true;
            m_armed = false;
        }
    }
}

// ---------------------------------------------------------------- helpers

namespace {

// Refuses every question a document may ask while loading: passwords, repair,
// locked files, macros. The load then fails instead of waiting for a user.
class RefuseInteraction final : public cppu::WeakImplHelper1<task::XInteractionHandler>
{
public:
    void SAL_CALL handle(const Reference<task::XInteractionRequest>& request) override
    {
        const uno::Sequence<Reference<task::XInteractionContinuation>> continuations =
            request->getContinuations();
        for (const auto& continuation : continuations) {
            if (Reference<task::XInteractionAbort>(continuation, uno::UNO_QUERY).is()) {
                continuation->select();
                return;
            }
        }
        for (const auto& continuation : continuations) {
            if (Reference<task::XInteractionDisapprove>(continuation, uno::UNO_QUERY).is()) {
                continuation->select();
                return;
            }
        }
    }
};

beans::PropertyValue property(const char* name, const uno::Any& value)
{
    beans::PropertyValue p;
    p.Name = rtl::OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

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
            throw RuntimeError(429, QStringLiteral("ActiveX 部件不能创建对象：找不到 LibreOffice"));
        // The installation's fundamentalrc names the registries that unorc refers to.
        qputenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" + QFile::encodeName(QDir(program).filePath(
                                                                QStringLiteral("fundamentalrc"))));
        try {
            context = cppu::defaultBootstrap_InitialComponentContext(
                toOUString(fileUrl(QDir(program).filePath(QStringLiteral("unorc")))));
        } catch (const uno::Exception& error) {
            throw RuntimeError(429, QStringLiteral("ActiveX 部件不能创建对象：") + toQString(error.Message));
        }
    }
    return context;
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
            if (held->tryLock(0)) {
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
    : m_timeoutMs(defaultTimeoutMs())
{}

UnoOffice::~UnoOffice()
{
    terminate();
}

int UnoOffice::defaultTimeoutMs()
{
    bool ok = false;
    const int configured = qEnvironmentVariableIntValue("YANHE_OFFICE_TIMEOUT_MS", &ok);
    return ok && configured > 0 ? configured : 60000;
}

bool UnoOffice::running() const
{
    // A process that ended is noticed here: waitForFinished(0) collects it.
    return m_process && m_process->state() == QProcess::Running && !m_process->waitForFinished(0) &&
           m_desktop.is();
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
    const Reference<bridge::XUnoUrlResolver> resolver = bridge::UnoUrlResolver::create(local);
    const rtl::OUString url =
        toOUString(QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(m_pipe));
    for (QDeadlineTimer deadline(std::max(m_timeoutMs, 30000));;) {
        try {
            m_context.set(resolver->resolve(url), uno::UNO_QUERY_THROW);
            m_desktop = frame::Desktop::create(m_context);
            return;
        } catch (const connection::NoConnectException&) {
            // On a new profile soffice sets it up, then exits asking to be started again.
            constexpr int kRestartRequested = 81;
            if (m_process->waitForFinished(0) && m_process->exitStatus() == QProcess::NormalExit &&
                m_process->exitCode() == kRestartRequested && !deadline.hasExpired()) {
                launch(program);
                continue;
            }
            if (deadline.hasExpired() || m_process->state() != QProcess::Running) {
                forget();
                throw RuntimeError(429, QStringLiteral("ActiveX 部件不能创建对象：LibreOffice 没有应答"));
            }
            QThread::msleep(50);
        } catch (const uno::Exception& error) {
            forget();
            throw RuntimeError(429, QStringLiteral("ActiveX 部件不能创建对象：") + toQString(error.Message));
        }
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
        forget();
        throw RuntimeError(429,
                           QStringLiteral("ActiveX 部件不能创建对象：LibreOffice 无法启动（%1）").arg(why));
    }
    m_pid = m_process->processId();
    OwnProcesses::add(m_pid);
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

Reference<lang::XComponent> UnoOffice::load(const QString& path)
{
    const QString lock = lockFileOf(path);
    if (QFileInfo::exists(lock) && isStaleOwnLock(lock))
        QFile::remove(lock);
    const Reference<lang::XComponent> document = loadUrl(fileUrl(path));
    m_loaded.append(path);
    if (!document.is())
        throw RuntimeError(RuntimeError::PathFileAccess,
                           QStringLiteral("无法打开文件（加密、损坏、被锁定或不是文档）：") + path);
    return document;
}

Reference<lang::XComponent> UnoOffice::loadUrl(const QString& location)
{
    if (!running()) {
        forget();
        start();
    }
    const beans::PropertyValue properties[] = {
        property("Hidden", uno::Any(true)),
        property("MacroExecutionMode", uno::Any(document::MacroExecMode::NEVER_EXECUTE)),
        property("UpdateDocMode", uno::Any(document::UpdateDocMode::NO_UPDATE)),
        property("InteractionHandler", uno::Any(Reference<task::XInteractionHandler>(new RefuseInteraction))),
    };
    const uno::Sequence<beans::PropertyValue> arguments(properties, 4);
    const Reference<frame::XComponentLoader> loader(m_desktop, uno::UNO_QUERY_THROW);
    const rtl::OUString url = toOUString(location);
    return call([&] { return loader->loadComponentFromURL(url, rtl::OUString("_blank"), 0, arguments); });
}

void UnoOffice::finish()
{
    if (m_watchdog.disarm()) {
        forget();
        throw RuntimeError(440, QStringLiteral("办公软件超时没有应答，已结束它"));
    }
}

RuntimeError UnoOffice::failure(const QString& message, bool disposed)
{
    const bool timedOut = m_watchdog.disarm();
    if (timedOut) {
        forget();
        return {440, QStringLiteral("办公软件超时没有应答，已结束它")};
    }
    if (disposed || !running() || m_process->waitForFinished(0)) {
        forget();
        return {440, QStringLiteral("办公软件意外退出：") + message};
    }
    return {440, QStringLiteral("自动化错误：") + message};
}

void UnoOffice::forget()
{
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
        } catch (const uno::Exception&) {
            // It ends anyway below.
        }
        m_watchdog.disarm();
        if (m_process)
            m_process->waitForFinished(5000);
    }
    forget();
}

} // namespace unooffice
