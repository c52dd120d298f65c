#include "Batch.h"

#include "JobHost.h"
#include "RuntimeError.h"

#include <QFileInfo>

int Batch::begin()
{
    m_host.setProgressValue(0);
    m_host.clearLog();
    if (countTicked() > 0)
        m_host.setProgressVisible(true);
    return m_total;
}

void Batch::walk(const std::function<void(const QString& path)>& work)
{
    const int rows = m_host.rowCount();
    for (int row = 0; row < rows; ++row) {
        if (!m_host.rowChecked(row))
            continue;
        const QString path = m_host.rowText(row);
        if (!refuseReadOnly(path))
            work(path);
        fileDone();
    }
    finish();
}

void Batch::cannotStart(const QString& line)
{
    m_host.clearLog();
    m_host.appendLog(line);
    m_host.journal(line);
}

int Batch::countTicked()
{
    m_total = 0;
    const int rows = m_host.rowCount();
    for (int row = 0; row < rows; ++row) {
        if (m_host.rowChecked(row)) {
            ++m_total;
            m_host.setProgressMax(m_total);
        }
    }
    return m_total;
}

QString Batch::progressText(int done)
{
    return QStringLiteral("已完成 ") + QString::number(done) + QStringLiteral(" 个文件！ ");
}

void Batch::fileDone()
{
    if (m_total == 1) {
        m_host.setProgressValue(1);
        return;
    }
    ++m_done;
    m_host.setProgressValue(m_done);
    m_host.yield();
    m_host.setStatus(progressText(m_done));
}

void Batch::finish()
{
    m_host.setStatus(m_host.status() + QStringLiteral("全部操作已完成"));
    m_host.beep();
}

void Batch::report(const QString& path, const QString& status)
{
    m_host.appendLog(path + status);
    m_host.journal(path + status);
}

void Batch::reportFailure(const QString& path, Stage stage, const RuntimeError& error)
{
    ++m_failures;
    QString why = error.description();
    if (stage == Stage::Open && !QFileInfo::exists(path))
        why = QStringLiteral("文件不存在");
    const QString what = stage == Stage::Open     ? QStringLiteral("打开")
                         : stage == Stage::Change ? QStringLiteral("替换")
                                                  : QStringLiteral("保存");
    report(path, QStringLiteral(" %1失败，未修改：%2").arg(what, why));
}

bool Batch::refuseReadOnly(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || (info.permissions() & QFileDevice::WriteOwner))
        return false;
    ++m_failures;
    report(path, QStringLiteral(" 处理失败，未修改：文件是只读的"));
    return true;
}
