#pragma once

#include <QString>

// What a job needs from the window: the collected rows, the progress bar and
// status line, the log box, the journal, the event loop, the beep, message and
// input boxes, and the folder list's collection. The window implements it with
// its controls; the command line and the tests in memory.
class JobHost
{
public:
    virtual ~JobHost() = default;

    // List1: row count, check state and text (a file's full path), read when
    // reached; a row removed (the rows below it move up).
    virtual int rowCount() const = 0;
    virtual bool rowChecked(int row) const = 0;
    virtual QString rowText(int row) const = 0;
    virtual void removeRow(int row) = 0;
    // A job's walk over the ticked rows has reached this one, before its work.
    virtual void rowReached(int row) { Q_UNUSED(row); }
    // A ticked row that another process works on at the same time (yanhe-cli
    // --jobs): it counts for the progress like any other, but is not worked on here.
    virtual bool rowElsewhere(int row) const
    {
        Q_UNUSED(row);
        return false;
    }

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

    // The user asked the job to stop: it stops before the next file, the file
    // in hand finished or left as it was.
    virtual bool stopRequested() const { return false; }
    // The job stopped with left ticked files not worked on: one line, in the
    // log box and the journal.
    virtual void reportStopped(int left)
    {
        const QString line = stoppedText(left);
        appendLog(line);
        journal(line);
    }
    static QString stoppedText(int left) { return QStringLiteral(" 用户停止，未处理 %1 个文件").arg(left); }

    // A message box with an OK button only, waited for. An empty title is the
    // application's title.
    enum class Icon { None, Information, Warning, Critical };
    virtual void message(const QString& text, const QString& title, Icon icon) = 0;
    // An input box: the text confirmed, or an empty text when cancelled.
    virtual QString input(const QString& prompt, const QString& title, const QString& defaultText) = 0;

    // Dir1_Click: the collection of the folder chosen in the folder list, run again.
    virtual void recollect() = 0;
};
