#pragma once

#include "catalogue/fetcher.h"
#include "protocol/atomicfile.h"

#include <QNetworkAccessManager>
#include <QPointer>

#include <memory>

class QNetworkReply;

namespace hchat {

/// The Fetcher over HTTP: QNetworkAccessManager, through the configured
/// proxy when one is set. Bodies for a file are written to a temporary file
/// beside the target and moved into place only when the transfer succeeded.
class HttpFetcher : public Fetcher
{
    Q_OBJECT
public:
    explicit HttpFetcher(QObject *parent = nullptr);
    ~HttpFetcher() override;

    /// Proxy for the following requests; an empty host means a direct
    /// connection. A port outside 1..65535 means 80.
    void setProxy(const QString &host, int port, const QString &user, const QString &password);
    /// A transfer that stays silent this long fails (default 30 s; 0 = never).
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    /// Memory-mode bodies larger than this fail instead of filling memory (default 16 MiB).
    void setMemoryLimit(qint64 bytes) { m_memoryLimit = bytes; }

    void get(const QUrl &url, const QString &targetFile = QString()) override;
    void abort() override { drop(); }
    bool isBusy() const override { return !m_reply.isNull(); }

private:
    void onReadyRead();
    void onFinished();
    void failLater(const QString &error);
    void drop();

    QNetworkAccessManager m_manager;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<AtomicFile> m_file;
    QByteArray m_body;
    qint64 m_received = 0; ///< body bytes read so far
    qint64 m_limit = 0;    ///< the most body bytes this transfer may bring
    qint64 m_memoryLimit = 16 * 1024 * 1024;
    int m_timeoutMs = 30000;
    bool m_overflow = false;
};

} // namespace hchat
