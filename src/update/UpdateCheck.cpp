#include "UpdateCheck.h"

#include "Geturl.h"
#include "UpdateAddress.h"
#include "UpdateReply.h"
#include "app/AppFolders.h"
#include "app/RuntimeError.h"
#include "app/SystemText.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

namespace update {

void applyReply(const QString& running, const QString& reply, UpdateState& state)
{
    const std::optional<QString> latest = latestVersion(reply);
    if (!latest)
        return;
    state.latestVersion = *latest;
    const std::optional<QString> a = markedField(reply, kAddressAStart, kAddressAEnd);
    if (!a)
        return;
    state.addressA = *a;
    const std::optional<QString> b = markedField(reply, kAddressBStart, kAddressBEnd);
    if (!b)
        return;
    state.addressB = *b;
    const std::optional<QString> contact = markedField(reply, kContactStart, kContactEnd);
    if (!contact)
        return;
    state.contact = *contact;

    // As texts, code unit by code unit: "1.10." sorts before "1.8.4".
    if (QString::compare(running, *latest, Qt::CaseSensitive) < 0) {
        state.end = CheckEnd::Newer;
        state.sdgxEnabled = true;
        state.gjgxCaption = QStringLiteral("工具更新了");
        state.gxqkCaption = QStringLiteral("最新版本（ ") + *latest + QStringLiteral("）点击更新");
        state.timer1Enabled = true;
    } else {
        state.end = CheckEnd::Latest;
        state.sdgxEnabled = false;
        state.gxqkCaption = QStringLiteral("没有最新版本");
        state.gxqkEnabled = false;
    }
}

QString requestAddress(const AppFolders& folders)
{
    return UpdateAddress::unscramble(SystemText::lastLine(folders.addressFile()));
}

UpdateState CheckUpdate(const AppFolders& folders, const QString& address)
{
    const QString running = SystemText::lastLine(folders.versionFile());
    const QString url = address.isEmpty() ? requestAddress(folders) : address;
    UpdateState state;
    applyReply(running, Geturl(url, QStringLiteral("GET"), 0, 1000).toString(), state);
    return state;
}

QString nextTitle(const QString& caption)
{
    if (caption.size() < 60)
        return caption + QStringLiteral("    有更新了 ");
    return QStringLiteral("zureZevi--ridivozud ");
}

QString updaterPath()
{
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("yanhe-update.exe");
#else
    const QString name = QStringLiteral("yanhe-update");
#endif
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

void startUpdater()
{
    const QString path = updaterPath();
    if (!QProcess::startDetached(path, {}, QCoreApplication::applicationDirPath()))
        throw RuntimeError(RuntimeError::FileNotFound,
                           QStringLiteral("找不到更新程序：") + QDir::toNativeSeparators(path));
}

} // namespace update
