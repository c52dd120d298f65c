#include "DirList.h"

#include "collect/FileAttributes.h"

#include <QDir>
#include <QStyle>

namespace {
constexpr int kPathRole = Qt::UserRole;
}

DirList::DirList(QWidget* parent)
    : QListWidget(parent)
{
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemClicked, this, [this] { emit entryClicked(); });
    connect(this, &QListWidget::itemDoubleClicked, this, &DirList::open);
}

bool DirList::setPath(const QString& folder)
{
    const QString native = QDir::toNativeSeparators(QDir::cleanPath(folder));
    QDir dir(native);
    if (!dir.exists() || !dir.isReadable())
        return false;
    const QList<FileAttributes::Entry> subfolders = FileAttributes::list(native, FileAttributes::Directory);

    // The folders from the root down to the open one, each one step further in.
    QStringList chain;
    for (QDir up(native);;) {
        chain.prepend(QDir::toNativeSeparators(up.absolutePath()));
        if (up.isRoot() || !up.cdUp())
            break;
    }

    clear();
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QIcon opened = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QString step = QStringLiteral("  ");
    for (qsizetype depth = 0; depth < chain.size(); ++depth) {
        const QString& path = chain.at(depth);
        const QString name = depth == 0 ? path : QDir(path).dirName();
        auto* item = new QListWidgetItem(opened, step.repeated(depth) + name, this);
        item->setData(kPathRole, path);
    }
    const QString indent = step.repeated(chain.size());
    for (const FileAttributes::Entry& entry : subfolders) {
        if (!(entry.attributes & FileAttributes::Directory))
            continue;
        auto* item = new QListWidgetItem(closed, indent + entry.name, this);
        item->setData(kPathRole, QDir::toNativeSeparators(dir.filePath(entry.name)));
    }
    m_path = chain.last();
    setCurrentRow(-1);
    return true;
}

QString DirList::clickedEntry() const
{
    const QListWidgetItem* item = currentItem();
    return item && item->isSelected() ? item->data(kPathRole).toString() : m_path;
}

int DirList::rowOf(const QString& folder) const
{
    const QString native = QDir::toNativeSeparators(QDir::cleanPath(folder));
    for (int i = 0; i < count(); ++i) {
        if (item(i)->data(kPathRole).toString() == native)
            return i;
    }
    return -1;
}

void DirList::open(QListWidgetItem* item)
{
    openFolder(item->data(kPathRole).toString());
}

void DirList::openFolder(const QString& folder)
{
    if (!setPath(folder)) {
        emit openFailed(folder);
        return;
    }
    // The second click of the pair comes after the folder is open.
    emit entryClicked();
}
