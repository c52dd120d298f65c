#pragma once

#include <QString>

// What a batch job needs from the window: the collected rows, the progress bar
// and status line, the log box, the journal, the event loop and the beep. The
// window implements it with its controls; the command line and the tests in
// memory.
class JobHost
{
public:
    virtual ~JobHost() = default;

    // List1: row count, check state and text (a file's full path), read when reached.
    virtual int rowCount() const = 0;
    virtual bool rowChecked(int row) const = 0;
    virtual QString rowText(int row) const = 0;

    // ProgressBar1.
    virtual void setProgressValue(int value) = 0;
    virtual void setProgressMax(int max) = 0;
    virtual void setProgressVisible(bool visible) = 0;

    // Label5.
    virtual QString status() const = 0;
    virtual void setStatus(const QString& text) = 0;

    // Text3: emptied at a job's start; each line ends with CR LF in the box.
    virtual void clearLog() = 0;
    virtual void appendLog(const QString& line) = 0;

    // WriteJournal. Does not throw: a journal that cannot be written is the
    // host's to report.
    virtual void journal(const QString& message) = 0;

    virtual void yield() = 0;
    virtual void beep() = 0;
};
