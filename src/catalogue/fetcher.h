#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

namespace hchat {

/// An asynchronous HTTP GET, the seam between the program and the network.
/// One transfer at a time: starting another aborts the one in progress
/// without a signal for it. Every started transfer ends in exactly one of
/// finished() or failed(), never inside get() itself.
class Fetcher : public QObject
{
    Q_OBJECT
public:
    explicit Fetcher(QObject *parent = nullptr) : QObject(parent) {}

    /// Starts fetching `url`. With a `targetFile` the body is written there,
    /// replacing the file only once the whole body has arrived (a failed
    /// transfer leaves the previous file as it was); without one the body is
    /// handed over by finished().
    virtual void get(const QUrl &url, const QString &targetFile = QString()) = 0;
    /// Drops the transfer in progress, if any; no signal follows.
    virtual void abort() = 0;
    virtual bool isBusy() const = 0;

    /// The most bytes a body may have, for the transfers started from now on:
    /// past it, or past the length the server announced, the transfer fails.
    void setBodyLimit(qint64 bytes) { m_bodyLimit = bytes; }
    qint64 bodyLimit() const { return m_bodyLimit; }
    static constexpr qint64 defaultBodyLimit = 64 * 1024 * 1024;

signals:
    /// Bytes received so far; `total` is the announced length, or -1 when unknown.
    void progress(qint64 received, qint64 total);
    /// The transfer succeeded: HTTP status 200 and, when a length was
    /// announced, exactly that many bytes. `body` is the data in memory
    /// mode, empty when it went to a file.
    void finished(const QByteArray &body);
    /// No connection, any other HTTP status, a body cut short, an unwritable
    /// target, a timeout.
    void failed(const QString &error);

private:
    qint64 m_bodyLimit = defaultBodyLimit;
};

} // namespace hchat
