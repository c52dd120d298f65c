#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The office program the user already runs, as the guards see it: its running
// instance with the documents it holds open, and the processes of a program.
class RunningOffice
{
public:
    virtual ~RunningOffice() = default;

    // The open documents (full paths; an entry may be empty) of the running
    // instance of progId ("Word.Application", "Excel.Application"); nothing when
    // no instance runs.
    virtual std::optional<QStringList> openDocuments(const QString& progId) = 0;

    // Ends every process of the program whose executable is exeName
    // ("winword.EXE", "excel.EXE"), whoever started it, with exit code 0.
    // Returns how many were ended.
    virtual int endAllProcesses(const QString& exeName) = 0;
};
