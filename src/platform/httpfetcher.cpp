#include "platform/httpfetcher.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <limits>
#include <utility>

namespace hchat {

namespace {

// The length the server announced for the body, or the largest number when
// it announced none. It counts the bytes on the wire; a body Qt unpacked has
// another length, so only a plain body is held to it.
qint64 announcedPlainLength(QNetworkReply *reply)
{
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    const bool plain = encoding.isEmpty() || encoding == "identity";
    return plain && announced.isValid() ? announced.toLongLong() : std::numeric_limits<qint64>::max();
}

} // namespace

HttpFetcher::HttpFetcher(QObject *parent) : Fetcher(parent)
{
    m_manager.setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

HttpFetcher::~HttpFetcher()
{
    drop();
}

void HttpFetcher::setProxy(const QString &host, int port, const QString &user, const QString &password)
{
    if (host.trimmed().isEmpty()) {
        m_manager.setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
        return;
    }
    const quint16 p = (port >= 1 && port <= 65535) ? quint16(port) : quint16(80);
    m_manager.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, host.trimmed(), p, user, password));
}

void HttpFetcher::drop()
{
    if (m_reply) {
        // Detach first: abort() finishes the reply at once, and that end is
        // not one anybody asked to hear about.
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    m_reply.clear();
    m_file.reset(); // drops what was written; an old file stays
    m_body.clear();
    m_received = 0;
    m_overflow = false;
}

void HttpFetcher::failLater(const QString &error)
{
    // Callers expect the outcome after get() has returned, never inside it.
    QTimer::singleShot(0, this, [this, error] { emit failed(error); });
}

void HttpFetcher::get(const QUrl &url, const QString &targetFile)
{
    drop();
    if (!url.isValid() || (url.scheme() != u"http" && url.scheme() != u"https")) {
        failLater(QStringLiteral("Invalid address: %1").arg(url.toString()));
        return;
    }
    if (!targetFile.isEmpty()) {
        m_file = std::make_unique<AtomicFile>(targetFile);
        if (!m_file->open()) {
            const QString why = m_file->errorString();
            m_file.reset();
            failLater(QStringLiteral("Cannot write %1: %2").arg(targetFile, why));
            return;
        }
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    if (m_timeoutMs > 0)
        request.setTransferTimeout(m_timeoutMs);
    m_limit = m_file ? bodyLimit() : qMin(bodyLimit(), m_memoryLimit);
    m_reply = m_manager.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &HttpFetcher::onReadyRead);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &Fetcher::progress);
    connect(m_reply, &QNetworkReply::finished, this, &HttpFetcher::onFinished);
}

void HttpFetcher::onReadyRead()
{
    if (!m_reply || m_overflow)
        return;
    // An error page is not worth keeping; its status decides at the end.
    // Never more than asked for: a body that does not end must not fill
    // the memory or the disk. Only what fits is read.
    const QByteArray chunk = m_reply->read(m_limit - m_received + 1);
    m_received += chunk.size();
    if (m_received > m_limit || m_received > announcedPlainLength(m_reply)) {
        m_overflow = true;
        m_reply->abort(); // finishes the reply at once; onFinished reports it
    } else if (m_file) {
        m_file->write(chunk); // a failure sticks and shows at commit()
    } else {
        m_body += chunk;
    }
}

void HttpFetcher::onFinished()
{
    QNetworkReply *reply = m_reply;
    if (!reply)
        return;
    onReadyRead();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const qint64 announced = announcedPlainLength(reply);
    QString error;
    if (m_overflow)
        error = QStringLiteral("Reply too large");
    else if (reply->error() != QNetworkReply::NoError)
        error = reply->errorString();
    else if (status != 200)
        error = QStringLiteral("HTTP status %1").arg(status);
    else if (announced != std::numeric_limits<qint64>::max() && announced != m_received)
        error = QStringLiteral("Transfer cut short: %1 of %2 bytes").arg(m_received).arg(announced);
    else if (m_file && !m_file->commit())
        error = QStringLiteral("Cannot write %1: %2").arg(m_file->fileName(), m_file->errorString());

    const QByteArray body = std::exchange(m_body, QByteArray());
    m_file.reset();
    m_reply.clear();
    reply->disconnect(this);
    reply->deleteLater();
    m_received = 0;
    m_overflow = false;
    if (error.isEmpty())
        emit finished(body);
    else
        emit failed(error);
}

} // namespace hchat
