#pragma once

#include <QString>

class AppFolders;

// The update check of the window's load, the title notice and the menu texts.
// The check leaves an UpdateState; the window applies it to its menus and timer
// and keeps it for the menu handlers:
//
//   m_update = update::CheckUpdate(m_folders);
//   gjgx->setTitle(m_update.gjgxCaption);
//   gxqk->setText(m_update.gxqkCaption);   gxqk->setEnabled(m_update.gxqkEnabled);
//   sdgx->setEnabled(m_update.sdgxEnabled);
//   if (m_update.timer1Enabled) Timer1->start();
namespace update {

inline const QString kGjgxCaption = QStringLiteral("工具更新");
inline const QString kGxqkCaption = QStringLiteral("更新情况");
inline const QString kSdgxCaption = QStringLiteral("手动更新");
// sdgx_Click's input box: prompt and title; its text is UpdateState::manualText().
inline const QString kManualPrompt = QStringLiteral("请复制下面链接到浏览器打开下载");
inline const QString kManualTitle = QStringLiteral("手动更新");

enum class CheckEnd {
    Early,  // no reply, or a marker missing: menus as designed, timer off
    Newer,  // a newer version: both menus enabled, the title notice runs
    Latest, // equal or later: both menus disabled, "没有最新版本"
};

struct UpdateState
{
    QString gjgxCaption = kGjgxCaption;
    QString gxqkCaption = kGxqkCaption;
    bool gxqkEnabled = true;
    bool sdgxEnabled = true;
    bool timer1Enabled = false;
    CheckEnd end = CheckEnd::Early;
    // Kept for the menu handlers; an address taken from the reply begins with its marker's blank.
    QString latestVersion;
    QString addressA;
    QString addressB;
    QString contact;

    // sdgx_Click's default text: address A followed directly by address B.
    QString manualText() const { return addressA + addressB; }
};

// Steps 4 to 9 of the check over a reply's text; `running` is the running version.
// A reply without the version marker (also the empty text of a failed request)
// ends early, as a missing address marker does.
void applyReply(const QString& running, const QString& reply, UpdateState& state);

// The request address: the last line of toconfigure/mysql.ini, unscrambled.
QString requestAddress(const AppFolders& folders);

// The whole check: the running version from the last line of toconfigure/dqbb.ini,
// the reply of the request address (or `address` when given) fetched with GET
// and time-out 1000, then applyReply. Writes nothing, shows nothing; returns
// within about 6 s whatever the server does.
UpdateState CheckUpdate(const AppFolders& folders, const QString& address = {});

// Timer1_Timer: the window's next caption.
QString nextTitle(const QString& caption);

// gxqk_Click: the updater executable beside this one, started detached without
// arguments. Throws RuntimeError FileNotFound when it cannot be started.
QString updaterPath();
void startUpdater();

} // namespace update
