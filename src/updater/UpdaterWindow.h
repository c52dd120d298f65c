#pragma once

#include "Downloader.h"

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

// The updater's window: the running and the latest version, the download's
// progress, and at the end the downloaded file with a button that opens its folder.
class UpdaterWindow final : public QWidget
{
    Q_OBJECT
public:
    struct Options
    {
        QString runningVersion;
        QString address; // the update endpoint
        QString downloadFolder;
        bool quitWhenDone = false;
    };
    explicit UpdaterWindow(Options options, QWidget* parent = nullptr);

    // Fetches the reply and downloads; ends in done().
    void run();

signals:
    void done(int exitCode);

private:
    void finish(int exitCode, const QString& status);
    void say(const QString& line);

    Options m_options;
    Downloader m_downloader;
    QLabel* m_latest;
    QLabel* m_status;
    QProgressBar* m_progress;
    QPushButton* m_openFolder;
};
