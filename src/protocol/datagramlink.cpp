#include "protocol/datagramlink.h"

#include "protocol/codec.h"
#include "protocol/linkevents.h"
#include "protocol/transport.h"
#include "protocol/wiretext.h"

namespace hchat {

namespace {

// Longest piece of an unreadable datagram shown in the transcript: the rest is
// noise and would only flood the window.
constexpr qsizetype maxShownBytes = 512;

QString shown(const QByteArray &bytes)
{
    if (bytes.size() <= maxShownBytes)
        return decodeWireLine(bytes);
    return decodeWireLine(bytes.constData(), maxShownBytes) + QStringLiteral("...");
}

// A line break inside a record would split it in two on the server: carry it
// the way the codec does.
QString keepOnOneLine(const QString &data)
{
    if (!data.contains(u'\n') && !data.contains(u'\r'))
        return data;
    QString out = data;
    out.replace(QLatin1String("\r\n"), QLatin1String("||"));
    out.replace(u'\r', QLatin1String("||"));
    out.replace(u'\n', QLatin1String("||"));
    return out;
}

} // namespace

DatagramLink::DatagramLink(LinkEvents &events) : m_events(events) {}

DatagramLink::~DatagramLink()
{
    open(nullptr);
}

void DatagramLink::open(Transport *transport)
{
    if (m_transport)
        m_transport->receiver = nullptr;
    m_transport = transport;
    if (m_transport)
        m_transport->receiver = [this](const QByteArray &datagram, const QString &, quint16) {
            receive(datagram);
        };
}

void DatagramLink::Send(int kind, const QString &data)
{
    if (!isOpen() || !m_enabled)
        return;
    if (kind == 0) {
        poll();
        return;
    }
    m_countdown = 1;
    if (echoAll) {
        if (kind == 5)
            m_events.linkShow(QStringLiteral("eUser:  ") + data);
        else
            m_events.linkShow(QStringLiteral("Other:  ") + QString::number(kind));
    }
    queue(kind, data);
}

void DatagramLink::queue(int kind, const QString &data)
{
    const QString record =
        QStringLiteral("<R>") + QString::number(kind) + QStringLiteral("</R>") + keepOnOneLine(data);
    if ((echoRecords && kind != 1) || (echoChat && kind == 1))
        m_events.linkShow(QStringLiteral("Send: ") + record);
    QByteArray bytes = record.toUtf8();
    bytes += '\n';
    // A record that fits no datagram is refused whole: a cut record would reach
    // the server as garbage and take the records behind it along.
    if (bytes.size() > maxCarried) {
        m_events.linkShow(QStringLiteral("Not sent, record too long: %1 bytes").arg(bytes.size()));
        return;
    }
    m_outbox += bytes;
}

qsizetype DatagramLink::carriedLength()
{
    if (m_outbox.size() <= maxCarried)
        return m_outbox.size();
    // Only whole records travel; the rest waits for the next polls, and the
    // acknowledgement removes exactly what this poll carried.
    const qsizetype lastBreak = m_outbox.lastIndexOf('\n', maxCarried - 1);
    return lastBreak + 1;
}

void DatagramLink::poll()
{
    m_countdown = idlePoll;
    if (m_outbox.size() > maxCarried)
        m_events.linkShow(QStringLiteral("Ping > ") + QString::number(m_outbox.size()));
    qsizetype n = carriedLength();
    if (n == 0 && !m_outbox.isEmpty()) {
        // Cannot happen through queue(); never let a bad outbox block the link.
        m_events.linkShow(QStringLiteral("Ping > ") + QString::number(m_outbox.size()));
        m_outbox.clear();
    }
    if (n == 0 || n == m_lastSent) {
        if (++m_repeat > 5) {
            m_outbox.clear();
            n = 0;
            m_repeat = 0;
        }
    } else {
        m_repeat = 0;
        m_k = (m_k + 1) % 10;
    }
    m_lastSent = n;

    QByteArray header =
        QByteArrayLiteral("<R>0</R><K>") + QByteArray::number(m_k) + QByteArrayLiteral("</K>");
    if (!m_token.isEmpty())
        header += QByteArrayLiteral("<L>") + m_token.toUtf8() + QByteArrayLiteral("</L>");
    QByteArray datagram;
    datagram.reserve(n + header.size() + 2);
    datagram.append(m_outbox.constData(), n);
    datagram += header;
    datagram += "\r\n";
    m_transport->sendDatagram(datagram);
    if (echoAll)
        m_events.linkShow(QStringLiteral("Ping: ") + QString::fromUtf8(m_outbox.constData(), n) +
                          QString::fromLatin1(header));
}

void DatagramLink::tick()
{
    if (!isOpen() || !m_enabled)
        return;
    if (--m_countdown <= 0)
        poll();
    if (++m_silence > silenceLimit) {
        m_silence = 0;
        if (!m_lost)
            m_events.linkLost();
        m_token = QStringLiteral("10");
        m_outbox.clear();
        m_lastSent = 0;
        m_lost = true;
    }
}

void DatagramLink::receive(const QByteArray &datagram)
{
    if (echoAll)
        m_events.linkShow(QStringLiteral("Pong: ") + shown(datagram));
    const qsizetype firstBreak = datagram.indexOf('\n');
    if (firstBreak < 0) {
        m_events.linkShow(QStringLiteral("Pong #10: ") + shown(datagram));
        return;
    }
    const qsizetype restSize = datagram.size() - firstBreak - 1;
    // The network may deliver one datagram twice: its records were taken the
    // first time. Its acknowledgement is still read, so silence ends.
    const bool repeated = restSize > 0 && datagram == m_lastDatagram;
    m_lastDatagram = datagram;
    if (restSize > 0 && !repeated) {
        const qsizetype pending = m_inbound.size() - m_inboundPos;
        if (pending + restSize > maxInbound) {
            m_events.linkShow(QStringLiteral("Pong > %1: receive buffer full, dropped").arg(restSize));
        } else {
            if (m_inboundPos > 0 && !m_draining) {
                m_inbound.remove(0, m_inboundPos);
                m_inboundPos = 0;
            }
            m_inbound.append(datagram.constData() + firstBreak + 1, restSize);
        }
    }
    parseRecord(datagram.constData(), firstBreak);
    drain();
}

void DatagramLink::resume()
{
    if (m_pauseCount > 0)
        --m_pauseCount;
    if (m_pauseCount == 0)
        drain();
}

void DatagramLink::drain()
{
    // A handler may pause, resume or receive again while we are here; the
    // outer loop carries on with whatever has arrived.
    if (m_draining)
        return;
    m_draining = true;
    while (m_pauseCount <= 0) {
        const qsizetype lineBreak = m_inbound.indexOf('\n', m_inboundPos);
        if (lineBreak < 0)
            break;
        const qsizetype start = m_inboundPos;
        m_inboundPos = lineBreak + 1;
        parseRecord(m_inbound.constData() + start, lineBreak - start);
    }
    if (m_inboundPos > 0) {
        m_inbound.remove(0, m_inboundPos);
        m_inboundPos = 0;
    }
    m_draining = false;
}

void DatagramLink::parseRecord(const char *data, qsizetype size)
{
    if (size > 0 && data[size - 1] == '\r')
        --size;
    if (size <= 0)
        return;
    // Decoded before any handler runs: handlers may append to the inbound buffer.
    const QString record = decodeWireLine(data, size);
    if (m_lost) {
        m_lost = false;
        m_events.linkRestored();
    }
    static const QString r = QStringLiteral("R");
    const int kind = GetI(record, r);
    m_silence = 0;
    if ((echoRecords && kind > 1) || (echoChat && kind == 1))
        m_events.linkShow(QStringLiteral("Rcvd: ") + record);
    switch (kind) {
    case 0:
        acknowledge(record);
        break;
    case 4:
        m_events.linkPaged(GetS(record, QStringLiteral("N")));
        break;
    case 18:
        m_events.linkBufferSize(GetI(record, QStringLiteral("T")));
        break;
    default:
        m_events.linkDispatch(kind, record);
        break;
    }
}

void DatagramLink::acknowledge(const QString &record)
{
    // Without a readable K this is no acknowledgement: reading it as K = 0
    // would throw away records the server never saw.
    const QString kText = GetS(record, QStringLiteral("K"));
    const int k = toIntOrZero(kText);
    if (kText.isEmpty() || (k == 0 && kText != QLatin1String("0")))
        return;

    if (m_inbound.size() > m_inboundPos && m_countdown > 4)
        m_countdown = 4;
    if (k == m_k) {
        m_outbox.remove(0, qMin(m_lastSent, m_outbox.size()));
        m_lastSent = 0;
        m_mismatch = 0;
        if (!m_outbox.isEmpty())
            m_countdown = 1;
    } else if (++m_mismatch > 3) {
        m_outbox.clear();
        m_lastSent = 0;
        m_mismatch = 0;
    }
    // K = 10 is never our own, so it has been counted as a mismatch above.
    if (k == 10)
        m_events.linkReannounce();

    const int q = GetI(record, QStringLiteral("Q"));
    const QString l = GetS(record, QStringLiteral("L")).left(4);
    if (q != m_lastQ || l != m_token) {
        if (q > 0) {
            m_countdown = 1;
            if (echoAll)
                m_events.linkShow(QStringLiteral("eMore:  ") + QString::number(q));
        }
        m_lastQ = q;
        if (!l.isEmpty())
            m_token = l;
    } else if (q > 0) {
        ++m_repeatWarnings;
        m_events.linkRepeatWarning(m_repeatWarnings, record);
    }
}

void DatagramLink::resetForNewServer()
{
    m_outbox.clear();
    m_lastSent = 0;
    m_repeat = 0;
    m_mismatch = 0;
    m_token.clear();
    m_lastQ = 0;
    m_countdown = 0;
    m_silence = 0;
    m_lost = false;
}

} // namespace hchat
