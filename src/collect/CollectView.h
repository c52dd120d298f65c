#pragma once

#include <QString>

// What the file collection needs from the window: the attribute boxes, the
// collected-file list, the status line, the frame caption, the commands it
// enables, and a way to let pending events run. The window implements it with
// its controls; the command line and the tests in memory.
class CollectView
{
public:
    virtual ~CollectView() = default;

    // The listing mask of the ticked attribute boxes (folder bit included), or
    // -1 when no box is ticked.
    virtual int attributeMask() const = 0;

    virtual void clearRows() = 0;
    virtual int rowCount() const = 0;
    // Appends a row (unticked) and scrolls it into view.
    virtual void addRow(const QString& path) = 0;

    virtual void setStatus(const QString& text) = 0;       // Label5
    virtual void setCountCaption(const QString& text) = 0; // Frame4
    virtual void showSelectAll() {}                        // Check2
    virtual void setDocumentCommandsEnabled(bool) {}       // Command1, Command3, Command7
    virtual void setWorkbookCommandsEnabled(bool) {}       // Command2, Command8

    // A matching file (or a folder) whose name no path can reach: one line that
    // names it; it is not collected.
    virtual void reportUnusableName(const QString& path) { (void)path; }

    // Lets pending window events run; a click may start a nested collection.
    virtual void yield() {}
};
