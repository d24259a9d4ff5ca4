#pragma once

#include <QObject>

namespace hchat {

/// Tells when the network comes back or changes (another connection, the
/// machine moved) and when the machine wakes from sleep, so the chat can
/// announce itself at once rather than wait for the link's silence count.
/// Quiet where the platform can't tell.
class NetworkWatcher : public QObject
{
    Q_OBJECT
public:
    explicit NetworkWatcher(QObject *parent = nullptr);

signals:
    void networkChanged();

private slots:
    void sleepChanged(bool goingToSleep);
};

} // namespace hchat
