#include "CliJobHost.h"

#include "Arguments.h"
#include "CliOutput.h"
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
    out() << oneLine(line) << Qt::endl;
}

void CliJobHost::journal(const QString& message)
{
    try {
        m_journal.WriteJournal(message);
    } catch (const RuntimeError& error) {
        err() << "yanhe-cli: journal: " << error.description() << Qt::endl;
    }
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
