#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

class QMimeData;
class QWidget;

// Folders and files dropped onto the window: a dropped folder is collected as
// a double-click on it in the folder list collects it; dropped files become
// rows of the collected-file list, in the drop's order.
class FileDrop final : public QObject
{
    Q_OBJECT
public:
    // folder: opens and collects a folder; files: appends files as rows.
    FileDrop(QWidget& target, std::function<void(const QString& folder)> folder,
             std::function<void(const QStringList& files)> files);

    struct Dropped
    {
        QStringList folders;
        QStringList files;
    };
    // The local folders and files a drop holds, with native separators; what is
    // neither (a web address, a path gone meanwhile) is passed over.
    static Dropped paths(const QMimeData& data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const QString&)> m_folder;
    std::function<void(const QStringList&)> m_files;
};
