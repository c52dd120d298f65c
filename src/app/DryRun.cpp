#include "DryRun.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <atomic>

namespace DryRun {

namespace {

std::atomic<bool> s_active{false};
QMutex s_mutex;
QHash<QString, Counts> s_counts;

QString key(const QString& path)
{
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

bool active()
{
    return s_active.load();
}

void setActive(bool on)
{
    s_active.store(on);
}

void count(const QString& path, Scope scope, int n)
{
    const QMutexLocker lock(&s_mutex);
    Counts& counts = s_counts[key(path)];
    counts[size_t(scope)] += n;
}

Counts take(const QString& path)
{
    const QMutexLocker lock(&s_mutex);
    return s_counts.take(key(path));
}

QString lineText(const Counts& counts, bool workbook)
{
    if (workbook)
        return QStringLiteral(" 预览：工作表 %1 处").arg(counts[size_t(Scope::Sheets)]);
    return QStringLiteral(" 预览：正文 %1 处，文本框 %2 处，页眉 %3 处，页脚 %4 处")
        .arg(counts[size_t(Scope::Body)])
        .arg(counts[size_t(Scope::TextBoxes)])
        .arg(counts[size_t(Scope::Headers)])
        .arg(counts[size_t(Scope::Footers)]);
}

} // namespace DryRun
