#pragma once

#include <QString>
#include <functional>

class JobHost;
class RuntimeError;

// The run pattern that the batch jobs share: count the ticked rows into the
// bar's maximum, end silently when there are none, show the bar, advance it per
// finished file ("已完成 N 个文件！ " when two or more are ticked), and end with
// "全部操作已完成" and a beep.
class Batch final
{
public:
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

    // Counts the ticked rows, raising the bar's maximum after each; the total.
    int countTicked();
    int total() const { return m_total; }
    // After a file: the bar, and with two or more files a yield and the status text.
    void fileDone();
    // The status line's closing text and the beep.
    void finish();

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
    JobHost& m_host;
    int m_total = 0;
    int m_done = 0;
    int m_failures = 0;
};
