#pragma once

#include "Batch.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>

class JobHost;
namespace word {
class Factory;
}
namespace sheet {
class Factory;
}

// What a job reads from the window's controls, by the controls' names (Text1,
// Check13_0, Option1, Combo1 ...). The window reads its controls when asked, so
// a job that reads a box again per file sees edits made meanwhile; the command
// line and the tests answer from their options.
class JobInputs
{
public:
    virtual ~JobInputs() = default;
    // A text box's or combo box's text.
    virtual QString text(const QString& control) const = 0;
    // A check box ticked, an option button chosen.
    virtual bool ticked(const QString& control) const = 0;
};

struct JobContext
{
    JobHost& host;
    const JobInputs& inputs;
    word::Factory& words;
    sheet::Factory& sheets;
};

// How a command-line option of a job's command fills the job's controls.
struct CliOption
{
    enum class Kind {
        Text,  // --name VALUE: the control's text
        Flag,  // --name: ticks the control
        OneOf, // --name VALUE: one of values, each ticking its control
        SetOf, // --name A,B: any of values, comma-separated, each ticking its control
        // --name VALUE: the control's text, and the controls of values ticked (a box
        // that goes with the text); without the option the text is defaultValue.
        TickedText,
    };
    QString name;
    Kind kind = Kind::Text;
    QString help;
    QString control;      // Text, TickedText and Flag
    QString defaultValue; // Text, TickedText: the control's own default; OneOf: the value taken without the
                          // option
    QList<QPair<QString, QString>> values; // OneOf and SetOf: value, control it ticks
    bool required = false;
};

// One row of the job table: a button of the window and a command of yanhe-cli.
struct JobRow
{
    QString command; // yanhe-cli COMMAND
    QString button;  // the window's button (Command1 ...)
    QString summary; // one line for yanhe-cli's help
    QString help;    // what the command does, for yanhe-cli COMMAND --help
    // The controls the job reads; the window checks at start that each exists.
    QStringList controls;
    QList<CliOption> options;
    // Controls yanhe-cli ticks for the command whatever its options (the unlock
    // option a button needs, for instance).
    QStringList impliedTicks;
    // A check of the command line's inputs before anything runs: a usage error's
    // text, or empty.
    std::function<QString(const JobInputs&)> usageCheck;
    // Whether the command reads FILE arguments as ticked rows.
    bool takesFiles = true;
    // Whether the job drives an office program: yanhe-cli can then run it on
    // several office processes at once (--jobs).
    bool drivesOffice = false;
    std::function<Batch::Result(JobContext&)> run;
};
