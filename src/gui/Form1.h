#pragma once

#include "app/AppFolders.h"
#include "app/JobHost.h"
#include "collect/CollectView.h"
#include "collect/FileCollector.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <functional>
#include <memory>

class CheckList;
class DirList;
class RunningOffice;
class Journal;
class OfficeRegistry;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;

// The main window. Control names follow the window's layout (List1, Command1 ...);
// a control array's element i is named Name_i (Check13_0, Text12_3).
class Form1 final : public QMainWindow, private CollectView, private JobHost
{
    Q_OBJECT
public:
    // running: the user's running office program, as the open-document guards see it;
    // office: where the jobs get their office programs.
    Form1(AppFolders folders, Journal& journal, std::unique_ptr<RunningOffice> running,
          OfficeRegistry& office, QWidget* parent = nullptr);
    ~Form1() override;

    // Runs once before the window is first shown. Throws RuntimeError when the
    // version file cannot be written.
    void Form_Load();

    // The file collection with its window-wide state (SubfolderSwitch, SearchEnabled).
    FileCollector& collector() { return m_collector; }

    const QString& versionText() const { return m_versionText; }

    // The welcome text after one tick of the scroller: one more leading blank, or
    // back at the left edge once longer than the panel's width in twips / 120.
    static QString nextWelcomeText(const QString& text, int panelWidthTwips);
    void Timer3_Timer();

    // Adds one line to the log box Text3.
    void appendLog(const QString& line) override;

    // How ckrz_Click opens a folder; the platform's file browser unless replaced.
    void setFolderOpener(std::function<void(const QString&)> opener);
    // How a guard's No ends the tool; the application's exit unless replaced.
    void setProgramEnd(std::function<void()> end);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildMenus();
    void buildStatusBar();
    QWidget* buildLeftColumn();
    QWidget* buildCollectedFrame();
    QWidget* buildTabs();
    QWidget* buildSingleTextTab();
    QWidget* buildHeaderFooterTab();
    QWidget* buildDeleteTab();
    QWidget* buildRenameTab();
    QWidget* buildMultiTextTab();

    void Check4_Click();
    void Drive1_Change();
    void Dir1_Click();
    void Check2_Click();
    void Command5_Click();
    // The engine and unlock options. Each runs its guard, clears the options it
    // replaces, enables the drive and folder lists and, for most, shows Check2.
    void optionChosen(QRadioButton* chosen);
    // The guards; false when the user chose to end the tool.
    bool Wordjc();
    bool Exceljc();
    bool runGuard(bool word);
    static void clearOption(QRadioButton* option);

    // CollectView
    int attributeMask() const override;
    void clearRows() override;
    int rowCount() const override;
    void addRow(const QString& path) override;
    void setStatus(const QString& text) override;
    void setCountCaption(const QString& text) override;
    void showSelectAll() override;
    void setDocumentCommandsEnabled(bool enabled) override;
    void setWorkbookCommandsEnabled(bool enabled) override;
    void yield() override;

    // The jobs of the first tab.
    void Command1_Click();
    void Command2_Click();
    // Runs the job table's row of a button.
    void runJob(const QString& button);

    // JobHost (rowCount, setStatus, appendLog and yield serve both)
    bool rowChecked(int row) const override;
    QString rowText(int row) const override;
    void removeRow(int row) override;
    void message(const QString& text, const QString& title, Icon icon) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;
    void recollect() override;
    void setProgressValue(int value) override;
    void setProgressMax(int max) override;
    void setProgressVisible(bool visible) override;
    QString status() const override;
    void clearLog() override;
    void journal(const QString& message) override;
    void beep() override;
    void Command11_Click();
    void ckrz_Click();
    void das_Click();
    void gy_Click();
    void hgdtiao();
    void placeLogBox();

    // Empty until the environment report and the update check are built.
    void CheckOfficeVersion() {}
    void CheckWpsV8() {}
    void CheckWpsV9() {}
    void CheckUpdate() {}

    AppFolders m_folders;
    Journal& m_journal;
    std::unique_ptr<RunningOffice> m_running;
    OfficeRegistry& m_office;
    FileCollector m_collector{*this};
    QString m_versionText;
    std::function<void(const QString&)> m_openFolder;
    std::function<void()> m_endProgram;
    static constexpr int kEventLatencyMs = 10;
    QElapsedTimer m_sinceEvents;
    bool m_scrollPending = false;

    QComboBox* Drive1 = nullptr;
    DirList* Dir1 = nullptr;
    QCheckBox* Check8[4] = {};
    QCheckBox* Check6 = nullptr;
    QCheckBox* Check4 = nullptr;
    QLabel* Label5 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QGroupBox* Frame4 = nullptr;
    CheckList* List1 = nullptr;
    QPushButton* Command11 = nullptr;
    QCheckBox* Check2 = nullptr;
    QTabWidget* SSTab1 = nullptr;
    QPlainTextEdit* Text3 = nullptr;
    QPlainTextEdit* Text9 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option3 = nullptr;
    QRadioButton* Option4 = nullptr;
    QRadioButton* Option7 = nullptr;
    QRadioButton* Option9 = nullptr;
    QRadioButton* Option10 = nullptr;
    QRadioButton* Option11 = nullptr;
    QLineEdit* Text8 = nullptr;
    QLineEdit* Text11 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command7 = nullptr;
    QPushButton* Command8 = nullptr;
    QLabel* panel2 = nullptr;
    QLabel* panel3 = nullptr;
    QLabel* panel4 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer3 = nullptr;
    QTimer* clockTimer = nullptr;
};
