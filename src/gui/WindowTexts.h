#pragma once

#include <QString>

// The texts of the main window that more than one of its areas shows or compares.
namespace WindowTexts {

inline const QString kProductName = QStringLiteral("砚禾办公助手");
inline const QString kTitle = QStringLiteral("砚禾批量替换Word ExceL文档内容助手V");
inline const QString kWelcome = QStringLiteral("欢迎使用砚禾办公助手");
inline const QString kOpenLog = QStringLiteral("打开日志");
inline const QString kCloseLog = QStringLiteral("关闭日志");
inline const QString kPatternNote =
    QStringLiteral("注意：扩展名(每个扩展名以*号开头)，多个用英文逗号“,”隔开,如:*.exe,*.jpg");
// The status line after a dry run.
inline const QString kPreviewDone = QStringLiteral("预览完成，没有保存任何文件");
inline const QString kUnlockHint =
    QStringLiteral("搜索前先勾上解锁双击左侧文件夹选择，如果包含子文件夹请在文件夹上方勾选");

} // namespace WindowTexts
