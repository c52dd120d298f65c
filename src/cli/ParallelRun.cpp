#include "ParallelRun.h"

#include "CliOutput.h"
#include "WorkerHost.h"
#include "app/Batch.h"
#include "app/JobHost.h"
#include "app/RuntimeError.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <memory>
#include <optional>
#include <vector>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace cli {

namespace {

using Record = WorkerRecord;

struct Row
{
    bool done = false;
    QList<Record> records;
    qsizetype sent = 0;
    // What the row's worker reported before its first row, shown before that row.
    std::optional<QList<Record>> preamble;
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
    Run(JobHost& host, const QStringList& files, const QStringList& arguments)
        : m_host(host)
        , m_files(files)
        , m_arguments(arguments)
        , m_rows(files.size())
    {}

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

private:
    // Each worker stops after the file in hand, as a run on one office process does.
    void stopWhenAsked()
    {
        if (m_stopping || stopSignal() == 0)
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
        worker.process.setProgram(QCoreApplication::applicationFilePath());
        worker.process.setArguments(m_arguments);
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
        QByteArray list;
        for (const QString& file : m_files)
            list += Record{Record::File, file}.encode();
        worker.process.write(list);
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
        default:
            if (worker.current < 0)
                worker.preamble << record;
            else if (!worker.past)
                m_rows[worker.current].records << record;
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
        default:
            break;
        }
    }

    JobHost& m_host;
    const QStringList m_files;
    const QStringList m_arguments;
    QList<Row> m_rows;
    std::vector<std::unique_ptr<Worker>> m_workers;
    int m_next = 0;
    int m_running = 0;
    bool m_failed = false;
    bool m_stopping = false;
    int m_left = 0; // files not begun when the run stopped
    std::optional<QList<Record>> m_preamble;
    QList<Record> m_after;
    QEventLoop m_loop;
};

} // namespace

int runParallel(JobHost& host, const QStringList& files, int jobs, const QStringList& arguments)
{
    return Run(host, files, arguments).exec(jobs);
}

} // namespace cli
