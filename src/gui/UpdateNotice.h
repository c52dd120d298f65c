#pragma once

#include "app/AppFolders.h"
#include "update/UpdateCheck.h"

#include <QObject>
#include <functional>

class EventBoundary;
class MainMenus;
class QMainWindow;
class QTimer;

// The update check's side of the window: the menus gjgx, gxqk and sdgx, the
// title notice of Timer1, and the updater started from the menu.
class UpdateNotice final : public QObject
{
    Q_OBJECT
public:
    // endProgram: how the window closes after the updater has started.
    UpdateNotice(MainMenus& menus, QTimer& timer1, QMainWindow& window, const EventBoundary& boundary,
                 AppFolders folders, std::function<void()> endProgram);

    // The check of the window's load, applied to the menus and the timer.
    void CheckUpdate(const QString& address = {});
    void Timer1_Timer();
    void gxqk_Click();
    void sdgx_Click();

    const update::UpdateState& state() const { return m_state; }

private:
    MainMenus& m_menus;
    QTimer& m_timer1;
    QMainWindow& m_window;
    AppFolders m_folders;
    std::function<void()> m_endProgram;
    update::UpdateState m_state;
};
