#pragma once

#include "app/JobHost.h"

#include <functional>

class CheckList;
class EventPump;
class Journal;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QWidget;

// The jobs' host over the window's controls: the rows of List1, ProgressBar1,
// the status line Label5, the log box Text3, the journal, the window's event
// pump, the beep, message and input boxes (through MessageBox) and the folder
// list's collection.
class WindowJobHost final : public JobHost
{
public:
    struct Widgets
    {
        QWidget* window;
        CheckList* List1;
        QProgressBar* ProgressBar1;
        QLabel* Label5;
        QPlainTextEdit* Text3;
    };

    // recollect: the window's Dir1_Click.
    WindowJobHost(Widgets widgets, Journal& journal, EventPump& events, std::function<void()> recollect);

    int rowCount() const override;
    bool rowChecked(int row) const override;
    QString rowText(int row) const override;
    void removeRow(int row) override;
    void setProgressValue(int value) override;
    void setProgressMax(int max) override;
    void setProgressVisible(bool visible) override;
    QString status() const override;
    void setStatus(const QString& text) override;
    void clearLog() override;
    void appendLog(const QString& line) override;
    // A journal that cannot be written is said in the status line; the job goes on.
    void journal(const QString& message) override;
    void yield() override;
    void beep() override;
    bool stopRequested() const override { return m_stopRequested; }
    // Esc, the stop entry or closing the window: the job stops before its next file.
    void setStopRequested(bool stop) { m_stopRequested = stop; }
    void message(const QString& text, const QString& title, Icon icon) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;
    void recollect() override;

private:
    Widgets m_controls;
    Journal& m_journal;
    EventPump& m_events;
    std::function<void()> m_recollect;
    bool m_stopRequested = false;
};
