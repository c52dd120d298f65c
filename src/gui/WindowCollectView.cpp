#include "WindowCollectView.h"

#include "CheckList.h"
#include "CollectedFiles.h"
#include "EventPump.h"
#include "collect/FileAttributes.h"
#include "collect/FileCollector.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

WindowCollectView::WindowCollectView(CollectedFiles& files, QLabel& status, EventPump& events,
                                     QList<QPushButton*> documentCommands,
                                     QList<QPushButton*> workbookCommands)
    : m_files(files)
    , m_status(status)
    , m_events(events)
    , m_documentCommands(std::move(documentCommands))
    , m_workbookCommands(std::move(workbookCommands))
{}

int WindowCollectView::attributeMask() const
{
    static constexpr int kBits[4] = {FileAttributes::Normal, FileAttributes::ReadOnly, FileAttributes::Hidden,
                                     FileAttributes::System};
    int mask = FileAttributes::Directory;
    bool any = false;
    for (int i = 0; i < 4; ++i) {
        if (m_files.Check8[i]->isChecked()) {
            mask |= kBits[i];
            any = true;
        }
    }
    return any ? mask : -1;
}

void WindowCollectView::clearRows()
{
    m_files.List1->clear();
}

int WindowCollectView::rowCount() const
{
    return m_files.List1->count();
}

void WindowCollectView::addRow(const QString& path)
{
    auto* item = new QListWidgetItem(path, m_files.List1);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    // The last row is brought into view before the window next draws; scrolling
    // at once would lay the whole list out again for every row.
    if (!m_scrollPending) {
        m_scrollPending = true;
        QTimer::singleShot(0, m_files.List1, [this] {
            m_scrollPending = false;
            m_files.List1->scrollToBottom();
        });
    }
}

void WindowCollectView::setStatus(const QString& text)
{
    m_status.setText(text);
}

void WindowCollectView::setCountCaption(const QString& text)
{
    m_files.setTitle(text);
}

void WindowCollectView::showSelectAll()
{
    m_files.Check2->show();
}

void WindowCollectView::setDocumentCommandsEnabled(bool enabled)
{
    for (QPushButton* command : m_documentCommands)
        command->setEnabled(enabled);
}

void WindowCollectView::setWorkbookCommandsEnabled(bool enabled)
{
    for (QPushButton* command : m_workbookCommands)
        command->setEnabled(enabled);
}

void WindowCollectView::yield()
{
    m_events.yield();
}

void WindowCollectView::reportUnusableName(const QString& path)
{
    if (m_report)
        m_report(FileCollector::unusableNameText(path));
}
