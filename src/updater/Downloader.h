#pragma once

#include "UpdaterTexts.h"

#include <QFile>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class QNetworkReply;

// Downloads the first of several addresses that works into a folder. The bytes
// go to NAME.part (with NAME.part.info: the address and the server's validator)
// and become NAME only when complete, so NAME never holds half a file. A broken
// transfer is resumed with an HTTP Range request, in this run or the next one
// (when the run was ended); a server that ignores the range, or whose file
// changed, sends it whole and the part is started afresh.
//
// Only an installable update for this platform becomes NAME: its first bytes
// must be those of one, and it may not grow past the length the server declared
// nor past a fixed limit. Anything else is refused as soon as it shows, and its
// part removed. A transfer that stalls is ended. An address that fails for good
// leaves no part behind when its bytes were refused or it sent the file whole;
// a part cut short by the connection or a stall is kept for a later run.
class Downloader final : public QObject
{
    Q_OBJECT
public:
    struct Limits
    {
        qint64 maxBytes = qint64(512) * 1024 * 1024;
        // A transfer that brings fewer than minBytesPerWindow bytes within
        // stallMs (nothing at all, or a byte now and then) counts as broken;
        // it is resumed only when it brought more than that before.
        int stallMs = 30000;
        qint64 minBytesPerWindow = 1024;
    };

    explicit Downloader(QString folder, QObject* parent = nullptr);
    Downloader(QString folder, Limits limits, QObject* parent = nullptr);

    void start(const QList<QUrl>& addresses);

    // The file name an address is saved under: its last path segment, made safe
    // for every file system.
    static QString fileNameFor(const QUrl& url);
    // How an installable update for this platform begins: a Windows executable
    // or installer on Windows, a Debian package elsewhere.
    static QByteArray updateMagic();
    // Why a download that is not such an update was refused.
    static QString notAnUpdateText() { return UpdaterTexts::notAnUpdate(); }

signals:
    void addressStarted(const QUrl& url);
    // An address that failed for good; the next one is tried.
    void addressFailed(const QUrl& url, const QString& reason);
    void progress(qint64 received, qint64 total); // total -1 when unknown
    // The downloaded file's path, or why nothing was downloaded.
    void finished(bool ok, const QString& pathOrReason);

private:
    void nextAddress();
    void request(bool resume);
    bool accept();
    void onReadyRead();
    void onFinished();
    void failAddress(const QString& reason);
    // Refuses the bytes as no update: nothing of them is kept.
    void refuse(const QString& reason);
    bool checkHead(const QByteArray& bytes);
    void onWatch();
    void writeInfo() const;
    QString infoPath() const { return m_part.fileName() + QStringLiteral(".info"); }

    QString m_folder;
    Limits m_limits;
    QTimer m_watch;
    qint64 m_windowBytes = 0;
    qint64 m_attemptBytes = 0;
    bool m_stalled = false;
    QByteArray m_head; // the file's first bytes, as far as the magic goes
    QString m_refusal; // why the bytes are no update; empty while they may be
    QNetworkAccessManager m_manager;
    QList<QUrl> m_addresses;
    qsizetype m_index = -1;
    int m_retries = 0;
    QPointer<QNetworkReply> m_reply;
    QFile m_part;
    QString m_final;
    QString m_validator;
    qint64 m_total = -1;
    bool m_accepted = false;
    bool m_restart = false;
    bool m_sentWhole = false; // this request's answer is the whole file, from its first byte
    QString m_writeError;
    QString m_reason; // why the last address failed
};
