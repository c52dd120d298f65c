#pragma once

#include "RuntimeError.h"
#include "Walk.h"

#include <QSet>
#include <QString>
#include <exception>
#include <functional>
#include <optional>
#include <type_traits>

class JobHost;

// The run pattern that the office jobs share: create the office program, count
// the ticked rows into the bar's maximum, end when there are none, show the bar,
// work on each ticked file in list order, advance the bar per finished file
// ("已完成 N 个文件！ " when two or more are ticked), end with "全部操作已完成"
// and a beep, and quit the office program. Each job names what it does
// differently in a Pattern.
class Batch final
{
public:
    struct Pattern
    {
        // With nothing ticked: end after the count (the header/footer text
        // replace walks the list all the same).
        bool endWhenNoneTicked = true;
        // With nothing ticked, Quit the office program rather than release it.
        bool quitWhenNoneTicked = false;
        // Bar and status line (the header/footer text replace uses neither).
        bool progress = true;
        // What the status line shows after each file.
        enum class Label { Progress, Path } label = Label::Progress;
        // "全部操作已完成" and the beep at the end.
        bool closing = true;
        // The beep with the closing text.
        bool closingBeep = true;
    };

    struct Result
    {
        int total = 0;        // ticked rows
        int failures = 0;     // files that could not be processed
        bool started = true;  // false when the office program could not be created
        bool stopped = false; // the user stopped it before its last file

        // Another job's run of the same click.
        void add(const Result& other)
        {
            total += other.total;
            failures += other.failures;
            started = started && other.started;
            stopped = stopped || other.stopped;
        }
    };

    // The stages of one file, named in its failure line.
    enum class Stage { Open, Change, Write, Save, Rename, Delete, Process };

    // A whole job: create() the office program (or say in one line, led by
    // cannotStart, that it could not be), then the pattern around
    // work(batch, program, path) for each ticked file, then Quit.
    template <class Create, class Work>
    static Result run(JobHost& host, const Pattern& pattern, Create create, const QString& cannotStart,
                      Work work)
    {
        Result result;
        Batch batch(host, pattern);
        decltype(create()) program;
        try {
            program = create();
        } catch (const RuntimeError& error) {
            batch.cannotStart(cannotStart + error.description());
            result.started = false;
            return result;
        }
        result.total = batch.begin();
        if (result.total == 0 && pattern.endWhenNoneTicked) {
            if (pattern.quitWhenNoneTicked)
                quit(*program);
            return result;
        }
        result.stopped = !batch.walk([&](const QString& path) { work(batch, *program, path); });
        quit(*program);
        result.failures = batch.failures();
        return result;
    }

    Batch(JobHost& host, Pattern pattern);
    explicit Batch(JobHost& host);

    // The bar to 0, the log box emptied, the ticked rows counted into the bar's
    // maximum and the bar shown when there are any; the total.
    int begin();
    // Every ticked row in list order, read when reached: work(path) for each
    // file, then the progress step; a failure that escapes work() is that file's
    // failure line. Ends with the closing text and the beep; false, without
    // them, when the user stopped it.
    bool walk(const std::function<void(const QString& path)>& work);
    // The office program could not be created: one line, in the log box and the journal.
    void cannotStart(const QString& line);

    // One line in the log box and the journal: path directly followed by status
    // (and, in the journal only, journalTail).
    void report(const QString& path, const QString& status, const QString& journalTail = {});
    // A file that failed: the stage and why, in words the user can act on; the
    // journal also gets the technical detail.
    void reportFailure(const QString& path, Stage stage, const RuntimeError& error);
    // The files that failed, each counted once.
    int failures() const { return int(m_failed.size()); }

    // Runs one stage of one file. A failure (the tool's own, a standard
    // exception, anything else) is reported for the file and gives false (or
    // no value); the run goes on with the next stage's decision to the job.
    template <class F> auto attempt(const QString& path, Stage stage, F&& f)
    {
        using R = std::invoke_result_t<F>;
        if constexpr (std::is_void_v<R>) {
            return guarded(path, stage, [&] { f(); });
        } else {
            std::optional<R> value;
            guarded(path, stage, [&] { value.emplace(f()); });
            return value;
        }
    }

    // A file that must not be changed (read-only for its owner): reported and
    // false. Jobs that write files in place ask before opening.
    bool writable(const QString& path);

    static QString progressText(int done);
    // The last line of a run in which files failed.
    static QString failedText(int failures);

private:
    bool guarded(const QString& path, Stage stage, const std::function<void()>& f);
    template <class Program> static void quit(Program& program)
    {
        try {
            program.quit();
        } catch (...) {
            // The files are saved or reported; the office program goes with the instance.
        }
    }
    // After a file: the bar, and with two or more files a yield and the status text.
    void fileDone(const QString& path);
    // The status line's closing text and the beep.
    void finish();

    JobHost& m_host;
    Pattern m_pattern;
    int m_total = 0;
    int m_done = 0;
    // Whether the status line holds this run's progress text.
    bool m_progressShown = false;
    QSet<QString> m_failed;
    QString m_reported; // the file of the current row, once a line was written for it
};
