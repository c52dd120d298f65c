#include "UpdateNotice.h"

#include "EventBoundary.h"
#include "MainMenus.h"
#include "MessageBox.h"
#include "WindowTexts.h"
#include "app/RuntimeError.h"

#include <QMainWindow>
#include <QTimer>

UpdateNotice::UpdateNotice(MainMenus& menus, QTimer& timer1, QMainWindow& window,
                           const EventBoundary& boundary, AppFolders folders,
                           std::function<void()> endProgram)
    : QObject(&window)
    , m_menus(menus)
    , m_timer1(timer1)
    , m_window(window)
    , m_folders(std::move(folders))
    , m_endProgram(std::move(endProgram))
{
    connect(&m_timer1, &QTimer::timeout, this, boundary.guard([this] { Timer1_Timer(); }));
    connect(m_menus.gxqk, &QAction::triggered, this, boundary.guard([this] { gxqk_Click(); }));
    connect(m_menus.sdgx, &QAction::triggered, this, boundary.guard([this] { sdgx_Click(); }));
}

void UpdateNotice::CheckUpdate(const QString& address)
{
    m_state = update::CheckUpdate(m_folders, address);
    m_menus.gjgx->setTitle(m_state.gjgxCaption);
    m_menus.gxqk->setText(m_state.gxqkCaption);
    m_menus.gxqk->setEnabled(m_state.gxqkEnabled);
    m_menus.sdgx->setEnabled(m_state.sdgxEnabled);
    if (m_state.timer1Enabled)
        m_timer1.start();
}

void UpdateNotice::Timer1_Timer()
{
    m_window.setWindowTitle(update::nextTitle(m_window.windowTitle()));
}

void UpdateNotice::gxqk_Click()
{
    try {
        update::startUpdater();
    } catch (const RuntimeError& error) {
        // The tool stays: without its updater there is nothing to close it for.
        MessageBox::show(&m_window, QMessageBox::Warning, WindowTexts::kProductName, error.description());
        return;
    }
    m_endProgram();
}

void UpdateNotice::sdgx_Click()
{
    MessageBox::input(&m_window, update::kManualTitle, update::kManualPrompt, m_state.manualText());
}
