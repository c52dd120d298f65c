#include "Preview.h"

#include "JobTable.h"
#include "app/DryRun.h"
#include "app/FileKeeper.h"
#include "app/Job.h"
#include "app/JobHost.h"
#include "app/RuntimeError.h"

namespace jobs {

namespace {

// A save that would replace a file: refused, the file as it was. No engine
// gets this far in a dry run; should one ever do, nothing is written.
class RefuseSaves final : public FileKeeper
{
public:
    void keep(const QString& target, const QString&) override
    {
        throw RuntimeError(RuntimeError::PathFileAccess, QStringLiteral("预览不保存"), target);
    }
    void renamed(const QString&, const QString&) override {}
};

// The host as the job sees it: the lines that say what was done to a file are
// held back, and once the walk leaves the file one line says what would have
// been done.
class PreviewHost final : public JobHost
{
public:
    PreviewHost(JobHost& host, bool workbooks)
        : m_host(host)
        , m_workbooks(workbooks)
    {}

    int rowCount() const override { return m_host.rowCount(); }
    bool rowChecked(int row) const override { return m_host.rowChecked(row); }
    QString rowText(int row) const override { return m_host.rowText(row); }
    void removeRow(int row) override { m_host.removeRow(row); }
    void rowReached(int row) override
    {
        finish();
        m_current = m_host.rowText(row);
        m_host.rowReached(row);
    }
    bool rowElsewhere(int row) const override { return m_host.rowElsewhere(row); }
    void setProgressValue(int value) override { m_host.setProgressValue(value); }
    void setProgressMax(int max) override { m_host.setProgressMax(max); }
    void setProgressVisible(bool visible) override { m_host.setProgressVisible(visible); }
    QString status() const override { return m_host.status(); }
    void setStatus(const QString& text) override { m_host.setStatus(text); }
    void clearLog() override { m_host.clearLog(); }
    void appendLog(const QString& line) override
    {
        if (!heldBack(line))
            m_host.appendLog(line);
    }
    void journal(const QString& message) override
    {
        if (!heldBack(message))
            m_host.journal(message);
    }
    void yield() override { m_host.yield(); }
    void beep() override { m_host.beep(); }
    bool stopRequested() const override { return m_host.stopRequested(); }
    void reportStopped(int left) override { m_host.reportStopped(left); }
    void message(const QString& text, const QString& title, Icon icon) override
    {
        m_host.message(text, title, icon);
    }
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override
    {
        return m_host.input(prompt, title, defaultText);
    }
    void recollect() override { m_host.recollect(); }

    // The file in hand is done: its line, unless it failed.
    void finish()
    {
        if (m_current.isEmpty())
            return;
        const DryRun::Counts counts = DryRun::take(m_current);
        if (!m_failed) {
            const QString line = m_current + DryRun::lineText(counts, m_workbooks);
            m_host.appendLog(line);
            m_host.journal(line);
        }
        m_current.clear();
        m_failed = false;
    }

private:
    bool heldBack(const QString& line)
    {
        // The journal's details of a document's scopes ("已替换页眉内容" ...).
        if (line.startsWith(QStringLiteral("已替换")))
            return true;
        if (m_current.isEmpty() || !line.startsWith(m_current))
            return false;
        if (line.contains(QStringLiteral("失败，未修改"))) {
            m_failed = true;
            return false;
        }
        return true;
    }

    JobHost& m_host;
    bool m_workbooks;
    QString m_current; // the file the walk is on
    bool m_failed = false;
};

} // namespace

bool previews(const JobRow& row)
{
    return row.drivesOffice;
}

Batch::Result runPreview(const JobRow& row, JobContext& context)
{
    const bool workbooks =
        row.command == QLatin1String("sheet-replace") || row.command == QLatin1String("cell-write");
    PreviewHost host(context.host, workbooks);
    RefuseSaves refuse;
    FileKeeper* const keeper = FileKeeper::current();
    FileKeeper::setCurrent(&refuse);
    DryRun::setActive(true);
    struct Restore
    {
        FileKeeper* keeper;
        ~Restore()
        {
            DryRun::setActive(false);
            FileKeeper::setCurrent(keeper);
        }
    } restore{keeper};
    JobContext dry{host, context.inputs, context.words, context.sheets};
    const Batch::Result result = JobTable::run(row, dry);
    host.finish();
    return result;
}

} // namespace jobs
