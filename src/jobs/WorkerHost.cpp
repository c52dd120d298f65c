#include "WorkerHost.h"

#include "StopSignals.h"
#include "backup/BackupStore.h"
#include "jobs/JobTable.h"
#include "office/OfficeRegistry.h"

#include <QFile>
#include <QtGlobal>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>
#ifdef Q_OS_UNIX
#include <QDir>
#include <chrono>
#include <unistd.h>
#endif
#include <cstdio>
#include <cstdlib>

namespace jobs {

QByteArray WorkerRecord::encode() const
{
    QByteArray line;
    line += char(kind);
    line += '\t';
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '\\':
            line += "\\\\";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += c;
        }
    }
    return line + '\n';
}

std::optional<WorkerRecord> WorkerRecord::decode(QByteArray line)
{
    // A stream in text mode may have added a carriage return; the texts' own are escaped.
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.size() < 2 || line.at(1) != '\t' || !QByteArrayView("BDLJSMEPXVWNCTKF").contains(line.at(0)))
        return std::nullopt;
    QByteArray text;
    text.reserve(line.size());
    for (qsizetype i = 2; i < line.size(); ++i) {
        const char c = line.at(i);
        if (c != '\\' || i + 1 == line.size()) {
            text += c;
            continue;
        }
        const char next = line.at(++i);
        text += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return WorkerRecord{Kind(line.at(0)), QString::fromUtf8(text)};
}

WorkerHost::WorkerHost(QStringList files, const QList<int>& ownRows, Sink sink)
    : m_files(std::move(files))
    , m_own(ownRows.cbegin(), ownRows.cend())
    , m_sink(std::move(sink))
{}

namespace {

std::function<void(int)>& rowBegunSeam()
{
    static std::function<void(int)> seam;
    return seam;
}

} // namespace

void WorkerHost::setRowBegunSeam(std::function<void(int row)> seam)
{
    rowBegunSeam() = std::move(seam);
}

void WorkerHost::rowReached(int row)
{
    if (m_own.contains(row) && row != m_current) {
        m_sink({WorkerRecord::Begin, QString::number(row)});
        if (rowBegunSeam())
            rowBegunSeam()(row);
        m_current = row;
        m_past = false;
    } else if (!m_own.contains(row) && m_current >= 0 && row > m_current && !m_past) {
        m_sink({WorkerRecord::Past, {}});
        m_past = true;
    }
}

void WorkerHost::setStatus(const QString& text)
{
    m_status = text;
    m_sink({WorkerRecord::Status, text});
}

bool WorkerHost::stopRequested() const
{
    return stopSignal() != 0;
}

void WorkerHost::message(const QString& text, const QString&, Icon icon)
{
    if (icon != Icon::None)
        m_sink({WorkerRecord::Message, text});
}

std::optional<QList<int>> workerRows()
{
    if (!qEnvironmentVariableIsSet(kWorkerRows))
        return std::nullopt;
    QList<int> rows;
    for (const QString& part :
         qEnvironmentVariable(kWorkerRows).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int row = part.toInt(&ok);
        if (ok && row >= 0)
            rows << row;
    }
    return rows;
}

namespace {

// Whole lines, unbuffered: what a worker wrote before it died reaches the run.
void writeOut(const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
#ifdef Q_OS_UNIX
        const ssize_t written = ::write(STDOUT_FILENO, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
#else
        const qsizetype written = qsizetype(std::fwrite(data, 1, size_t(left), stdout));
        std::fflush(stdout);
#endif
        if (written <= 0)
            return;
        data += written;
        left -= written;
    }
}

#ifdef Q_OS_UNIX
int terminationPipe[2] = {-1, -1};

// The live child processes of this process: the office processes it started,
// also one that is being started and not yet known to its engine.
QList<qint64> children()
{
    QList<qint64> found;
    const QByteArray self = QByteArray::number(::getpid());
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(0) != "Z" && fields.at(1) == self)
            found << entry.toLongLong();
    }
    return found;
}

std::atomic<bool> ending{false};

void onTermination(int signal)
{
    ending = true;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(terminationPipe[1], &byte, 1);
}

// A worker told to end (its run ended) ends the office processes it started
// before it goes, as they would otherwise stay; its only children are office
// processes. The signal handler only wakes a thread: ending processes is no
// work for a handler. SIGINT (the run stopping, the user's Ctrl-C) is a stop
// after the file in hand instead (catchStopSignals).
void endOfficeWhenTold()
{
    if (::pipe(terminationPipe) != 0)
        return;
    std::thread([] {
        char signal = 0;
        while (::read(terminationPipe[0], &signal, 1) < 0 && errno == EINTR) {
        }
        // The office processes get the chance to end cleanly; one started meanwhile
        // (the engine replacing the one that ended) does not.
        QList<qint64> told = children();
        for (const qint64 pid : std::as_const(told))
            ::kill(pid_t(pid), SIGTERM);
        for (int i = 0; i < 60; ++i) {
            const QList<qint64> left = children();
            if (left.isEmpty())
                break;
            for (const qint64 pid : left) {
                if (!told.contains(pid) || i == 59)
                    ::kill(pid_t(pid), SIGKILL);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::_exit(128 + signal);
    }).detach();
    struct sigaction action = {};
    action.sa_handler = onTermination;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    // With the run gone, a record written is lost, not the end of the worker.
    std::signal(SIGPIPE, SIG_IGN);
}
#endif

// Once the worker is told to end, the job goes no further: the next file would
// start a new office process.
void holdWhenEnding()
{
#ifdef Q_OS_UNIX
    while (ending)
        ::pause();
#endif
}

} // namespace

int runWorker(const QList<int>& rows)
{
    // The list exactly as the run has it, and the inputs as it read them.
    QString command;
    QList<std::pair<QString, QString>> fields;
    QStringList files;
    QFile in;
    if (in.open(stdin, QIODevice::ReadOnly)) {
        for (const QByteArray& line : in.readAll().split('\n')) {
            const auto record = WorkerRecord::decode(line);
            if (!record)
                continue;
            switch (record->kind) {
            case WorkerRecord::Command:
                command = record->text;
                break;
            case WorkerRecord::Text: {
                const qsizetype tab = record->text.indexOf(QLatin1Char('\t'));
                if (tab > 0)
                    fields.append({record->text.left(tab), record->text.mid(tab + 1)});
                break;
            }
            case WorkerRecord::File:
                files << record->text;
                break;
            default:
                break;
            }
        }
    }
    const JobRow* row = JobTable::forCommand(command);
    if (!row)
        return 2;
    std::any inputs = row->blank();
    for (const auto& [key, value] : std::as_const(fields)) {
        for (const InputField& field : row->fields) {
            if (field.key == key)
                field.set(inputs, value);
        }
    }
#ifdef Q_OS_UNIX
    endOfficeWhenTold();
#endif
    catchStopSignals(false);
    WorkerHost host(files, rows, [](const WorkerRecord& record) {
        holdWhenEnding();
        writeOut(record.encode());
    });
    // The run's backups, in the folder the run that started this worker made.
    const std::unique_ptr<BackupStore> backups =
        BackupStore::join(qEnvironmentVariable(BackupStore::kRunVariable));
    FileKeeper::setCurrent(backups.get());
    OfficeRegistry& office = OfficeRegistry::system();
    const ReadInputs read = [&inputs] { return inputs; };
    JobContext context{host, read, office, office};
    const Batch::Result result = JobTable::run(*row, context);
    FileKeeper::setCurrent(nullptr);
    holdWhenEnding();
    writeOut(WorkerRecord{WorkerRecord::Failures, QString::number(result.failures)}.encode());
    return result.started && result.failures == 0 ? 0 : 1;
}

} // namespace jobs
