#include "WindowJobHost.h"

#include "CheckList.h"
#include "EventPump.h"
#include "MessageBox.h"
#include "app/Journal.h"
#include "app/RuntimeError.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>

WindowJobHost::WindowJobHost(Widgets widgets, Journal& journal, EventPump& events,
                             std::function<void()> recollect)
    : m_controls(widgets)
    , m_journal(journal)
    , m_events(events)
    , m_recollect(std::move(recollect))
{}

int WindowJobHost::rowCount() const
{
    return m_controls.List1->count();
}

bool WindowJobHost::rowChecked(int row) const
{
    const QListWidgetItem* item = m_controls.List1->item(row);
    return item && item->checkState() == Qt::Checked;
}

QString WindowJobHost::rowText(int row) const
{
    const QListWidgetItem* item = m_controls.List1->item(row);
    return item ? item->text() : QString();
}

void WindowJobHost::removeRow(int row)
{
    delete m_controls.List1->takeItem(row);
}

void WindowJobHost::setProgressValue(int value)
{
    m_controls.ProgressBar1->setValue(value);
}

void WindowJobHost::setProgressMax(int max)
{
    m_controls.ProgressBar1->setMaximum(max);
}

void WindowJobHost::setProgressVisible(bool visible)
{
    m_controls.ProgressBar1->setVisible(visible);
}

QString WindowJobHost::status() const
{
    return m_controls.Label5->text();
}

void WindowJobHost::setStatus(const QString& text)
{
    m_controls.Label5->setText(text);
}

void WindowJobHost::clearLog()
{
    m_controls.Text3->clear();
}

void WindowJobHost::appendLog(const QString& line)
{
    m_controls.Text3->appendPlainText(line);
}

void WindowJobHost::journal(const QString& message)
{
    QString why;
    try {
        m_journal.WriteJournal(message);
        return;
    } catch (const RuntimeError& error) {
        why = error.description();
    } catch (const std::exception& error) {
        why = RuntimeError::fromStd(error).description();
    }
    // The job goes on; the user sees why the journal misses lines.
    m_controls.Label5->setText(QStringLiteral("日志写入失败：") + why);
}

void WindowJobHost::yield()
{
    m_events.yield();
}

void WindowJobHost::beep()
{
    QApplication::beep();
}

void WindowJobHost::message(const QString& text, const QString& title, Icon icon)
{
    static constexpr QMessageBox::Icon kIcons[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                                   QMessageBox::Warning, QMessageBox::Critical};
    MessageBox::show(m_controls.window, kIcons[int(icon)],
                     title.isEmpty() ? QCoreApplication::applicationName() : title, text);
}

QString WindowJobHost::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    return MessageBox::input(m_controls.window, title.isEmpty() ? QCoreApplication::applicationName() : title,
                             prompt, defaultText);
}

void WindowJobHost::recollect()
{
    m_recollect();
}
