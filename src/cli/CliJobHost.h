#pragma once

#include "app/JobHost.h"

#include <QStringList>

class Journal;

namespace cli {

// The files as ticked rows; the log box on stdout, line by line as the job
// writes it; the journal where the window writes it. Message boxes wait for
// nobody: a box that reports a problem (it has an icon) is printed as a line,
// others are passed over. No collection runs again.
class CliJobHost final : public JobHost
{
public:
    CliJobHost(QStringList files, Journal& journal);

    int rowCount() const override { return int(m_files.size()); }
    bool rowChecked(int row) const override { return row >= 0 && row < m_files.size(); }
    QString rowText(int row) const override { return m_files.value(row); }
    void removeRow(int row) override;
    void setProgressValue(int) override {}
    void setProgressMax(int) override {}
    void setProgressVisible(bool) override {}
    QString status() const override { return m_status; }
    void setStatus(const QString& text) override { m_status = text; }
    void clearLog() override {}
    void appendLog(const QString& line) override;
    void journal(const QString& message) override;
    void yield() override {}
    void beep() override {}
    // SIGINT or SIGTERM came (catchStopSignals).
    bool stopRequested() const override;
    void message(const QString& text, const QString& title, Icon icon) override;
    QString input(const QString&, const QString&, const QString& defaultText) override { return defaultText; }
    void recollect() override {}

private:
    QStringList m_files;
    Journal& m_journal;
    QString m_status;
};

} // namespace cli
