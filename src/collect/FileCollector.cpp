#include "FileCollector.h"

#include "CollectView.h"
#include "FileAttributes.h"

#include <QDir>
#include <QFileInfo>

FileCollector::FileCollector(CollectView& view, int maxRows)
    : m_view(view)
    , m_maxRows(maxRows)
{}

QString FileCollector::GetExtName(const QString& text)
{
    const qsizetype dot = text.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? text : text.mid(dot + 1);
}

QStringList FileCollector::splitPatterns(const QString& text)
{
    if (text.isEmpty())
        return {};
    return text.split(QLatin1Char(','));
}

QString FileCollector::countCaption(int rows)
{
    // A non-negative number is written with a blank in its sign's place.
    const QString number = rows < 0 ? QString::number(rows) : QLatin1Char(' ') + QString::number(rows);
    return QStringLiteral("收集到的文件") + number + QStringLiteral("条记录。");
}

QString FileCollector::listFullText() const
{
    return QStringLiteral("列表已满（最多 %1 条记录），其余文件未收集。").arg(m_maxRows);
}

void FileCollector::clearList()
{
    m_view.clearRows();
    m_full = false;
}

// Runs search for each pattern. The second click of a pair then asks any
// collection still running to stop and starts counting pairs afresh.
void FileCollector::searchEach(const QString& folder, const QStringList& patterns, bool pairEnds)
{
    for (const QString& pattern : patterns)
        search(folder, pattern);
    if (pairEnds) {
        SearchEnabled = false;
        ClickCount = 0;
    }
}

void FileCollector::Dir1_Click(const QString& clickedEntry, const QString& currentFolder,
                               const CollectOptions& options)
{
    clearList();
    ++ClickCount;
    const bool pairEnds = ClickCount > 1;
    const QStringList documents = {QStringLiteral("*.doc"), QStringLiteral("*.docx")};
    const QStringList workbooks = {QStringLiteral("*.xls"), QStringLiteral("*.xlsx")};

    if (options.word) {
        m_view.showSelectAll();
        searchEach(currentFolder, documents, pairEnds);
        m_view.setCountCaption(countCaption(m_view.rowCount()));
        m_view.setDocumentCommandsEnabled(m_view.rowCount() > 0);
    }
    if (options.deleteTab) {
        clearList();
        searchEach(clickedEntry, splitPatterns(options.deletePatterns), pairEnds);
        m_view.setCountCaption(countCaption(m_view.rowCount()));
    }
    if (options.workbooks) {
        searchEach(clickedEntry, workbooks, pairEnds);
        m_view.setCountCaption(countCaption(m_view.rowCount()));
        m_view.setWorkbookCommandsEnabled(m_view.rowCount() > 0);
    }
    if (options.renameTab) {
        clearList();
        searchEach(clickedEntry, splitPatterns(options.renamePatterns), pairEnds);
        m_view.setCountCaption(countCaption(m_view.rowCount()));
    }
}

QString FileCollector::unusableNameText(const QString& path)
{
    return path + QStringLiteral(" 文件名不是有效的文字编码，无法处理，未收集");
}

void FileCollector::search(QString folder, const QString& pattern)
{
    QSet<QString> visited;
    searchFolder(std::move(folder), pattern, visited);
}

void FileCollector::searchFolder(QString folder, const QString& pattern, QSet<QString>& visited)
{
    const QString separator = QDir::separator();
    if (!folder.endsWith(separator))
        folder += separator;
    // A folder reached again through a link is searched once.
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (!canonical.isEmpty() && SubfolderSwitch == QLatin1String("KAI")) {
        if (visited.contains(canonical))
            return;
        visited.insert(canonical);
    }

    const int mask = m_view.attributeMask();
    const QList<FileAttributes::Entry> entries =
        mask >= 0 ? FileAttributes::list(folder, mask) : QList<FileAttributes::Entry>();
    const quint64 listing = ++m_listing;

    if (!SearchEnabled) {
        SearchEnabled = true;
        return;
    }

    const QString wantedExtension = GetExtName(pattern).toLower();
    QStringList subfolders;
    for (const FileAttributes::Entry& entry : entries) {
        m_view.yield();
        // A collection started meanwhile took over the listing: this one ends here.
        if (listing != m_listing || m_full)
            return;
        const QString path = folder + entry.name;
        if (entry.attributes & FileAttributes::Directory) {
            if (entry.nameUnusable) {
                if (SubfolderSwitch == QLatin1String("KAI"))
                    m_view.reportUnusableName(path);
            } else {
                subfolders << entry.name;
            }
            continue;
        }
        if (!pattern.isEmpty() && GetExtName(path).toLower() != wantedExtension)
            continue;
        if (entry.nameUnusable) {
            m_view.reportUnusableName(path);
            continue;
        }
        if (m_view.rowCount() >= m_maxRows) {
            m_full = true;
            m_view.setStatus(listFullText());
            return;
        }
        m_view.setStatus(folder);
        m_view.addRow(path);
    }

    if (SubfolderSwitch != QLatin1String("KAI"))
        return;
    for (const QString& name : std::as_const(subfolders)) {
        if (!SearchEnabled || m_full)
            break;
        m_view.setStatus(folder + name);
        searchFolder(folder + name, pattern, visited);
    }
}
