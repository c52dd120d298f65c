#pragma once

#include <QListWidget>

// A folder list: the open folder with the folders above it, then its
// sub-folders. A click selects a row; a double-click opens it. Every click,
// including each of a double-click's two, is reported by entryClicked().
class DirList final : public QListWidget
{
    Q_OBJECT
public:
    explicit DirList(QWidget* parent = nullptr);

    // The open folder, with native separators.
    const QString& path() const { return m_path; }
    // Opens folder; false (and nothing changes) when it cannot be listed.
    bool setPath(const QString& folder);

    // The full path of the selected row; the open folder when none is selected.
    QString clickedEntry() const;
    // Opens folder and collects it, as a double-click on its row does.
    void openFolder(const QString& folder);
    // The row showing folder, or -1.
    int rowOf(const QString& folder) const;

signals:
    void entryClicked();
    // The user tried to open a folder that cannot be listed.
    void openFailed(const QString& folder);

private:
    void open(QListWidgetItem* item);

    QString m_path;
};
