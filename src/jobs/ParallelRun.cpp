#include "ParallelRun.h"

#include "StopSignals.h"
#include "WorkerHost.h"
#include "app/Batch.h"
#include "app/Job.h"
#include "app/JobHost.h"
#include "app/RuntimeError.h"
#include "office/OfficeRegistry.h"
#include "office/ooxml/SheetEngine.h"
#include "office/ooxml/WordEngine.h"

#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace jobs {

namespace {

using Record = WorkerRecord;

struct Row
{
    bool done = false;
    QList<Record> records;
    qsizetype sent = 0;
    // What the row's worker reported before its first row, shown before that row.
    std::optional<QList<Record>> preamble;
    // Its worker died on it: the bar's step and the status line are the run's to give.
    bool died = false;
};

struct Worker
{
    QProcess process;
    QList<int> rows;
    int current = -1; // the row begun last
    bool past = false;
    bool ended = false;
    QList<Record> preamble;
    QByteArray pending;
};

class Run
{
public:
    Run(JobHost& host, const QStringList& files, const JobRow& row, const std::any& inputs, QString program)
        : m_host(host)
        , m_files(files)
        , m_program(std::move(program))
        , m_rows(files.size())
    {
        // The job and the inputs as they are now, then the list: what every worker reads first.
        m_request += Record{Record::Command, row.command}.encode();
        // Every field, the empty ones too: a worker starts from blank inputs.
        for (const InputField& field : row.fields)
            m_request += Record{Record::Text, field.key + QLatin1Char('\t') + field.get(inputs)}.encode();
        for (const QString& file : m_files)
            m_request += Record{Record::File, file}.encode();
    }

    int exec(int jobs)
    {
        jobs = std::min<int>(jobs, int(m_files.size()));
        for (int k = 0; k < jobs; ++k) {
            QList<int> share;
            for (int row = k; row < m_files.size(); row += jobs)
                share << row;
            start(share);
        }
        // A stop asked for by a signal reaches the workers from the event loop.
        QTimer stopWatch;
        QObject::connect(&stopWatch, &QTimer::timeout, [this] { stopWhenAsked(); });
        stopWatch.start(50);
        if (m_running > 0)
            m_loop.exec();
        stopWatch.stop();
        pump();
        // Lines a worker wrote after its last file, once each, unless the last file's worker wrote them too.
        QList<Record> delivered = m_rows.isEmpty() ? QList<Record>() : m_rows.last().records;
        for (const Record& record : std::as_const(m_after)) {
            if (!delivered.contains(record)) {
                deliver(record);
                delivered << record;
            }
        }
        if (m_left > 0)
            m_host.reportStopped(m_left);
        return m_failed ? 1 : 0;
    }

    // Files that failed, as their workers counted them, and those a dead worker cost.
    int failures() const { return m_failures; }

private:
    // Each worker stops after the file in hand, as a run on one office process does:
    // asked by a signal (yanhe-cli) or by the host (the window's stop).
    void stopWhenAsked()
    {
        if (m_stopping || (stopSignal() == 0 && !m_host.stopRequested()))
            return;
        m_stopping = true;
#ifdef Q_OS_LINUX
        for (const auto& worker : m_workers) {
            if (!worker->ended && worker->process.processId() > 0)
                ::kill(pid_t(worker->process.processId()), SIGINT);
        }
#endif
    }

    // The rows of a worker that ended after the stop and never begun: left.
    void leaveUnbegun(const Worker& worker)
    {
        for (const int row : worker.rows) {
            if (row > worker.current && !m_rows[row].done) {
                m_rows[row].done = true;
                ++m_left;
            }
        }
    }

    void start(const QList<int>& rows)
    {
        m_workers.push_back(std::make_unique<Worker>());
        Worker& worker = *m_workers.back();
        worker.rows = rows;
        QStringList numbers;
        for (const int row : rows)
            numbers << QString::number(row);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(kWorkerRows), numbers.join(QLatin1Char(',')));
        worker.process.setProcessEnvironment(environment);
        worker.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        worker.process.setProgram(m_program);
#ifdef Q_OS_LINUX
        // A worker ends with this process however it ends. The death signal is
        // sent when the forking thread ends: workers are started from the main thread.
        const pid_t parent = ::getpid();
        worker.process.setChildProcessModifier([parent] {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent)
                ::_exit(1);
        });
#endif
        QObject::connect(&worker.process, &QProcess::readyReadStandardOutput,
                         [this, &worker] { read(worker); });
        QObject::connect(
            &worker.process, &QProcess::finished, [this, &worker](int code, QProcess::ExitStatus status) {
                // A worker's own end is 0 or 1; more is a worker told to end by a signal.
                if (status == QProcess::CrashExit)
                    ended(worker, QStringLiteral("worker process crashed"));
                else if (code > 1)
                    ended(worker, QStringLiteral("worker process ended with exit code %1").arg(code));
                else
                    ended(worker, {}, code);
            });
        QObject::connect(&worker.process, &QProcess::errorOccurred,
                         [this, &worker](QProcess::ProcessError error) {
                             if (error == QProcess::FailedToStart)
                                 ended(worker, worker.process.errorString());
                         });
        ++m_running;
        worker.process.start();
        worker.process.write(m_request);
        worker.process.closeWriteChannel();
    }

    void read(Worker& worker)
    {
        worker.pending += worker.process.readAllStandardOutput();
        qsizetype from = 0;
        for (qsizetype end; (end = worker.pending.indexOf('\n', from)) >= 0; from = end + 1) {
            if (const auto record = Record::decode(worker.pending.sliced(from, end - from)))
                take(worker, *record);
        }
        worker.pending.remove(0, from);
        pump();
    }

    void take(Worker& worker, const Record& record)
    {
        switch (record.kind) {
        case Record::Begin: {
            const int row = record.text.toInt();
            if (row < 0 || row >= m_rows.size() || !worker.rows.contains(row))
                return;
            if (worker.current < 0)
                m_rows[row].preamble = worker.preamble;
            for (const int earlier : std::as_const(worker.rows)) {
                if (earlier < row)
                    m_rows[earlier].done = true;
            }
            worker.current = row;
            worker.past = false;
            return;
        }
        case Record::Past:
            if (worker.current >= 0)
                m_rows[worker.current].done = true;
            worker.past = true;
            return;
        case Record::Failures:
            m_failures += record.text.toInt();
            return;
        default:
            if (worker.current < 0)
                worker.preamble << record;
            else if (!worker.past) {
                learn(worker.current, record);
                m_rows[worker.current].records << record;
            }
            // The status after a worker's last file is the last file's worker's to say.
            else if (record.kind != Record::Status)
                m_after << record;
        }
    }

    // why is empty when the worker ended by itself.
    void ended(Worker& worker, const QString& why, int code = 0)
    {
        if (worker.ended)
            return;
        worker.ended = true;
        read(worker);
        if (why.isEmpty() && m_stopping) {
            // It finished the file in hand; the files after it are left.
            if (code != 0)
                m_failed = true;
            if (worker.current < 0 && !worker.rows.isEmpty())
                m_rows[worker.rows.first()].preamble = worker.preamble;
            leaveUnbegun(worker);
            for (const int row : std::as_const(worker.rows)) {
                if (row <= worker.current)
                    m_rows[row].done = true;
            }
        } else if (why.isEmpty()) {
            if (code != 0)
                m_failed = true;
            if (worker.current < 0 && !worker.rows.isEmpty())
                m_rows[worker.rows.first()].preamble = worker.preamble;
            for (const int row : std::as_const(worker.rows))
                m_rows[row].done = true;
        } else {
            // The file it was in the middle of fails. One that died before its first
            // file would die again there: that file fails too, so every new worker
            // has fewer files. One that died between files costs none.
            int failed = -1;
            if (worker.current >= 0 && !worker.past)
                failed = worker.current;
            // (One that a stop ended before its first file had not begun it.)
            else if (worker.current < 0 && !worker.rows.isEmpty() && !m_stopping)
                failed = worker.rows.first();
            if (failed >= 0) {
                if (worker.current < 0)
                    m_rows[failed].preamble = worker.preamble;
                reportFailure(failed, why);
                m_failed = true;
            }
            const int last = std::max(failed, worker.current);
            QList<int> rest;
            for (const int row : std::as_const(worker.rows)) {
                if (row > last)
                    rest << row;
                else
                    m_rows[row].done = true;
            }
            if (m_stopping) {
                for (const int row : std::as_const(rest)) {
                    m_rows[row].done = true;
                    ++m_left;
                }
            } else if (!rest.isEmpty()) {
                start(rest);
            }
        }
        --m_running;
        pump();
        if (m_running == 0)
            m_loop.quit();
    }

    // The file a dead worker was working on: its failure line, as the job writes one.
    void reportFailure(int row, const QString& why)
    {
        WorkerHost lines(m_files, {}, [&](const Record& record) { m_rows[row].records << record; });
        Batch(lines).reportFailure(
            m_files.at(row), Batch::Stage::Process,
            RuntimeError(RuntimeError::Automation, QStringLiteral("处理此文件的进程意外退出"), why));
        m_rows[row].died = true;
        ++m_failures;
    }

    // What the job shows after each file, as the rows that went well tell it.
    void learn(int row, const Record& record)
    {
        if (record.kind == Record::ProgressValue)
            m_barSteps = true;
        else if (record.kind == Record::Status && record.text == m_files.at(row))
            m_statusLabel = StatusLabel::Path;
        else if (record.kind == Record::Status && record.text == Batch::progressText(row + 1))
            m_statusLabel = StatusLabel::Progress;
    }

    // After a file whose worker died: the bar's step and the status line the job would have given.
    void fileDone(int row)
    {
        if (m_barSteps)
            deliver({Record::ProgressValue, QString::number(row + 1)});
        if (m_statusLabel == StatusLabel::Path)
            deliver({Record::Status, m_files.at(row)});
        else if (m_statusLabel == StatusLabel::Progress)
            deliver({Record::Status, Batch::progressText(row + 1)});
    }

    // Everything that may be shown in list order now.
    void pump()
    {
        while (m_next < m_rows.size()) {
            Row& row = m_rows[m_next];
            if (row.preamble) {
                if (!m_preamble) {
                    m_preamble = *row.preamble;
                    for (const Record& record : std::as_const(*m_preamble))
                        deliver(record);
                } else {
                    // Every worker starts the same way: shown once, as one run would.
                    for (const Record& record : std::as_const(*row.preamble)) {
                        if (!m_preamble->contains(record))
                            deliver(record);
                    }
                }
                row.preamble.reset();
            }
            while (row.sent < row.records.size())
                deliver(row.records.at(row.sent++));
            if (!row.done)
                return;
            if (row.died)
                fileDone(int(m_next));
            ++m_next;
        }
    }

    void deliver(const Record& record)
    {
        switch (record.kind) {
        case Record::Log:
            m_host.appendLog(record.text);
            break;
        case Record::Journal:
            m_host.journal(record.text);
            break;
        case Record::Status:
            m_host.setStatus(record.text);
            break;
        case Record::Message:
            m_host.message(record.text, {}, JobHost::Icon::Warning);
            break;
        case Record::ClearLog:
            m_host.clearLog();
            break;
        case Record::ProgressValue:
            m_host.setProgressValue(record.text.toInt());
            break;
        case Record::ProgressMax:
            m_host.setProgressMax(record.text.toInt());
            break;
        case Record::ProgressShown:
            m_host.setProgressVisible(record.text == QLatin1String("1"));
            break;
        case Record::Beep:
            m_host.beep();
            break;
        default:
            break;
        }
    }

    enum class StatusLabel { Unknown, Progress, Path };

    JobHost& m_host;
    const QStringList m_files;
    const QString m_program;
    QByteArray m_request;
    bool m_barSteps = false;
    StatusLabel m_statusLabel = StatusLabel::Unknown;
    QList<Row> m_rows;
    std::vector<std::unique_ptr<Worker>> m_workers;
    int m_next = 0;
    int m_running = 0;
    bool m_failed = false;
    int m_failures = 0;
    bool m_stopping = false;
    int m_left = 0; // files not begun when the run stopped
    std::optional<QList<Record>> m_preamble;
    QList<Record> m_after;
    QEventLoop m_loop;
};

} // namespace

int runParallel(JobHost& host, const QStringList& files, int jobs, const JobRow& row, const std::any& inputs,
                const QString& program, int* failures)
{
    Run run(host, files, row, inputs, program);
    const int code = run.exec(jobs);
    if (failures)
        *failures = run.failures();
    return code;
}

namespace {

// MemAvailable of /proc/meminfo in MiB; -1 where there is none.
qint64 availableMiB()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : meminfo.readAll().split('\n')) {
        if (line.startsWith("MemAvailable:"))
            return line.mid(13).trimmed().split(' ').value(0).toLongLong() / 1024;
    }
    return -1;
}

} // namespace

int automaticJobs(int officeFiles, int losslessFiles)
{
    const int cores = std::max(1, QThread::idealThreadCount());
    const qint64 available = availableMiB();
    const int byMemory = available < 0 ? cores : int(std::min<qint64>(cores, available / kOfficeProcessMiB));
    // Every worker may start an office process once an office file reaches it.
    const int limit = officeFiles > 0 ? std::min(cores, byMemory) : cores;
    return std::max(1, std::min(limit, officeFiles + losslessFiles / kLosslessFilesPerWorker));
}

int automaticJobs(const QStringList& files)
{
    const int office = libreOfficeFiles(files);
    return automaticJobs(office, int(files.size()) - office);
}

int libreOfficeFiles(const QStringList& files)
{
    switch (OfficeRegistry::engineFromEnvironment()) {
    case OfficeRegistry::Engine::Lossless:
        return 0;
    case OfficeRegistry::Engine::LibreOffice:
        return int(files.size());
    case OfficeRegistry::Engine::Chosen:
        break;
    }
    return int(std::count_if(files.cbegin(), files.cend(), [](const QString& file) {
        return !ooxml::takesDocument(file) && !ooxml::takesWorkbook(file);
    }));
}

} // namespace jobs
