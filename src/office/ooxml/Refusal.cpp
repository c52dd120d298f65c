#include "Refusal.h"

#include "office/Watchdog.h"

namespace ooxml::refusal {

RuntimeError damaged(const QString& what, const QString& detail)
{
    return {RuntimeError::PathFileAccess, QStringLiteral("文件已损坏：") + what, detail};
}

RuntimeError unsafe(const QString& what, const QString& detail)
{
    return {RuntimeError::PathFileAccess, QStringLiteral("文件不安全，未打开：") + what, detail};
}

RuntimeError tooLarge(const QString& part, qint64 bytes, qint64 limit)
{
    return {RuntimeError::PathFileAccess,
            QStringLiteral("文件过大，未打开：%1 解压后超过 %2 MB").arg(part).arg(limit / (1024 * 1024)),
            QStringLiteral("part %1: %2 bytes expanded, limit %3").arg(part).arg(bytes).arg(limit)};
}

RuntimeError missingPart(const QString& part)
{
    return damaged(QStringLiteral("缺少部件 ") + part);
}

RuntimeError notSaved(const QString& detail)
{
    return {RuntimeError::PathFileAccess, QStringLiteral("无法写入文件"), detail};
}

RuntimeError overran(int timeoutMs)
{
    return {RuntimeError::CommandFailed, QStringLiteral("处理时间过长，已停止"),
            QStringLiteral("the lossless engine made no progress within %1 ms, or ran for %2 such rounds")
                .arg(timeoutMs)
                .arg(Watchdog::kBusyRounds)};
}

RuntimeError cannotEdit(const Declined& declined)
{
    return {RuntimeError::NotSupported, QStringLiteral("无法直接编辑：") + declined.reason()};
}

} // namespace ooxml::refusal
