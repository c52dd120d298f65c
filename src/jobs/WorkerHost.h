#pragma once

#include "app/JobHost.h"

#include <QList>
#include <QSet>
#include <QStringList>
#include <functional>
#include <optional>

namespace jobs {

// The environment variable that makes the window or yanhe-cli a worker of a
// run on several office processes: the rows (indices into the run's list of
// files, comma-separated) it works on.
inline constexpr char kWorkerRows[] = "YANHE_WORKER_ROWS";

// What a worker tells the run that started it, one record per line on stdout;
// the run gives it the job, its inputs and the list of files the same way, on its stdin.
struct WorkerRecord
{
    enum Kind : char {
        Begin = 'B',         // the worker starts on a row (text: its index)
        Past = 'D',          // the worker has moved past its last row begun
        Log = 'L',           // a line of the log box
        Journal = 'J',       // a journal message
        Status = 'S',        // the status line's new text
        Message = 'M',       // a message box that reports a problem
        ClearLog = 'E',      // the log box emptied
        ProgressValue = 'P', // the bar's value (text: the number)
        ProgressMax = 'X',   // the bar's maximum (text: the number)
        ProgressShown = 'V', // the bar shown ("1") or hidden ("0")
        Beep = 'W',          // the beep
        Failures = 'N',      // at the worker's end: how many of its files failed (text: the number)
        // From the run to the worker:
        Command = 'C', // the job, by its command name
        Text = 'T',    // a field of the job's inputs: its key, a tab, its value
        File = 'F',    // a file of the list, in list order
    };
    Kind kind = Log;
    QString text;

    friend bool operator==(const WorkerRecord&, const WorkerRecord&) = default;

    // One line, newline included: texts may hold any character, line breaks too.
    QByteArray encode() const;
    // A line without its newline; nothing when it is not a record.
    static std::optional<WorkerRecord> decode(QByteArray line);
};

// A worker's host: every file of the run is a ticked row, as in a run on one
// office process, but only the worker's own rows are worked on here; the
// others are elsewhere. What the job shows or journals becomes records.
class WorkerHost final : public JobHost
{
public:
    using Sink = std::function<void(const WorkerRecord&)>;
    WorkerHost(QStringList files, const QList<int>& ownRows, Sink sink);

    int rowCount() const override { return int(m_files.size()); }
    bool rowChecked(int row) const override { return row >= 0 && row < m_files.size(); }
    QString rowText(int row) const override { return m_files.value(row); }
    void rowReached(int row) override;
    bool rowElsewhere(int row) const override { return !m_own.contains(row); }
    // The office jobs remove no rows; the row numbers are shared with the other workers.
    void removeRow(int) override {}
    void setProgressValue(int value) override
    {
        m_sink({WorkerRecord::ProgressValue, QString::number(value)});
    }
    void setProgressMax(int max) override { m_sink({WorkerRecord::ProgressMax, QString::number(max)}); }
    void setProgressVisible(bool visible) override
    {
        m_sink({WorkerRecord::ProgressShown, visible ? QStringLiteral("1") : QStringLiteral("0")});
    }
    QString status() const override { return m_status; }
    void setStatus(const QString& text) override;
    void clearLog() override { m_sink({WorkerRecord::ClearLog, {}}); }
    void appendLog(const QString& line) override { m_sink({WorkerRecord::Log, line}); }
    void journal(const QString& message) override { m_sink({WorkerRecord::Journal, message}); }
    void yield() override {}
    void beep() override { m_sink({WorkerRecord::Beep, {}}); }
    // The run that started it asked it to stop (SIGINT): the run says how many
    // files were left, as it alone knows.
    bool stopRequested() const override;
    void reportStopped(int) override {}
    void message(const QString& text, const QString& title, Icon icon) override;
    QString input(const QString&, const QString&, const QString& defaultText) override { return defaultText; }
    void recollect() override {}

private:
    QStringList m_files;
    QSet<int> m_own;
    Sink m_sink;
    QString m_status;
    // The own row begun last (-1: none yet), and whether the walk has moved past it.
    int m_current = -1;
    bool m_past = false;

public:
    // For tests: called as a worker begins one of its own rows, before any work
    // on it (a test's build of the program ends the worker there, as a crash would).
    static void setRowBegunSeam(std::function<void(int row)> seam);
};

// The rows a worker was given; nothing when this process is not a worker.
std::optional<QList<int>> workerRows();

// A worker's whole run: the job, its inputs and the files read from stdin, the
// job on its rows, records on stdout. The exit code as a run on one office
// process gives for these rows. The caller has a QCoreApplication.
int runWorker(const QList<int>& rows);

} // namespace jobs
