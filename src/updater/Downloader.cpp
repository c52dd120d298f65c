#include "Downloader.h"

#include "update/Geturl.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>
#include <filesystem>

namespace {

// A transfer that breaks is resumed this many times per address.
constexpr int kMaxRetries = 5;
// Without a byte for this long a transfer counts as broken.
constexpr int kStallMs = 30000;

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
}

// rename(2) replaces the target in one step; QFile::rename refuses an existing one.
bool replaceFile(const QString& from, const QString& to)
{
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(from.toStdU16String()),
                            std::filesystem::path(to.toStdU16String()), error);
    return !error;
}

} // namespace

Downloader::Downloader(QString folder, QObject* parent)
    : QObject(parent)
    , m_folder(std::move(folder))
{
    m_manager.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

QString Downloader::fileNameFor(const QUrl& url)
{
    QString name = url.fileName(QUrl::FullyDecoded);
    static const QRegularExpression unsafe(QStringLiteral(R"([\\/:*?"<>|\x00-\x1f])"));
    name.replace(unsafe, QStringLiteral("_"));
    while (!name.isEmpty() && (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' '))))
        name.chop(1);
    while (!name.isEmpty() && (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char(' '))))
        name.remove(0, 1);
    if (name.isEmpty())
        name = QStringLiteral("yanhe-update.bin");
    return name.left(200);
}

void Downloader::start(const QList<QUrl>& addresses)
{
    m_addresses = addresses;
    m_index = -1;
    m_reason = QStringLiteral("没有下载地址");
    nextAddress();
}

void Downloader::nextAddress()
{
    ++m_index;
    if (m_index >= m_addresses.size()) {
        emit finished(false, m_reason);
        return;
    }
    const QUrl& url = m_addresses.at(m_index);
    const QString name = fileNameFor(url);
    m_final = QDir(m_folder).filePath(name);
    m_part.setFileName(m_final + QStringLiteral(".part"));
    m_retries = 0;
    emit addressStarted(url);
    // A part of another address (or without its info) is not this file's beginning.
    const QStringList info = readLines(infoPath());
    const bool resume =
        m_part.exists() && m_part.size() > 0 && !info.isEmpty() && info.first() == url.toString();
    m_validator = resume && info.size() > 1 ? info.at(1) : QString();
    request(resume);
}

void Downloader::request(bool resume)
{
    if (!resume) {
        QFile::remove(m_part.fileName());
        QFile::remove(infoPath());
        m_validator.clear();
    }
    m_accepted = false;
    m_restart = false;
    m_writeError.clear();
    m_total = -1;
    QNetworkRequest request(m_addresses.at(m_index));
    // Byte offsets must be those of the file itself, not of a compressed transfer.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setTransferTimeout(kStallMs);
    if (resume) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_part.size()) + '-');
        if (!m_validator.isEmpty())
            request.setRawHeader("If-Range", m_validator.toLatin1());
    }
    m_reply = m_manager.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &Downloader::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &Downloader::onFinished);
}

// Decides, at the reply's first bytes, where they go.
bool Downloader::accept()
{
    if (m_accepted)
        return true;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const qint64 have = m_part.exists() ? QFileInfo(m_part.fileName()).size() : 0;
    if (status == 206) {
        static const QRegularExpression range(QStringLiteral(R"(^bytes\s+(\d+)-(\d+)/(\d+|\*)$)"));
        const QRegularExpressionMatch match =
            range.match(QString::fromLatin1(m_reply->rawHeader("Content-Range")).trimmed());
        if (!match.hasMatch() || match.captured(1).toLongLong() != have) {
            // Not the rest of what we hold: start again from the first byte.
            m_restart = true;
            m_reply->abort();
            return false;
        }
        m_total = match.captured(3) == QLatin1String("*") ? -1 : match.captured(3).toLongLong();
        if (!m_part.open(QIODevice::WriteOnly | QIODevice::Append)) {
            m_writeError = m_part.errorString();
            m_reply->abort();
            return false;
        }
    } else if (status == 200) {
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        m_total = length.isValid() ? length.toLongLong() : -1;
        if (!m_part.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            m_writeError = m_part.errorString();
            m_reply->abort();
            return false;
        }
        const QByteArray etag = m_reply->rawHeader("ETag");
        m_validator = QString::fromLatin1(etag.isEmpty() ? m_reply->rawHeader("Last-Modified") : etag);
        writeInfo();
    } else {
        if (status == 416)
            m_restart = true; // the part is not a beginning of this file
        m_reply->abort();
        return false;
    }
    m_accepted = true;
    return true;
}

void Downloader::onReadyRead()
{
    if (!accept())
        return;
    const QByteArray bytes = m_reply->readAll();
    if (m_part.write(bytes) != bytes.size()) {
        m_writeError = m_part.errorString();
        m_accepted = false;
        m_reply->abort();
        return;
    }
    emit progress(m_part.size(), m_total);
}

void Downloader::onFinished()
{
    QNetworkReply* reply = m_reply;
    reply->deleteLater();
    const bool broken = reply->error() != QNetworkReply::NoError;
    if (!broken)
        onReadyRead(); // the last bytes, or an empty body's acceptance
    const bool complete =
        m_accepted && !broken && m_writeError.isEmpty() && (m_total < 0 || m_part.size() == m_total);
    m_part.close();

    if (complete) {
        if (!replaceFile(m_part.fileName(), m_final)) {
            failAddress(QStringLiteral("无法保存为 ") + QDir::toNativeSeparators(m_final));
            return;
        }
        QFile::remove(infoPath());
        emit finished(true, m_final);
        return;
    }
    if (!m_writeError.isEmpty()) {
        failAddress(m_writeError);
        return;
    }
    if (m_restart && m_retries++ < kMaxRetries) {
        request(false);
        return;
    }
    if (m_accepted && m_retries++ < kMaxRetries) {
        // Broken off after it began: go on from what arrived.
        QTimer::singleShot(500, this, [this] { request(true); });
        return;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 0 && status != 200 && status != 206)
        failAddress(QStringLiteral("HTTP %1：%2").arg(status).arg(reply->url().toString()));
    else
        failAddress(update::networkErrorText(reply->error()));
}

void Downloader::failAddress(const QString& reason)
{
    m_reason = reason;
    nextAddress();
}

void Downloader::writeInfo() const
{
    QFile info(infoPath());
    if (info.open(QIODevice::WriteOnly | QIODevice::Truncate))
        info.write((m_addresses.at(m_index).toString() + QLatin1Char('\n') + m_validator + QLatin1Char('\n'))
                       .toUtf8());
}
