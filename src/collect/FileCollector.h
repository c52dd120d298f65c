#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

class CollectView;

// The engine or unlock option chosen on the visible tab, as the collection reads it.
struct CollectOptions
{
    bool word = false;      // Option1, Option3, Option11, Option7
    bool deleteTab = false; // Option9
    bool workbooks = false; // Option2, Option4
    bool renameTab = false; // Option10
    QString deletePatterns; // Text8
    QString renamePatterns; // Text11
};

// Collects files by extension into the view's list: the folder list's click and
// the recursive search behind it.
class FileCollector final
{
public:
    // The list holds at most this many rows (row numbers are 16-bit).
    static constexpr int kMaxRows = 32767;

    explicit FileCollector(CollectView& view, int maxRows = kMaxRows);

    // Window-wide state. SubfolderSwitch is "KAI" to search sub-folders.
    QString SubfolderSwitch;
    bool SearchEnabled = true;
    int ClickCount = 0;

    // One click on the folder list. clickedEntry is the row clicked, currentFolder
    // the folder the list has open.
    void Dir1_Click(const QString& clickedEntry, const QString& currentFolder, const CollectOptions& options);
    // A folder dropped on the window is a double-click on it: the click that follows ends a pair, and
    // its collection stands whole, even right after another pair left its stop request pending.
    void beginDroppedPair()
    {
        ClickCount = 1;
        SearchEnabled = true;
    }

    // Collects the files of folder (and its sub-folders when SubfolderSwitch is
    // "KAI") whose extension matches pattern's.
    void search(QString folder, const QString& pattern);

    // Everything after the last "." of text; text itself when it has none.
    static QString GetExtName(const QString& text);
    // The pieces of a pattern box split at ","; none for an empty box.
    static QStringList splitPatterns(const QString& text);
    // "收集到的文件 12条记录。"
    static QString countCaption(int rows);
    // Shown in the status line when the list is full.
    QString listFullText() const;

    // The line for a file whose name is not text of the system's encoding.
    static QString unusableNameText(const QString& path);

private:
    void clearList();
    // One folder of a search; visited holds the folders (their canonical
    // paths) entered so far, so that a link back up the tree is not followed.
    void searchFolder(QString folder, const QString& pattern, QSet<QString>& visited);
    void searchEach(const QString& folder, const QStringList& patterns, bool pairEnds);

    CollectView& m_view;
    // Only one folder listing runs at a time: a nested collection started from a
    // yield replaces it, and the interrupted one then ends at its next entry.
    quint64 m_listing = 0;
    int m_maxRows;
    bool m_full = false;
};
