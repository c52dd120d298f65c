#include "JobCommand.h"

#include "Arguments.h"
#include "CliJobHost.h"
#include "CliOutput.h"
#include "app/AppFolders.h"
#include "app/Clock.h"
#include "app/Journal.h"
#include "jobs/JobTable.h"
#include "jobs/ParallelRun.h"
#include "jobs/Preview.h"
#include "jobs/RunBackups.h"
#include "office/OfficeRegistry.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <map>

namespace cli {

namespace {

int runDry(const JobRow& row, CliJobHost& host, const ReadInputs& inputs, bool allText)
{
    OfficeRegistry& office = OfficeRegistry::system();
    JobContext context{host, inputs, office, office};
    const Batch::Result result = jobs::runPreview(row, context);
    if (!host.status().isEmpty())
        err() << host.status() << Qt::endl;
    if (stopSignal() != 0)
        return 128 + stopSignal();
    return result.started && result.failures == 0 && allText ? 0 : 1;
}

} // namespace

int runJobCommand(const JobRow& row, const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(row.help);
    parser.addHelpOption();
    std::map<QString, QCommandLineOption> declared;
    for (const CliOption& option : row.options) {
        QCommandLineOption parsed(option.name, option.help);
        if (!option.valueName.isEmpty())
            parsed.setValueName(option.valueName);
        parser.addOption(parsed);
        declared.emplace(option.name, parsed);
    }
    const QCommandLineOption jobsOption(
        QStringLiteral("jobs"),
        QStringLiteral("Work on N files at once, each with its own office process. The default, auto, is one "
                       "per core, as many as the memory has room for (%1 MiB each), no more than there are "
                       "files for LibreOffice. The output is the same as with one.")
            .arg(jobs::kOfficeProcessMiB),
        QStringLiteral("N"), QStringLiteral("auto"));
    const QCommandLineOption dryRunOption(
        QStringLiteral("dry-run"),
        QStringLiteral("Save nothing: each file's line says how many places the run would change, per scope "
                       "(body, text boxes, headers, footers; sheets). Counted by the lossless engine and "
                       "LibreOffice, never by Word, Excel or WPS."));
    if (row.drivesOffice)
        parser.addOption(jobsOption);
    if (jobs::previews(row))
        parser.addOption(dryRunOption);
    if (row.takesFiles)
        parser.addPositionalArgument(QStringLiteral("FILE"),
                                     QStringLiteral("Files to work on, as ticked rows."),
                                     QStringLiteral("FILE..."));
    if (!parser.parse(arguments))
        return usageError(parseErrorText(parser, arguments));
    if (parser.isSet(QStringLiteral("help"))) {
        out() << parser.helpText().replace(QStringLiteral("yanhe-cli"),
                                           QStringLiteral("yanhe-cli ") + row.command);
        return 0;
    }

    std::any inputs = row.commandLineStart();
    QStringList missing;
    for (const CliOption& option : row.options) {
        const QCommandLineOption& parsed = declared.at(option.name);
        const bool given = parser.isSet(parsed);
        if (option.required && !given)
            missing << QStringLiteral("--") + option.name;
        const QString problem = option.apply(
            inputs,
            given ? std::optional<QString>(option.valueName.isEmpty() ? QString() : parser.value(parsed))
                  : std::nullopt);
        if (!problem.isEmpty())
            return usageError(problem);
    }
    int engines = 1;
    const bool automatic = row.drivesOffice && parser.value(jobsOption) == QLatin1String("auto");
    if (row.drivesOffice && !automatic) {
        bool number = false;
        engines = parser.value(jobsOption).toInt(&number);
        if (!number || engines < 1)
            return usageError(QStringLiteral("--jobs needs auto or a whole number of 1 or more, not \"%1\"")
                                  .arg(parser.value(jobsOption)));
    }
    if (!missing.isEmpty())
        return usageError(row.command + QStringLiteral(" needs ") + missing.join(QStringLiteral(" and ")));
    if (row.usageCheck) {
        const QString problem = row.usageCheck(inputs);
        if (!problem.isEmpty())
            return usageError(problem);
    }

    QStringList files;
    QStringList notText;
    for (const QString& file : parser.positionalArguments()) {
        (isNotText(file) ? notText : files) << QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath());
    }

    const bool dryRun = jobs::previews(row) && parser.isSet(dryRunOption);

    const AppFolders folders(AppFolders::forThisProcess());
    const std::optional<QString> dayFolder = startUp(folders);
    if (!dayFolder)
        return 1;
    Journal journal(*dayFolder, Clock::system());
    CliJobHost host(files, journal);
    catchStopSignals();
    // Named before the job starts, as no path made of them reaches the file.
    for (const QString& file : std::as_const(notText)) {
        const QString line = file + QStringLiteral(" 处理失败，未修改：文件名不是有效的文字编码");
        host.appendLog(line);
        host.journal(line);
    }
    if (dryRun)
        return runDry(
            row, host, [&inputs] { return inputs; }, notText.isEmpty());
    // The run keeps what it changes; its workers keep theirs in the same run's folder.
    const jobs::RunBackups backups(folders, row, arguments.mid(1), files);
    if (!backups.notice().isEmpty()) {
        host.appendLog(backups.notice());
        host.journal(backups.notice());
    }
    if (automatic)
        engines = jobs::automaticJobs(files);
    if (engines > 1 && files.size() > 1) {
        const int code =
            jobs::runParallel(host, files, engines, row, inputs, QCoreApplication::applicationFilePath());
        if (!host.status().isEmpty())
            err() << host.status() << Qt::endl;
        if (stopSignal() != 0)
            return 128 + stopSignal();
        return code == 0 && notText.isEmpty() ? 0 : 1;
    }
    OfficeRegistry& office = OfficeRegistry::system();
    const ReadInputs read = [&inputs] { return inputs; };
    JobContext context{host, read, office, office};
    const Batch::Result result = JobTable::run(row, context);
    if (!host.status().isEmpty())
        err() << host.status() << Qt::endl;
    // Stopped by a signal: the shell's code for a process it ended.
    if (stopSignal() != 0)
        return 128 + stopSignal();
    return result.started && result.failures == 0 && notText.isEmpty() ? 0 : 1;
}

} // namespace cli
