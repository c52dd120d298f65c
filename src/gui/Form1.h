#pragma once

#include "Controls.h"
#include "EventBoundary.h"
#include "EventPump.h"
#include "app/AppFolders.h"
#include "app/Batch.h"
#include "collect/FileCollector.h"
#include "env/OfficeProbes.h"

#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <functional>
#include <memory>

class CollectedFiles;
class FileDrop;
class JobTabs;
class Journal;
class LeftColumn;
class LogBox;
class MainMenus;
class MainStatusBar;
class OfficeRegistry;
class QGridLayout;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QRadioButton;
class QTimer;
class RunningOffice;
class UpdateNotice;
class WindowCollectView;
class WindowInputs;
class WindowJobHost;
struct JobRow;

// The main window: composes its areas (the left column, the collected files,
// the tabs, the menus, the status bar) and keeps the window-wide behaviour: the
// load, the welcome scroller, the engine options with their guards, the folder
// list's collection, the log box and the job buttons. Control names follow the
// window's layout (List1, Command1 ...).
class Form1 final : public QMainWindow
{
    Q_OBJECT
public:
    // running: the user's running office program, as the open-document guards see it;
    // office: where the jobs get their office programs. Throws RuntimeError when a
    // job names a control the window lacks.
    Form1(AppFolders folders, Journal& journal, std::unique_ptr<RunningOffice> running,
          OfficeRegistry& office, QWidget* parent = nullptr);
    ~Form1() override;

    // Runs once before the window is first shown. Throws RuntimeError when the
    // version file cannot be written.
    void Form_Load();

    // The file collection with its window-wide state (SubfolderSwitch, SearchEnabled).
    FileCollector& collector() { return *m_collector; }
    const QString& versionText() const { return m_versionText; }

    // The welcome text after one tick of the scroller: one more leading blank, or
    // back at the left edge once longer than the panel's width in twips / 120.
    static QString nextWelcomeText(const QString& text, int panelWidthTwips);
    void Timer3_Timer();

    // Adds one line to the log box Text3.
    void appendLog(const QString& line);

    // How ckrz_Click opens a folder; the platform's file browser unless replaced.
    void setFolderOpener(std::function<void(const QString&)> opener);
    // How a guard's No, or the updater's start, ends the tool; the application's exit unless replaced.
    void setProgramEnd(std::function<void()> end);
    UpdateNotice& updateNotice() { return *m_update; }
    // The program started as workers when a job runs its files on several
    // office processes at once (the window's own executable), and how many:
    // 0 chooses by cores, memory and files. Without a program (the default)
    // every job runs on one office process in this process.
    void setWorkers(const QString& program, int count = 0);

    // Whether a job is running; while one runs no other starts.
    bool jobRunning() const { return m_jobRunning; }
    // Esc, the stop entry, closing the window: the running job stops after the
    // file in hand, quits its office program and says how many files it left.
    void stopJob();
    // The undo entry: asks, naming the last run's time, job and file count, then
    // undoes it with the log box open on what it did.
    void undoLast();

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Closing while a job runs stops it; the window closes once it has stopped.
    void closeEvent(QCloseEvent* event) override;
    // While a job runs, clicks and keys do not change the list's ticks.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Check4_Click();
    void Dir1_Click();
    // Where the log box floats when open.
    QRect logBoxPlace() const;
    // The engine and unlock options. Each runs its guard, clears the options it
    // replaces, enables the drive and folder lists and, for most, shows Check2.
    void optionChosen(QRadioButton* chosen);
    // The guards; false when the user chose to end the tool.
    bool Wordjc();
    bool Exceljc();
    bool runGuard(bool word);
    // Connects every job row's button to its job; a button without a row does nothing.
    void connectJobs();
    void runJob(const JobRow& row);
    // The job as a dry run ("只预览，不保存" ticked): counts, nothing saved.
    void runPreview(const JobRow& row, Batch::Result& result);
    // The job as it changes files: its backups kept, on workers when there are files for them.
    void runChanging(const JobRow& row, Batch::Result& result);
    // The ticked rows on worker processes, when there are files for more than one.
    bool runOnWorkers(const JobRow& row, Batch::Result& result);
    // Dropped files: appended as rows, the frame's caption counting them.
    void appendRows(const QStringList& files);
    // At the first size, the controls that do not grow with the window are held at
    // the size they have there; the list frame and the report box share what it gains.
    void fixLayoutAtFirstSize(QGridLayout& grid);
    // What must not change while a job runs (the search, the list's commands,
    // the engine options, the update menu): disabled, or back as it was.
    void lockForJob(bool lock);
    // A run with failures: its last line, and the log box opened to show them.
    void showFailures(int failures);

    // The environment report's probes, then the report shown in Text9 and the
    // engine options enabled or disabled by it.
    void CheckOfficeVersion() { env::CheckOfficeVersion(m_sheets, m_report); }
    void CheckWpsV8() { env::CheckWpsV8(m_sheets, m_report); }
    void CheckWpsV9() { env::CheckWpsV9(m_sheets, m_report); }
    void showEnvironmentReport();

    AppFolders m_folders;
    Journal& m_journal;
    std::unique_ptr<RunningOffice> m_running;
    OfficeRegistry& m_office;
    sheet::Factory& m_sheets; // the environment report's
    Controls m_controls;
    EventBoundary m_boundary;
    EventPump m_events;
    QString m_versionText;
    std::function<void()> m_endProgram;
    QString m_workerProgram;
    int m_workerCount = 0;

    LeftColumn* m_left = nullptr;
    CollectedFiles* m_files = nullptr;
    JobTabs* m_tabs = nullptr;
    MainMenus* m_menus = nullptr;
    MainStatusBar* m_statusBar = nullptr;
    QLabel* Label5 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    LogBox* Text3 = nullptr;
    QPlainTextEdit* Text9 = nullptr; // the environment report
    QTimer* Timer1 = nullptr;        // the update notice in the title
    QTimer* Timer3 = nullptr;

    std::unique_ptr<WindowCollectView> m_collectView;
    std::unique_ptr<FileCollector> m_collector;
    std::unique_ptr<WindowJobHost> m_host;
    std::unique_ptr<WindowInputs> m_inputs;
    UpdateNotice* m_update = nullptr;
    FileDrop* m_drop = nullptr;
    env::EnvironmentReport m_report;

    QSet<QObject*> m_jobButtons;
    bool m_jobRunning = false;
    bool m_closeWhenStopped = false;
    QList<QPair<QPointer<QObject>, bool>> m_lockedForJob; // with their enabled state before
};
