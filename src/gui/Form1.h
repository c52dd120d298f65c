#pragma once

#include "app/AppFolders.h"

#include <QMainWindow>

#include <functional>

class CheckList;
class Journal;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;

// The main window. Control names follow the window's layout (List1, Command1 ...);
// a control array's element i is named Name_i (Check13_0, Text12_3).
class Form1 final : public QMainWindow
{
    Q_OBJECT
public:
    Form1(AppFolders folders, Journal& journal, QWidget* parent = nullptr);
    ~Form1() override;

    // Runs once before the window is first shown. Throws RuntimeError when the
    // version file cannot be written.
    void Form_Load();

    // Window-wide state read by the search.
    QString SubfolderSwitch;
    bool SearchEnabled = false;

    const QString& versionText() const { return m_versionText; }

    // The welcome text after one tick of the scroller: one more leading blank, or
    // back at the left edge once longer than the panel's width in twips / 120.
    static QString nextWelcomeText(const QString& text, int panelWidthTwips);
    void Timer3_Timer();

    // Adds one line to the log box Text3.
    void appendLog(const QString& line);

    // How ckrz_Click opens a folder; the platform's file browser unless replaced.
    void setFolderOpener(std::function<void(const QString&)> opener);

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
    QString m_versionText;
    std::function<void(const QString&)> m_openFolder;

    QComboBox* Drive1 = nullptr;
    QListWidget* Dir1 = nullptr;
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
    QLabel* panel2 = nullptr;
    QLabel* panel3 = nullptr;
    QLabel* panel4 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer3 = nullptr;
    QTimer* clockTimer = nullptr;
};
