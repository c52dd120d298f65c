#include "CliJobHost.h"

#include "Arguments.h"
#include "CliOutput.h"
#include "app/DryRun.h"
#include "app/Journal.h"
#include "app/RuntimeError.h"

namespace cli {

CliJobHost::CliJobHost(QStringList files, Journal& journal)
    : m_files(std::move(files))
    , m_journal(journal)
{}

void CliJobHost::removeRow(int row)
{
    if (row >= 0 && row < m_files.size())
        m_files.removeAt(row);
}

void CliJobHost::appendLog(const QString& line)
{
    if (m_dryRun && swallowed(line))
        return;
    out() << oneLine(line) << Qt::endl;
}

void CliJobHost::journal(const QString& message)
{
    if (m_dryRun && swallowed(message))
        return;
    try {
        m_journal.WriteJournal(message);
    } catch (const RuntimeError& error) {
        err() << "yanhe-cli: journal: " << error.description() << Qt::endl;
    }
}

bool CliJobHost::swallowed(const QString& line)
{
    // The journal's details of a document's scopes ("已替换页眉内容" ...).
    if (line.startsWith(QStringLiteral("已替换")))
        return true;
    QString file;
    for (const QString& candidate : std::as_const(m_files)) {
        if (line.startsWith(candidate) && candidate.size() > file.size())
            file = candidate;
    }
    if (file.isEmpty())
        return false;
    if (file != m_current) {
        if (!m_current.isEmpty() && !m_currentFailed)
            preview(m_current);
        m_current = file;
        m_currentFailed = false;
    }
    if (line.contains(QStringLiteral("失败，未修改"))) {
        m_currentFailed = true;
        m_done.insert(file);
        return false;
    }
    return true;
}

void CliJobHost::preview(const QString& file)
{
    if (m_done.contains(file))
        return;
    m_done.insert(file);
    const QString suffix = file.section(QLatin1Char('.'), -1).toLower();
    const QString line = file + DryRun::lineText(DryRun::take(file), suffix.startsWith(QStringLiteral("xl")));
    out() << oneLine(line) << Qt::endl;
    try {
        m_journal.WriteJournal(line);
    } catch (const RuntimeError& error) {
        err() << "yanhe-cli: journal: " << error.description() << Qt::endl;
    }
}

void CliJobHost::finishDryRun()
{
    if (!m_current.isEmpty() && !m_currentFailed)
        preview(m_current);
    m_current.clear();
    // Jobs that print nothing for a clean file (the header/footer replace).
    for (const QString& file : std::as_const(m_files))
        preview(file);
}

bool CliJobHost::stopRequested() const
{
    return stopSignal() != 0;
}

void CliJobHost::message(const QString& text, const QString&, Icon icon)
{
    if (icon != Icon::None)
        out() << oneLine(text) << Qt::endl;
}

} // namespace cli
