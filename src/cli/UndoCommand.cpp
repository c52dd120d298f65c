#include "UndoCommand.h"

#include "Arguments.h"
#include "CliJobHost.h"
#include "CliOutput.h"
#include "app/AppFolders.h"
#include "app/Clock.h"
#include "app/Journal.h"
#include "backup/BackupStore.h"
#include "jobs/Undo.h"

#include <QCommandLineParser>

namespace cli {

namespace {

QString boundText(const BackupBound& bound)
{
    return QStringLiteral("备份上限：最近 %1 次操作，共 %2 MiB")
        .arg(bound.runs)
        .arg(bound.bytes / (1024 * 1024));
}

QString nothingText()
{
    return QStringLiteral("没有可撤销的操作");
}

} // namespace

int undo(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Undoes the last run of a job (or RUN, as --list names it) from the backups it kept in the "
        "application "
        "folder: each file is given back its bytes and modification time while it still holds exactly what "
        "the "
        "run wrote, each renamed file its name while that name is free. Files changed since are left and "
        "named. The undo is itself a run that can be undone."));
    parser.addHelpOption();
    const QCommandLineOption list(QStringLiteral("list"),
                                  QStringLiteral("List the runs kept, newest first."));
    const QCommandLineOption keepRuns(QStringLiteral("keep-runs"),
                                      QStringLiteral("Keep the backups of the last N runs (default 20)."),
                                      QStringLiteral("N"));
    const QCommandLineOption keepMib(QStringLiteral("keep-mib"),
                                     QStringLiteral("Keep no more than N MiB of backups (default 2048)."),
                                     QStringLiteral("N"));
    parser.addOptions({list, keepRuns, keepMib});
    parser.addPositionalArgument(QStringLiteral("RUN"),
                                 QStringLiteral("The run to undo; the last one without it."),
                                 QStringLiteral("[RUN]"));
    if (!parser.parse(arguments))
        return usageError(parseErrorText(parser, arguments));
    if (parser.isSet(QStringLiteral("help"))) {
        out() << parser.helpText().replace(QStringLiteral("yanhe-cli"), QStringLiteral("yanhe-cli undo"));
        return 0;
    }
    if (parser.positionalArguments().size() > 1)
        return usageError(QStringLiteral("undo takes one RUN at most"));

    const AppFolders folders(AppFolders::forThisProcess());
    if (parser.isSet(keepRuns) || parser.isSet(keepMib)) {
        BackupBound bound = BackupBound::read(folders);
        bool ok = true;
        if (parser.isSet(keepRuns)) {
            bound.runs = parser.value(keepRuns).toInt(&ok);
            if (!ok || bound.runs < 0)
                return usageError(QStringLiteral("--keep-runs needs a whole number of 0 or more"));
        }
        if (parser.isSet(keepMib)) {
            bound.bytes = parser.value(keepMib).toLongLong(&ok) * 1024 * 1024;
            if (!ok || bound.bytes < 0)
                return usageError(QStringLiteral("--keep-mib needs a whole number of 0 or more"));
        }
        if (!bound.write(folders)) {
            err() << "yanhe-cli: " << QStringLiteral("无法写入设置") << Qt::endl;
            return 1;
        }
        out() << boundText(bound) << Qt::endl;
        return 0;
    }

    const QList<RunManifest> runs = jobs::undoableRuns(folders);
    if (parser.isSet(list)) {
        if (runs.isEmpty())
            out() << nothingText() << Qt::endl;
        for (auto it = runs.crbegin(); it != runs.crend(); ++it)
            out() << it->id << "  " << oneLine(jobs::runSummary(*it)) << Qt::endl;
        out() << boundText(BackupBound::read(folders)) << Qt::endl;
        return 0;
    }
    const RunManifest* chosen = runs.isEmpty() ? nullptr : &runs.last();
    if (!parser.positionalArguments().isEmpty()) {
        chosen = nullptr;
        for (const RunManifest& run : runs) {
            if (run.id == parser.positionalArguments().first())
                chosen = &run;
        }
        if (!chosen)
            return usageError(QStringLiteral("no kept run \"%1\" (yanhe-cli undo --list names them)")
                                  .arg(parser.positionalArguments().first()));
    }
    if (!chosen) {
        err() << nothingText() << Qt::endl;
        return 1;
    }

    const std::optional<QString> dayFolder = startUp(folders);
    if (!dayFolder)
        return 1;
    Journal journal(*dayFolder, Clock::system());
    CliJobHost host({}, journal);
    const jobs::UndoResult result = jobs::undoRun(host, folders, *chosen);
    return result.left == 0 ? 0 : 1;
}

} // namespace cli
