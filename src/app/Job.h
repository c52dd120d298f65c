#pragma once

#include "Batch.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <any>
#include <functional>
#include <optional>

class JobHost;
namespace word {
class Factory;
}
namespace sheet {
class Factory;
}

// A job's inputs, of the job's own struct; the table, the window and the
// command line hand them on without knowing the type. The caller reads them
// when the job asks: the window reads its controls then, so a job that reads
// its inputs again per file sees edits made meanwhile.
using ReadInputs = std::function<std::any()>;

struct JobContext
{
    JobHost& host;
    const ReadInputs& inputs;
    word::Factory& words;
    sheet::Factory& sheets;
};

// One value of a job's inputs by its meaning ("old", "scope.textboxes"): how a
// run tells its workers the inputs and how its backups record them. A flag is
// "1" when set and empty otherwise.
struct InputField
{
    QString key;
    bool flag = false;
    std::function<QString(const std::any&)> get;
    std::function<void(std::any&, const QString&)> set;
};

// A command-line option of a job's command.
struct CliOption
{
    QString name;
    QString help;
    QString valueName; // empty for a flag
    bool required = false;
    // Puts the option into the inputs: its value (empty for a flag), nullopt
    // when the option is not given. Returns a usage error's text, or empty.
    std::function<QString(std::any& inputs, const std::optional<QString>& value)> apply;
};

// One row of the job table: a button of the window and a command of yanhe-cli.
struct JobRow
{
    QString command; // yanhe-cli COMMAND
    QString button;  // the window's button (Command1 ...)
    QString summary; // one line for yanhe-cli's help
    QString help;    // what the command does, for yanhe-cli COMMAND --help
    QList<CliOption> options;
    // The inputs before any option: what the command line starts from (the
    // engine yanhe-cli always chooses, for instance).
    std::function<std::any()> commandLineStart;
    // Every value of the inputs, for the workers and the backups.
    QList<InputField> fields;
    // The inputs with every field empty, to set the fields into.
    std::function<std::any()> blank;
    // A check of the command line's inputs before anything runs: a usage error's
    // text, or empty.
    std::function<QString(const std::any&)> usageCheck;
    // Whether the command reads FILE arguments as ticked rows.
    bool takesFiles = true;
    // Whether the job drives an office program: yanhe-cli can then run it on
    // several office processes at once (--jobs).
    bool drivesOffice = false;
    std::function<Batch::Result(JobContext&)> run;

    // The inputs as "key=value" for each field with a text, "key" for each flag set.
    QStringList describe(const std::any& inputs) const
    {
        QStringList described;
        for (const InputField& field : fields) {
            const QString value = field.get(inputs);
            if (!value.isEmpty())
                described << (field.flag ? field.key : field.key + QLatin1Char('=') + value);
        }
        return described;
    }
};
