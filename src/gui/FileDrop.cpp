#include "FileDrop.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

FileDrop::FileDrop(QWidget& target, std::function<void(const QString&)> folder,
                   std::function<void(const QStringList&)> files)
    : QObject(&target)
    , m_folder(std::move(folder))
    , m_files(std::move(files))
{
    target.setAcceptDrops(true);
    target.installEventFilter(this);
}

FileDrop::Dropped FileDrop::paths(const QMimeData& data)
{
    Dropped dropped;
    if (!data.hasUrls())
        return dropped;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo info(url.toLocalFile());
        const QString path = QDir::toNativeSeparators(QDir::cleanPath(info.absoluteFilePath()));
        if (info.isDir())
            dropped.folders << path;
        else if (info.exists())
            dropped.files << path;
    }
    return dropped;
}

bool FileDrop::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        const Dropped dropped = paths(*drag->mimeData());
        if (dropped.folders.isEmpty() && dropped.files.isEmpty())
            return QObject::eventFilter(watched, event);
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const Dropped dropped = paths(*drop->mimeData());
        if (dropped.folders.isEmpty() && dropped.files.isEmpty())
            return QObject::eventFilter(watched, event);
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        // One folder is collected, as one double-click collects one: a second would replace it.
        if (!dropped.folders.isEmpty())
            m_folder(dropped.folders.first());
        if (!dropped.files.isEmpty())
            m_files(dropped.files);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
