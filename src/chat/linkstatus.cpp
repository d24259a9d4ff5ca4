#include "chat/linkstatus.h"

#include <QCoreApplication>

namespace hchat {

QString LinkStatus::connectingHint()
{
    return QCoreApplication::translate("LinkStatus", "Is the server address right? Properties → Server");
}

QString LinkStatus::text(State state, const QString &endpoint, const QDateTime &since, int ticksToPoll)
{
    const auto tr = [](const char *s) { return QCoreApplication::translate("LinkStatus", s); };
    switch (state) {
    case State::Closed:
        return tr("Not connected");
    case State::NoNick:
        return tr("Not connected: choose a nick in Properties");
    case State::Connecting:
        return tr("Connecting to %1…").arg(endpoint);
    case State::ConnectingLong:
        return tr("Connecting to %1… %2").arg(endpoint, connectingHint());
    case State::Connected:
        return tr("Connected to %1").arg(endpoint);
    case State::NoAnswer:
        return tr("No answer from the server since %1")
            .arg(since.isValid() ? since.toString(QStringLiteral("hh:mm:ss")) : QStringLiteral("?"));
    case State::Lost: {
        const QString at = since.isValid() ? since.toString(QStringLiteral("hh:mm")) : QStringLiteral("?");
        // Ticks are half seconds: a poll due in 3 ticks is 2 s away, rounded up.
        const int seconds = (qMax(0, ticksToPoll) + 1) / 2;
        const QString next = seconds > 0 ? tr("next try in %1 s").arg(seconds) : tr("trying again now");
        return tr("Connection to %1 lost since %2; %3").arg(endpoint, at, next);
    }
    }
    return QString();
}

} // namespace hchat
