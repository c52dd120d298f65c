#pragma once

#include <QString>
#include <functional>

class RunningOffice;

// The guards run before files are collected for a job: documents the user has
// open in Word (workbooks in Excel) must not be changed under the user's hands,
// so the guard offers to end that program, or else the tool.
namespace OpenDocumentGuard {

enum class Outcome { Continue, EndProgram };

struct Kind
{
    QString progId;      // the instance looked for
    QString firstLine;   // the question's first line
    QString exeName;     // every process of it is ended on Yes
    QString journalLine; // written after the processes are ended
};

Kind word();  // Wordjc
Kind excel(); // Exceljc

// The question: title, text; true for Yes. Asked with Yes and No, the
// exclamation icon and No as the default.
using Ask = std::function<bool(const QString& title, const QString& text)>;
using Write = std::function<void(const QString& message)>;

QString title();
QString question(const Kind& kind);

// Asks once per open document until the first Yes, which ends every process of
// the program, writes the journal line and returns; a No ends the tool. Any
// failing step is passed over.
Outcome run(const Kind& kind, RunningOffice& office, const Ask& ask, const Write& journal);

} // namespace OpenDocumentGuard
