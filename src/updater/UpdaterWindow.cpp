#include "UpdaterWindow.h"

#include "UpdaterTexts.h"
#include "update/Geturl.h"
#include "update/UpdateReply.h"

#include <QDesktopServices>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextStream>
#include <QVBoxLayout>

UpdaterWindow::UpdaterWindow(Options options, QWidget* parent)
    : QWidget(parent)
    , m_options(std::move(options))
    , m_downloader(m_options.downloadFolder)
{
    setWindowTitle(UpdaterTexts::windowTitle());
    auto* current = new QLabel(UpdaterTexts::currentVersion(m_options.runningVersion), this);
    current->setObjectName(QStringLiteral("currentVersion"));
    m_latest = new QLabel(UpdaterTexts::latestQuerying(), this);
    m_latest->setObjectName(QStringLiteral("latestVersion"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->setWordWrap(true);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, 0);
    m_progress->hide();
    m_openFolder = new QPushButton(UpdaterTexts::openFolder(), this);
    m_openFolder->setObjectName(QStringLiteral("openFolder"));
    m_openFolder->setEnabled(false);
    auto* close = new QPushButton(UpdaterTexts::close(), this);
    close->setObjectName(QStringLiteral("close"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_openFolder);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(current);
    layout->addWidget(m_latest);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addStretch(1);
    layout->addLayout(buttons);
    resize(480, 200);

    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_openFolder, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(m_options.downloadFolder)); });
    connect(&m_downloader, &Downloader::addressStarted, this, [this](const QUrl& url) {
        say(UpdaterTexts::downloading(url.toString()));
        m_progress->setRange(0, 0);
        m_progress->show();
    });
    connect(&m_downloader, &Downloader::addressFailed, this, [this](const QUrl& url, const QString& reason) {
        say(UpdaterTexts::addressFailed(url.toString(), reason));
    });
    connect(&m_downloader, &Downloader::progress, this, [this](qint64 received, qint64 total) {
        // The bar counts KiB so that files past 2 GiB fit its int range.
        if (total > 0) {
            m_progress->setRange(0, static_cast<int>(total / 1024));
            m_progress->setValue(static_cast<int>(received / 1024));
        }
    });
    connect(&m_downloader, &Downloader::finished, this, [this](bool ok, const QString& pathOrReason) {
        if (ok) {
            m_progress->setRange(0, 1);
            m_progress->setValue(1);
            m_openFolder->setEnabled(true);
            finish(0, UpdaterTexts::downloaded(QDir::toNativeSeparators(pathOrReason)));
        } else {
            finish(1, UpdaterTexts::downloadFailed(pathOrReason));
        }
    });
}

void UpdaterWindow::run()
{
    const update::HttpResult reply = update::httpRequest(QUrl(m_options.address), "GET", 1000);
    const QString text = reply.ok() ? update::decodeReply(reply.body, reply.contentType) : QString();
    const update::ReplyFields fields = update::parseReply(text);
    if (!fields.latestVersion) {
        m_latest->setText(UpdaterTexts::latestUnknown());
        finish(1, UpdaterTexts::noUpdateInfo(reply.error.isEmpty() ? UpdaterTexts::httpStatus(reply.status)
                                                                   : reply.error));
        return;
    }
    m_latest->setText(UpdaterTexts::latestVersion(*fields.latestVersion));
    say(m_latest->text());
    if (QString::compare(m_options.runningVersion, *fields.latestVersion, Qt::CaseSensitive) >= 0) {
        finish(0, UpdaterTexts::upToDate());
        return;
    }
    QList<QUrl> addresses;
    for (const std::optional<QString>& address : {fields.addressA, fields.addressB}) {
        const QUrl url(address.value_or(QString()).trimmed());
        if (url.isValid() && !url.host().isEmpty())
            addresses << url;
    }
    QDir().mkpath(m_options.downloadFolder);
    m_downloader.start(addresses);
}

void UpdaterWindow::finish(int exitCode, const QString& status)
{
    m_status->setText(status);
    say(status);
    emit done(exitCode);
}

void UpdaterWindow::say(const QString& line)
{
    // Scripts read what the window shows.
    static QTextStream out(stdout);
    out << line << Qt::endl;
}
