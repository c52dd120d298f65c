#pragma once

#include "RuntimeError.h"

#include <QString>
#include <functional>

class JobHost;

// The run pattern that the batch jobs share: count the ticked rows into the
// bar's maximum, end silently when there are none, show the bar, advance it per
// finished file ("已完成 N 个文件！ " when two or more are ticked), and end with
// "全部操作已完成" and a beep.
class Batch final
{
public:
    struct Result
    {
        int total = 0;       // ticked rows
        int failures = 0;    // files that could not be processed
        bool started = true; // false when the office program could not be created
    };

    // A whole job: create() the office program (or say in one line, led by
    // cannotStart, that it could not be), begin(), work(batch, program, path) per
    // ticked file, finish, Quit. With nothing ticked the program is released
    // without Quit.
    template <class Create, class Work>
    static Result run(JobHost& host, Create create, const QString& cannotStart, Work work)
    {
        Result result;
        Batch batch(host);
        decltype(create()) program;
        try {
            program = create();
        } catch (const RuntimeError& error) {
            batch.cannotStart(cannotStart + error.description());
            result.started = false;
            return result;
        }
        result.total = batch.begin();
        if (result.total == 0)
            return result;
        batch.walk([&](const QString& path) { work(batch, *program, path); });
        try {
            program->quit();
        } catch (const RuntimeError&) {
            // The files are saved or reported; the office program goes with the instance.
        }
        result.failures = batch.failures();
        return result;
    }

    explicit Batch(JobHost& host)
        : m_host(host)
    {}

    // The bar to 0, the log box emptied, the ticked rows counted into the bar's
    // maximum and the bar shown when there are any; the total.
    int begin();
    // Every ticked row in list order, read when reached: work(path) for each file
    // (a read-only one is refused), then the progress step. Ends with finish().
    void walk(const std::function<void(const QString& path)>& work);
    // The office program could not be created: one line, in the log box and the journal.
    void cannotStart(const QString& line);

    // One line in the log box and the journal: path directly followed by status.
    void report(const QString& path, const QString& status);
    // A file that failed: what could not be done and why.
    enum class Stage { Open, Change, Save };
    void reportFailure(const QString& path, Stage stage, const RuntimeError& error);
    int failures() const { return m_failures; }

    // A file that must not be changed (read-only): true and reported when so.
    bool refuseReadOnly(const QString& path);

    static QString progressText(int done);

private:
    // Counts the ticked rows, raising the bar's maximum after each; the total.
    int countTicked();
    // After a file: the bar, and with two or more files a yield and the status text.
    void fileDone();
    // The status line's closing text and the beep.
    void finish();

    JobHost& m_host;
    int m_total = 0;
    int m_done = 0;
    int m_failures = 0;
};
