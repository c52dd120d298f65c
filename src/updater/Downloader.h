#pragma once

#include <QFile>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QNetworkReply;

// Downloads the first of several addresses that works into a folder. The bytes
// go to NAME.part (with NAME.part.info: the address and the server's validator)
// and become NAME only when complete, so NAME never holds half a file. A broken
// transfer is resumed with an HTTP Range request, in this run or the next one;
// a server that ignores the range, or whose file changed, sends it whole and the
// part is started afresh.
class Downloader final : public QObject
{
    Q_OBJECT
public:
    explicit Downloader(QString folder, QObject* parent = nullptr);

    void start(const QList<QUrl>& addresses);

    // The file name an address is saved under: its last path segment, made safe
    // for every file system.
    static QString fileNameFor(const QUrl& url);

signals:
    void addressStarted(const QUrl& url);
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
    void writeInfo() const;
    QString infoPath() const { return m_part.fileName() + QStringLiteral(".info"); }

    QString m_folder;
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
    QString m_writeError;
    QString m_reason; // why the last address failed
};
