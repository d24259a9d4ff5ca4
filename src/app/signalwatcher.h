#pragma once

#include <QObject>

class QSocketNotifier;

namespace hchat {

/// Turns SIGTERM and SIGINT into a Qt signal on the main thread, so that a
/// logout or a `kill` closes the window the normal way and nothing is lost.
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace hchat
