#pragma once

#include "collect/CollectView.h"

#include <QList>
#include <functional>

class CollectedFiles;
class EventPump;
class QLabel;
class QPushButton;

// The collection's view over the window: the attribute boxes, List1, the
// status line, Frame4's caption, the tick-all box and the commands that need
// documents or workbooks.
class WindowCollectView final : public CollectView
{
public:
    WindowCollectView(CollectedFiles& files, QLabel& status, EventPump& events,
                      QList<QPushButton*> documentCommands, QList<QPushButton*> workbookCommands);

    int attributeMask() const override;
    void clearRows() override;
    int rowCount() const override;
    void addRow(const QString& path) override;
    void setStatus(const QString& text) override;
    void setCountCaption(const QString& text) override;
    void showSelectAll() override;
    void setDocumentCommandsEnabled(bool enabled) override;
    void setWorkbookCommandsEnabled(bool enabled) override;
    void yield() override;
    void reportUnusableName(const QString& path) override;
    // Where such a line goes: the log box and the journal.
    void setReporter(std::function<void(const QString& line)> report) { m_report = std::move(report); }

private:
    CollectedFiles& m_files;
    QLabel& m_status;
    EventPump& m_events;
    QList<QPushButton*> m_documentCommands;
    QList<QPushButton*> m_workbookCommands;
    bool m_scrollPending = false;
    std::function<void(const QString& line)> m_report;
};
