#pragma once

#include <QMenuBar>
#include <functional>

class Controls;
class EventBoundary;

// The menu bar: the update menu gjgx with gxqk and sdgx, the contact window,
// the journal folder and the about message.
class MainMenus final : public QMenuBar
{
    Q_OBJECT
public:
    // journalFolder: what ckrz opens.
    MainMenus(Controls& controls, const EventBoundary& boundary, QString journalFolder,
              QWidget* parent = nullptr);

    QMenu* gjgx = nullptr;
    QAction* gxqk = nullptr;
    QAction* sdgx = nullptr;
    QAction* das = nullptr;
    QAction* ckrz = nullptr;
    QAction* gy = nullptr;
    // "撤销上次操作": gives the files of the last run back what they held before it.
    QAction* undoLast = nullptr;
    // "预览" > "只预览，不保存" (checkable): the document and workbook jobs count what
    // they would change and save nothing. The menu's title says when it is on.
    QMenu* preview = nullptr;
    QAction* previewOnly = nullptr;
    // "停止" (Esc): shown while a job runs; stops it after the file in hand.
    QAction* stopJob = nullptr;

    // How ckrz_Click opens a folder; the platform's file browser unless replaced.
    void setFolderOpener(std::function<void(const QString&)> opener) { m_openFolder = std::move(opener); }

    void das_Click();
    void ckrz_Click();
    void gy_Click();

private:
    QString m_journalFolder;
    std::function<void(const QString&)> m_openFolder;
};
