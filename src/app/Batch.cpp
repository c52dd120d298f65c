#include "Batch.h"

#include "JobHost.h"
#include "app/FailureText.h"

#include <QFileInfo>

Batch::Batch(JobHost& host, Pattern pattern)
    : m_host(host)
    , m_pattern(pattern)
{}

Batch::Batch(JobHost& host)
    : Batch(host, Pattern{})
{}

int Batch::begin()
{
    if (m_pattern.progress)
        m_host.setProgressValue(0);
    m_host.clearLog();
    m_total = Walk::countTicked(m_host, [this](int count) {
        if (m_pattern.progress)
            m_host.setProgressMax(count);
    });
    if (m_total > 0 && m_pattern.progress)
        m_host.setProgressVisible(true);
    return m_total;
}

bool Batch::walk(const std::function<void(const QString& path)>& work)
{
    const bool finished =
        Walk::tickedRows(m_host, Walk::Direction::FirstToLast, [&](int row, const QString& path) {
            // Counted so that the status line after each file says what a run over all files would.
            if (m_host.rowElsewhere(row)) {
                ++m_done;
                return;
            }
            m_reported.clear();
            attempt(path, Stage::Process, [&] { work(path); });
            if (m_pattern.progress)
                fileDone(path);
        });
    if (finished && m_pattern.closing)
        finish();
    return finished;
}

void Batch::cannotStart(const QString& line)
{
    m_host.clearLog();
    m_host.appendLog(line);
    m_host.journal(line);
}

QString Batch::failedText(int failures)
{
    return QStringLiteral(" 失败 %1 个文件，详见上方").arg(failures);
}

QString Batch::progressText(int done)
{
    return QStringLiteral("已完成 ") + QString::number(done) + QStringLiteral(" 个文件！ ");
}

void Batch::fileDone(const QString& path)
{
    const bool showPath = m_pattern.label == Pattern::Label::Path;
    if (m_total == 1) {
        m_host.setProgressValue(1);
        if (!showPath)
            return;
    } else {
        ++m_done;
        m_host.setProgressValue(m_done);
    }
    m_host.yield();
    m_host.setStatus(showPath ? path : progressText(m_done));
    m_progressShown = true;
}

void Batch::finish()
{
    // The closing text follows this run's progress text; with one file (or
    // none) there is none, and what an earlier search or job left goes.
    const QString closing = QStringLiteral("全部操作已完成");
    m_host.setStatus(m_progressShown ? m_host.status() + closing : closing);
    if (m_pattern.closingBeep)
        m_host.beep();
}

void Batch::report(const QString& path, const QString& status, const QString& journalTail)
{
    m_reported = path;
    m_host.appendLog(path + status);
    m_host.journal(path + status + journalTail);
}

void Batch::reportFailure(const QString& path, Stage stage, const RuntimeError& error)
{
    m_failed.insert(path);
    QString why = error.description();
    if ((stage == Stage::Open || stage == Stage::Rename || stage == Stage::Delete) &&
        !QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        why = FailureText::missing();
    static const char* const kWhat[] = {"打开", "替换", "写入", "保存", "改名", "删除", "处理"};
    QString line = QStringLiteral(" %1失败，未修改：%2").arg(QString::fromUtf8(kWhat[int(stage)]), why);
    // The lines of the file written before its save (" 已替换内容") said what was
    // done in memory; a save that failed undoes them, and this line says so.
    if (stage == Stage::Save && m_reported == path)
        line += QStringLiteral("（此文件前面的行作废）");
    m_host.appendLog(path + line);
    QString journalLine = path + line;
    if (!error.detail().isEmpty() && error.detail() != why)
        journalLine += QStringLiteral("（") + error.detail() + QStringLiteral("）");
    m_host.journal(journalLine);
}

bool Batch::guarded(const QString& path, Stage stage, const std::function<void()>& f)
{
    try {
        f();
        return true;
    } catch (const RuntimeError& error) {
        reportFailure(path, stage, error);
    } catch (const std::exception& error) {
        reportFailure(path, stage, RuntimeError::fromStd(error));
    } catch (...) {
        reportFailure(path, stage, RuntimeError::unknown());
    }
    return false;
}

bool Batch::writable(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || (info.permissions() & QFileDevice::WriteOwner))
        return true;
    m_failed.insert(path);
    report(path, QStringLiteral(" 处理失败，未修改：文件是只读的"));
    return false;
}
