#include "SystemRunningOffice.h"

#include "OwnProcesses.h"
#include "com/ComEngines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThread>
#include <stdexcept>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_LINUX

using namespace Qt::StringLiterals;

const QSet<QString> kWriterExtensions = {u"doc"_s, u"docx"_s, u"docm"_s, u"dot"_s, u"dotx"_s, u"dotm"_s,
                                         u"odt"_s, u"ott"_s,  u"fodt"_s, u"rtf"_s, u"wps"_s,  u"wpt"_s};
const QSet<QString> kCalcExtensions = {u"xls"_s, u"xlsx"_s, u"xlsm"_s, u"xlsb"_s, u"xlt"_s, u"xltx"_s,
                                       u"ods"_s, u"ots"_s,  u"fods"_s, u"csv"_s,  u"et"_s,  u"ett"_s};

QByteArray readProc(qint64 pid, const char* file)
{
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

qint64 parentOf(qint64 pid)
{
    // "pid (comm) state ppid ...": comm may hold blanks and parentheses.
    const QByteArray stat = readProc(pid, "stat");
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() : 0;
}

bool isInTreeOf(qint64 pid, qint64 root)
{
    for (qint64 p = pid; p > 1; p = parentOf(p)) {
        if (p == root)
            return true;
    }
    return false;
}

// Started by this tool: one of its own processes or a descendant of one, or an
// office program running on a profile of this tool's.
bool startedByThisTool(qint64 pid)
{
    for (qint64 p = pid; p > 1; p = parentOf(p)) {
        if (OwnProcesses::contains(p))
            return true;
    }
    return readProc(pid, "cmdline").contains(OwnProcesses::kProfileMarker);
}

// The user's LibreOffice processes that this tool did not start; with a root,
// only those in its process tree.
QList<qint64> userOfficeProcesses(qint64 root)
{
    QList<qint64> found;
    const uid_t me = ::getuid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        struct stat info
        {};
        if (::stat(QFile::encodeName(QStringLiteral("/proc/") + entry).constData(), &info) != 0 ||
            info.st_uid != me)
            continue;
        if (readProc(pid, "comm").trimmed() != "soffice.bin")
            continue;
        if (root > 0 && !isInTreeOf(pid, root))
            continue;
        if (!startedByThisTool(pid))
            found << pid;
    }
    return found;
}

// The office files a process holds open.
QStringList openFilesOf(qint64 pid, const QSet<QString>& extensions)
{
    QStringList files;
    const QString fdFolder = QStringLiteral("/proc/%1/fd").arg(pid);
    const QStringList fds = QDir(fdFolder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& fd : fds) {
        const QString target = QFile::symLinkTarget(fdFolder + QLatin1Char('/') + fd);
        const QFileInfo info(target);
        if (!target.isEmpty() && info.isFile() && extensions.contains(info.suffix().toLower()) &&
            !files.contains(target))
            files << target;
    }
    return files;
}

class LibreOfficeRunning final : public RunningOffice
{
public:
    // root 0: every process of the user.
    explicit LibreOfficeRunning(qint64 root)
        : m_root(root)
    {}

    std::optional<QStringList> openDocuments(const QString& progId) override
    {
        const QString program = progId.toLower();
        const QSet<QString>* extensions = program.startsWith(QLatin1String("word."))    ? &kWriterExtensions
                                          : program.startsWith(QLatin1String("excel.")) ? &kCalcExtensions
                                                                                        : nullptr;
        const QList<qint64> processes = userOfficeProcesses(m_root);
        if (!extensions || processes.isEmpty())
            return std::nullopt;
        QStringList documents;
        for (const qint64 pid : processes)
            documents << openFilesOf(pid, *extensions);
        return documents;
    }

    int endAllProcesses(const QString& exeName) override
    {
        const QString name = exeName.toLower();
        if (name != QLatin1String("winword.exe") && name != QLatin1String("excel.exe"))
            return 0;
        // LibreOffice is one program for documents and workbooks.
        const QList<qint64> processes = userOfficeProcesses(m_root);
        QStringList heldOpen;
        for (const qint64 pid : processes) {
            heldOpen << openFilesOf(pid, kWriterExtensions) << openFilesOf(pid, kCalcExtensions);
            ::kill(static_cast<pid_t>(pid), SIGTERM);
        }
        int ended = 0;
        for (const qint64 pid : processes) {
            for (int wait = 0; wait < 30 && ::kill(static_cast<pid_t>(pid), 0) == 0; ++wait)
                QThread::msleep(100);
            if (::kill(static_cast<pid_t>(pid), 0) == 0)
                ::kill(static_cast<pid_t>(pid), SIGKILL);
            ++ended;
        }
        // An ended LibreOffice leaves its lock files behind; they would keep the
        // documents locked for the next program that opens them.
        for (const QString& document : std::as_const(heldOpen)) {
            const QFileInfo info(document);
            QFile::remove(
                info.dir().filePath(QStringLiteral(".~lock.") + info.fileName() + QLatin1Char('#')));
        }
        return ended;
    }

private:
    const qint64 m_root;
};

#elif !defined(Q_OS_WIN)

// Elsewhere the tool knows no running office program.
class NoRunningOffice final : public RunningOffice
{
public:
    std::optional<QStringList> openDocuments(const QString&) override { return std::nullopt; }
    int endAllProcesses(const QString&) override { return 0; }
};

#endif

} // namespace

std::unique_ptr<RunningOffice> createSystemRunningOffice()
{
#if defined(Q_OS_LINUX)
    return std::make_unique<LibreOfficeRunning>(0);
#elif defined(Q_OS_WIN)
    static const std::unique_ptr<comseam::Runtime> com = comseam::Runtime::create();
    return comseam::runningOffice(*com);
#else
    return std::make_unique<NoRunningOffice>();
#endif
}

#ifdef Q_OS_LINUX
std::unique_ptr<RunningOffice> createSystemRunningOfficeUnder(qint64 root)
{
    // A root of 0 or 1 would be the whole system, the opposite of what the caller asks.
    if (root <= 1)
        throw std::invalid_argument("createSystemRunningOfficeUnder: no process tree to narrow to");
    return std::make_unique<LibreOfficeRunning>(root);
}
#endif
