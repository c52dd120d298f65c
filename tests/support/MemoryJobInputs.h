#pragma once

#include "jobs/JobTable.h"

#include <QHash>
#include <QMetaType>

Q_DECLARE_METATYPE(std::any) // job inputs in a column of a test's data table

// A command's job over the host's rows with these inputs, the office program in both roles.
template <class Office>
Batch::Result runCommand(const QString& command, JobHost& host, Office& office, const std::any& inputs)
{
    const ReadInputs read = [&] { return inputs; };
    JobContext context{host, read, office, office};
    return JobTable::run(*JobTable::forCommand(command), context);
}

// The inputs a row's command line gives: options by name (a flag's value
// empty), applied as yanhe-cli applies them, then the row's check. problem gets
// the first usage error.
inline std::any commandLineInputs(const JobRow& row, const QHash<QString, QString>& given,
                                  QString* problem = nullptr)
{
    std::any inputs = row.commandLineStart();
    QString first;
    for (const CliOption& option : row.options) {
        const QString error = option.apply(inputs, given.contains(option.name)
                                                       ? std::optional<QString>(given.value(option.name))
                                                       : std::nullopt);
        if (first.isEmpty())
            first = error;
    }
    if (first.isEmpty() && row.usageCheck)
        first = row.usageCheck(inputs);
    if (problem)
        *problem = first;
    return inputs;
}

// The inputs as a worker rebuilds them from the row's fields.
inline std::any throughFields(const JobRow& row, const std::any& inputs)
{
    std::any rebuilt = row.blank();
    for (const InputField& field : row.fields)
        field.set(rebuilt, field.get(inputs));
    return rebuilt;
}

// The inputs a command line gives, as the row describes them; a list that also names
// the inputs a worker rebuilt when they differ.
inline QStringList described(const JobRow& row, const QHash<QString, QString>& given,
                             QString* problem = nullptr)
{
    const std::any inputs = commandLineInputs(row, given, problem);
    const QStringList rebuilt = row.describe(throughFields(row, inputs));
    const QStringList described = row.describe(inputs);
    return rebuilt == described ? described : described + QStringList{"rebuilt:"} + rebuilt;
}
