#include "protocol/serverendpoint.h"

namespace hchat {

namespace {

bool readPort(QStringView text, quint16 &port)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value == 0 || value > 65535)
        return false;
    port = quint16(value);
    return true;
}

} // namespace

QString ServerEndpoint::toString() const
{
    const QString h = host.contains(u':') ? u'[' + host + u']' : host;
    return h + u':' + QString::number(port);
}

ServerEndpoint ServerEndpoint::parse(const QString &text)
{
    const QString t = text.trimmed();
    ServerEndpoint e;
    if (t.isEmpty() || t.contains(u' '))
        return {};
    if (t.startsWith(u'[')) {
        const qsizetype close = t.indexOf(u']');
        if (close < 2)
            return {};
        e.host = t.mid(1, close - 1);
        const QStringView rest = QStringView(t).mid(close + 1);
        if (rest.isEmpty())
            return e;
        if (!rest.startsWith(u':') || !readPort(rest.mid(1), e.port))
            return {};
        return e;
    }
    const qsizetype colon = t.indexOf(u':');
    if (colon < 0) {
        e.host = t;
        return e;
    }
    if (t.indexOf(u':', colon + 1) >= 0) { // a bare v6 address
        e.host = t;
        return e;
    }
    e.host = t.left(colon);
    if (e.host.isEmpty() || !readPort(QStringView(t).mid(colon + 1), e.port))
        return {};
    return e;
}

} // namespace hchat
