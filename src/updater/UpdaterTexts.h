#pragma once

#include <QString>

// Everything the updater says to a user, in one place: its window and the
// reasons a download failed.
namespace UpdaterTexts {

inline QString windowTitle()
{
    return QStringLiteral("砚禾办公助手更新");
}
inline QString currentVersion(const QString& version)
{
    return QStringLiteral("当前版本：") + version;
}
inline QString latestVersion(const QString& version)
{
    return QStringLiteral("最新版本：") + version;
}
inline QString latestQuerying()
{
    return QStringLiteral("最新版本：正在查询…");
}
inline QString latestUnknown()
{
    return QStringLiteral("最新版本：未知");
}
inline QString openFolder()
{
    return QStringLiteral("打开所在文件夹");
}
inline QString close()
{
    return QStringLiteral("关闭");
}
inline QString upToDate()
{
    return QStringLiteral("已是最新版本");
}
inline QString noUpdateInfo(const QString& reason)
{
    return QStringLiteral("无法获取更新信息：") + reason;
}
inline QString downloading(const QString& address)
{
    return QStringLiteral("下载：") + address;
}
inline QString addressFailed(const QString& address, const QString& reason)
{
    return address + QStringLiteral(" 下载失败：") + reason;
}
inline QString downloaded(const QString& path)
{
    return QStringLiteral("已下载：") + path;
}
inline QString downloadFailed(const QString& reason)
{
    return QStringLiteral("下载失败：") + reason;
}

// Why an address failed.
inline QString noAddress()
{
    return QStringLiteral("没有下载地址");
}
inline QString notAnUpdate()
{
    return QStringLiteral("不是有效的更新文件");
}
inline QString cannotSaveAs(const QString& path)
{
    return QStringLiteral("无法保存为 ") + path;
}
inline QString stalled(int seconds)
{
    return QStringLiteral("%1 秒内没有收到足够的数据").arg(seconds);
}
inline QString httpStatus(int status)
{
    return QStringLiteral("HTTP %1").arg(status);
}
inline QString httpFailure(int status, const QString& address)
{
    return QStringLiteral("HTTP %1：%2").arg(status).arg(address);
}

} // namespace UpdaterTexts
