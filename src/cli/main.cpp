// yanhe-cli: the tool's jobs from a shell, for scripts, tests and benchmarks.
#include "Arguments.h"
#include "CliOutput.h"
#include "EnvCommands.h"
#include "JobCommand.h"
#include "UndoCommand.h"
#include "app/ProcessSetup.h"
#include "collect/CollectView.h"
#include "collect/FileAttributes.h"
#include "collect/FileCollector.h"
#include "jobs/JobTable.h"
#include "jobs/WorkerHost.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>

namespace cli {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

int usageError(const QString& message)
{
    err() << "yanhe-cli: " << message << Qt::endl;
    return kUsageError;
}

} // namespace cli

namespace {

using cli::err;
using cli::out;
using cli::usageError;

// Prints each collected path on its own line as it comes.
class PrintingView final : public CollectView
{
public:
    explicit PrintingView(int mask)
        : m_mask(mask)
    {}
    int attributeMask() const override { return m_mask; }
    void clearRows() override { m_rows = 0; }
    int rowCount() const override { return m_rows; }
    void addRow(const QString& path) override
    {
        ++m_rows;
        // One line per row, as the jobs print their lines: a newline in a name shows as \x0A.
        out() << cli::oneLine(path) << '\n';
    }
    void setStatus(const QString& text) override { m_status = text; }
    void setCountCaption(const QString&) override {}
    void reportUnusableName(const QString& path) override
    {
        err() << cli::oneLine(FileCollector::unusableNameText(path)) << Qt::endl;
    }
    const QString& status() const { return m_status; }

private:
    int m_mask;
    int m_rows = 0;
    QString m_status;
};

int collect(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Collects the files of FOLDER whose extension matches one of the patterns, as the window's "
        "folder list does: for each pattern in turn the folder's files in name order, then those of "
        "its sub-folders, depth first. Prints each full path on its own line, then the count."));
    parser.addHelpOption();
    const QCommandLineOption recursive(QStringLiteral("recursive"),
                                       QStringLiteral("Search all sub-folders too."));
    const QCommandLineOption attributes(
        QStringLiteral("attributes"),
        QStringLiteral(
            "Attribute boxes ticked, comma-separated: normal, readonly, hidden, system. Empty: none "
            "(nothing is collected)."),
        QStringLiteral("list"), QStringLiteral("normal,readonly"));
    const QCommandLineOption patterns(
        QStringLiteral("patterns"),
        QStringLiteral("Patterns split at every \",\", not trimmed, e.g. \"*.doc,*.docx\"."),
        QStringLiteral("patterns"));
    parser.addOptions({recursive, attributes, patterns});
    parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("The folder to collect from."));

    if (!parser.parse(arguments))
        return usageError(cli::parseErrorText(parser, arguments));
    if (parser.isSet(QStringLiteral("help"))) {
        out() << parser.helpText().replace(QStringLiteral("yanhe-cli"), QStringLiteral("yanhe-cli collect"));
        return 0;
    }
    if (!parser.isSet(patterns))
        return usageError(QStringLiteral("collect needs --patterns, e.g. --patterns \"*.doc,*.docx\""));
    if (parser.positionalArguments().size() != 1)
        return usageError(QStringLiteral("collect needs exactly one FOLDER"));
    const QString folder = parser.positionalArguments().first();
    if (!QFileInfo(folder).isDir())
        return usageError(QStringLiteral("no such folder: ") + folder);

    int mask = -1;
    const QString ticked = parser.value(attributes);
    if (!ticked.isEmpty()) {
        mask = FileAttributes::Directory;
        for (const QString& name : ticked.split(QLatin1Char(','))) {
            if (name == QLatin1String("normal"))
                mask |= FileAttributes::Normal;
            else if (name == QLatin1String("readonly"))
                mask |= FileAttributes::ReadOnly;
            else if (name == QLatin1String("hidden"))
                mask |= FileAttributes::Hidden;
            else if (name == QLatin1String("system"))
                mask |= FileAttributes::System;
            else
                return usageError(
                    QStringLiteral("unknown attribute \"%1\" (normal, readonly, hidden, system)").arg(name));
        }
    }

    PrintingView view(mask);
    FileCollector collector(view);
    collector.SubfolderSwitch = parser.isSet(recursive) ? QStringLiteral("KAI") : QStringLiteral("GUAN");
    for (const QString& pattern : FileCollector::splitPatterns(parser.value(patterns)))
        collector.search(QDir::toNativeSeparators(QFileInfo(folder).absoluteFilePath()), pattern);
    if (view.status() == collector.listFullText())
        err() << cli::oneLine(view.status()) << Qt::endl;
    out() << FileCollector::countCaption(view.rowCount()) << Qt::endl;
    return 0;
}

QString usage()
{
    QString text = QStringLiteral("Usage: yanhe-cli COMMAND [options]\n\nCommands:\n");
    const auto line = [&text](const QString& command, const QString& summary) {
        text += QStringLiteral("  %1%2\n").arg(command.leftJustified(24), summary);
    };
    line(QStringLiteral("collect"),
         QStringLiteral("collect files by extension, as the window's folder list does"));
    line(QStringLiteral("probe"), QStringLiteral("report the office programs, as the window's load does"));
    line(QStringLiteral("check-update"),
         QStringLiteral("ask the update endpoint, as the window's load does"));
    line(QStringLiteral("update-address"), QStringLiteral("show or set the update endpoint's address"));
    line(QStringLiteral("undo"), QStringLiteral("undo the last run (or a given one) from its backups"));
    for (const JobRow& row : JobTable::rows())
        line(row.command, row.summary);
    return text + QStringLiteral("\nyanhe-cli COMMAND --help explains a command.\n");
}

} // namespace

int main(int argc, char* argv[])
{
    setUpProcess();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("yanhe-cli"));
    if (const std::optional<QList<int>> rows = jobs::workerRows())
        return jobs::runWorker(*rows);

    QStringList arguments = cli::readArguments(argc, argv);
    if (arguments.size() < 2)
        return usageError(QStringLiteral("no command given\n") + usage());
    const QString command = arguments.takeAt(1);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        out() << usage();
        return 0;
    }
    if (command == QLatin1String("collect"))
        return collect(arguments);
    if (command == QLatin1String("probe"))
        return cli::probe(arguments);
    if (command == QLatin1String("check-update"))
        return cli::checkUpdate(arguments);
    if (command == QLatin1String("update-address"))
        return cli::updateAddress(arguments);
    if (command == QLatin1String("undo"))
        return cli::undo(arguments);
    if (const JobRow* row = JobTable::forCommand(command))
        return cli::runJobCommand(*row, arguments);
    return usageError(QStringLiteral("unknown command \"%1\"\n").arg(command) + usage());
}
