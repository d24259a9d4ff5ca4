#pragma once

#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace hchat::test {

/// A tiny HTTP server on loopback, port 0. Each request target (path and
/// query) answers with the bytes set for it, then the connection closes;
/// anything else gets a 404 page. Records the request lines it saw.
class LoopbackHttpServer : public QTcpServer
{
public:
    LoopbackHttpServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] { answer(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
        listen(QHostAddress::LocalHost, 0);
    }

    /// A 200 answer with `body` and its length.
    void serve(const QByteArray &target, const QByteArray &body)
    {
        serveRaw(target, "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
                             "\r\nConnection: close\r\n\r\n" + body);
    }
    /// Exactly these bytes, headers and all: for answers cut short or malformed.
    void serveRaw(const QByteArray &target, const QByteArray &raw) { m_answers[target] = raw; }
    /// Requests for `target` are read and never answered.
    void hold(const QByteArray &target) { m_held << target; }

    QUrl url(const QString &target) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(target));
    }

    QList<QByteArray> requestLines;

private:
    void answer(QTcpSocket *s)
    {
        QByteArray &buffer = m_pending[s];
        buffer += s->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        const QByteArray line = buffer.left(buffer.indexOf("\r\n"));
        m_pending.remove(s);
        requestLines << line;
        const QByteArray target = line.split(' ').value(1);
        if (m_held.contains(target))
            return;
        QByteArray reply = m_answers.value(target);
        if (reply.isNull()) {
            const QByteArray page = "<html>404 Not Found</html>";
            reply = "HTTP/1.1 404 Not Found\r\nContent-Length: " + QByteArray::number(page.size()) +
                    "\r\nConnection: close\r\n\r\n" + page;
        }
        s->write(reply);
        s->disconnectFromHost();
    }

    QHash<QByteArray, QByteArray> m_answers;
    QList<QByteArray> m_held;
    QHash<QTcpSocket *, QByteArray> m_pending;
};

} // namespace hchat::test
