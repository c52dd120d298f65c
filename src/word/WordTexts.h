#pragma once

#include <QString>

// Texts of the document jobs that more than one job writes.
namespace word::texts {

// Leads the one line of a job whose word processor (progId) cannot be created.
inline QString cannotStart(const QString& progId)
{
    return QStringLiteral("无法启动文字处理程序（") + progId + QStringLiteral("）：");
}

} // namespace word::texts
