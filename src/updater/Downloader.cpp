#include "Downloader.h"

#include "UpdaterTexts.h"
#include "update/Geturl.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <filesystem>

namespace {

// A transfer that breaks is resumed this many times per address.
constexpr int kMaxRetries = 5;
// Redirects followed per request; a loop ends there.
constexpr int kMaxRedirects = 10;

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
    : Downloader(std::move(folder), Limits{}, parent)
{}

Downloader::Downloader(QString folder, Limits limits, QObject* parent)
    : QObject(parent)
    , m_folder(std::move(folder))
    , m_limits(limits)
{
    m_manager.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    m_watch.setInterval(std::max(1, m_limits.stallMs));
    connect(&m_watch, &QTimer::timeout, this, &Downloader::onWatch);
}

QByteArray Downloader::updateMagic()
{
#ifdef Q_OS_WIN
    return QByteArrayLiteral("MZ");
#else
    // An ar archive whose first member is debian-binary.
    return QByteArrayLiteral("!<arch>\ndebian-binary");
#endif
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
    m_reason = UpdaterTexts::noAddress();
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
    bool resume = m_part.exists() && m_part.size() > 0 && m_part.size() <= m_limits.maxBytes &&
                  !info.isEmpty() && info.first() == url.toString();
    m_head.clear();
    if (resume && m_part.open(QIODevice::ReadOnly)) {
        // A part that does not begin as an update is not resumed either.
        m_head = m_part.read(updateMagic().size());
        m_part.close();
        resume = updateMagic().startsWith(m_head);
    }
    m_validator = resume && info.size() > 1 ? info.at(1) : QString();
    request(resume);
}

void Downloader::request(bool resume)
{
    if (!resume) {
        QFile::remove(m_part.fileName());
        QFile::remove(infoPath());
        m_validator.clear();
        m_head.clear();
    }
    m_accepted = false;
    m_restart = false;
    m_sentWhole = false;
    m_stalled = false;
    m_refusal.clear();
    m_writeError.clear();
    m_total = -1;
    QNetworkRequest request(m_addresses.at(m_index));
    // Byte offsets must be those of the file itself, not of a compressed transfer.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    if (resume) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_part.size()) + '-');
        if (!m_validator.isEmpty())
            request.setRawHeader("If-Range", m_validator.toLatin1());
    }
    m_reply = m_manager.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &Downloader::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &Downloader::onFinished);
    m_windowBytes = 0;
    m_attemptBytes = 0;
    m_watch.start();
}

void Downloader::onWatch()
{
    if (m_reply && !m_reply->isFinished() && m_windowBytes < m_limits.minBytesPerWindow) {
        m_stalled = true;
        m_reply->abort();
    }
    m_windowBytes = 0;
}

bool Downloader::checkHead(const QByteArray& bytes)
{
    const QByteArray magic = updateMagic();
    if (m_head.size() < magic.size())
        m_head += bytes.left(magic.size() - m_head.size());
    return magic.startsWith(m_head);
}

void Downloader::refuse(const QString& reason)
{
    m_refusal = reason;
    m_accepted = false;
    if (m_reply && !m_reply->isFinished())
        m_reply->abort();
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
        if (m_total > m_limits.maxBytes) {
            refuse(notAnUpdateText());
            return false;
        }
        if (!m_part.open(QIODevice::WriteOnly | QIODevice::Append)) {
            m_writeError = m_part.errorString();
            m_reply->abort();
            return false;
        }
    } else if (status == 200) {
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        m_total = length.isValid() ? length.toLongLong() : -1;
        if (m_total > m_limits.maxBytes) {
            refuse(notAnUpdateText());
            return false;
        }
        m_head.clear();
        m_sentWhole = true;
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
    if (!m_refusal.isEmpty() || !accept())
        return;
    const QByteArray bytes = m_reply->readAll();
    m_windowBytes += bytes.size();
    m_attemptBytes += bytes.size();
    const qint64 size = m_part.size() + bytes.size();
    // Past what the server declared, past the limit, or not how an update begins.
    if ((m_total >= 0 && size > m_total) || size > m_limits.maxBytes || !checkHead(bytes)) {
        refuse(notAnUpdateText());
        return;
    }
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
    m_watch.stop();
    QNetworkReply* reply = m_reply;
    reply->deleteLater();
    const bool broken = reply->error() != QNetworkReply::NoError;
    if (!broken)
        onReadyRead(); // the last bytes, or an empty body's acceptance
    const bool complete = m_accepted && !broken && m_refusal.isEmpty() && m_writeError.isEmpty() &&
                          (m_total < 0 || m_part.size() == m_total);
    m_part.close();

    if (complete && m_head != updateMagic())
        refuse(notAnUpdateText()); // shorter than an update's beginning
    if (!m_refusal.isEmpty()) {
        failAddress(m_refusal);
        return;
    }
    if (complete) {
        if (!replaceFile(m_part.fileName(), m_final)) {
            failAddress(UpdaterTexts::cannotSaveAs(QDir::toNativeSeparators(m_final)));
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
    // A transfer that stalled before it brought a window's worth is as slow again when resumed.
    const bool worthResuming = !m_stalled || m_attemptBytes >= m_limits.minBytesPerWindow;
    if (m_accepted && worthResuming && m_retries++ < kMaxRetries) {
        // Broken off after it began: go on from what arrived.
        QTimer::singleShot(500, this, [this] { request(true); });
        return;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_stalled)
        failAddress(UpdaterTexts::stalled((m_limits.stallMs + 999) / 1000));
    else if (status != 0 && status != 200 && status != 206)
        failAddress(UpdaterTexts::httpFailure(status, reply->url().toString()));
    else
        failAddress(update::networkErrorText(reply->error()));
}

void Downloader::failAddress(const QString& reason)
{
    // Refused bytes, or a file the server began afresh, leave nothing behind. A
    // part that a broken connection or a stall cut short is kept: it is still
    // the file's beginning, and a later run goes on from it.
    if (!m_refusal.isEmpty() || m_sentWhole) {
        QFile::remove(m_part.fileName());
        QFile::remove(infoPath());
    }
    m_reason = reason;
    emit addressFailed(m_addresses.at(m_index), reason);
    nextAddress();
}

void Downloader::writeInfo() const
{
    QFile info(infoPath());
    if (info.open(QIODevice::WriteOnly | QIODevice::Truncate))
        info.write((m_addresses.at(m_index).toString() + QLatin1Char('\n') + m_validator + QLatin1Char('\n'))
                       .toUtf8());
}
