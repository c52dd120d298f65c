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

// The inputs a command's command line gives (options by name, a flag's value empty,
// applied as yanhe-cli applies them, then the row's check), as the row describes them.
// When the inputs a worker rebuilds from the row's fields differ, the list names those
// too; the first usage error, if any, ends it as "error: ...".
inline QStringList described(const QString& command, const QHash<QString, QString>& given)
{
    const JobRow& row = *JobTable::forCommand(command);
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
    std::any rebuilt = row.blank();
    for (const InputField& field : row.fields)
        field.set(rebuilt, field.get(inputs));
    QStringList described = row.describe(inputs);
    if (row.describe(rebuilt) != described)
        described += QStringList{"rebuilt:"} + row.describe(rebuilt);
    return first.isEmpty() ? described : described << "error: " + first;
}
