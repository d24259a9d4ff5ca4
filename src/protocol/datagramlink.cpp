#include "protocol/datagramlink.h"

#include "protocol/ackheader.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/linkevents.h"
#include "protocol/newsdatagram.h"
#include "protocol/pollheader.h"
#include "protocol/transport.h"
#include "protocol/wiretext.h"

#include <QRandomGenerator>

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

// A bare line break inside a record would split it in two on the server:
// carry it the way the codec does. Typed text comes here encoded already.
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

DatagramLink::DatagramLink(LinkEvents &events) : m_events(events)
{
    // A run's numbers start anywhere, so a server that still remembers an
    // earlier run of ours does not take our first records for old ones.
    m_nextNumber = QRandomGenerator::global()->bounded(WireLimits::maxNumber) + 1;
}

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

void DatagramLink::startNumbersAt(quint32 number)
{
    if (number >= 1 && number <= WireLimits::maxNumber)
        m_nextNumber = number;
}

QString DatagramLink::recordText(int kind, quint32 number, const QString &data)
{
    // The number goes right after the kind: the first occurrence of a field
    // counts, so nothing in the data can stand in for it.
    return AddI(kind, Field::Kind) + AddI(number, Field::RecordNumber) + keepOnOneLine(data);
}

qsizetype DatagramLink::recordBytes(int kind, const QString &data)
{
    return recordText(kind, WireLimits::maxNumber, data).toUtf8().size();
}

quint32 DatagramLink::Send(int kind, const QString &data)
{
    if (!isOpen() || !m_enabled)
        return 0;
    if (kind == 0) {
        poll();
        return 0;
    }
    m_countdown = 1;
    if (echoAll) {
        if (kind == 5)
            m_events.linkShow(QStringLiteral("eUser:  ") + hidePasswords(data));
        else
            m_events.linkShow(QStringLiteral("Other:  ") + QString::number(kind));
    }

    const quint32 number = m_nextNumber;
    const QString record = recordText(kind, number, data);
    if ((echoRecords && kind != 1) || (echoChat && kind == 1))
        m_events.linkShow(QStringLiteral("Send: ") + hidePasswords(record));
    QByteArray bytes = record.toUtf8();
    // A record the server would refuse is refused here, whole: a cut record
    // would reach the server as garbage.
    if (bytes.size() > WireLimits::maxRecordBytesOf(kind)) {
        m_events.linkShow(QStringLiteral("Not sent, record too long: %1 bytes (at most %2)")
                              .arg(bytes.size())
                              .arg(WireLimits::maxRecordBytesOf(kind)));
        return 0;
    }
    m_nextNumber = NumberWindow::next(m_nextNumber);
    bytes += '\n';
    const QList<Outbox::Dropped> dropped = m_outbox.add(number, bytes);
    for (const Outbox::Dropped &d : dropped)
        m_events.linkDropped(d.number, d.record, QStringLiteral("too many lines waiting for the server"));
    return number;
}

void DatagramLink::beginAnnouncement()
{
    m_outbox.beginAnnouncement();
}

void DatagramLink::endAnnouncement()
{
    m_outbox.endAnnouncement();
}

void DatagramLink::finalPoll()
{
    if (!isOpen() || !m_enabled)
        return;
    m_outbox.settleAnnouncement();
    poll();
}

void DatagramLink::sendAside(int kind, const QString &data)
{
    if (!isOpen() || !m_enabled)
        return;
    const QByteArray record = recordText(kind, m_nextNumber, data).toUtf8();
    m_nextNumber = NumberWindow::next(m_nextNumber);
    if (record.size() > WireLimits::maxRecordBytesOf(kind))
        return;
    m_k = (m_k + 1) % 10;
    m_unanswered = 0; // its answer brings nothing we want
    const QByteArray header = PollHeader::build(m_k, m_token.toUtf8(), m_lastReply);
    m_transport->sendDatagram(record + '\n' + header + "\r\n");
    if (echoAll)
        m_events.linkShow(QStringLiteral("Ping: ") + hidePasswords(QString::fromUtf8(record)) + u'\n' +
                          QString::fromLatin1(header));
}

void DatagramLink::poll()
{
    m_countdown = idlePoll;
    ++m_pollsSinceReply;
    const QByteArray &outbox = m_outbox.bytes();
    if (outbox.size() > maxCarried)
        m_events.linkShow(QStringLiteral("Ping > ") + QString::number(outbox.size()));
    // Only whole records travel; the rest waits for the next polls.
    const qsizetype lastSent = m_outbox.inFlightBytes();
    const qsizetype n = m_outbox.carry();
    if (n == 0 || n == lastSent) {
        // Six polls without news used to empty the outbox; the lines now
        // wait for the server, within the outbox's bounds.
        if (++m_repeat > 5)
            m_repeat = 0;
        ++m_unanswered;
    } else {
        m_repeat = 0;
        m_k = (m_k + 1) % 10;
        m_unanswered = 1; // answers to the polls before carry another K
    }
    // Without a token every poll is a first one.
    const bool announces = !hasToken() || m_outbox.inFlightAnnounces();
    m_announceK = announces ? m_k : -1;

    const QByteArray header = PollHeader::build(m_k, m_token.toUtf8(), m_lastReply,
                                                announces ? m_previousToken.toUtf8() : QByteArray());
    QByteArray datagram;
    datagram.reserve(n + header.size() + 2);
    datagram.append(outbox.constData(), n);
    datagram += header;
    datagram += "\r\n";
    m_transport->sendDatagram(datagram);
    if (echoAll)
        m_events.linkShow(QStringLiteral("Ping: ") + hidePasswords(QString::fromUtf8(outbox.constData(), n)) +
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
        // The records stay queued: the next server to answer takes them.
        if (hasToken())
            m_previousToken = m_token;
        m_token = lostToken();
        m_outbox.forgetInFlight();
        m_lost = true;
    }
}

bool DatagramLink::isDuplicate(const AckHeader &ack, const QByteArray &datagram, qsizetype restSize)
{
    // A new session numbers its replies afresh, from its first reply on
    // (which brings the token and no number yet).
    const QString token = decodeWireLine(ack.token).left(WireLimits::maxTokenChars);
    if (!token.isEmpty() && token != m_token)
        m_replies.clear();
    if (ack.reply > 0) {
        if (!m_replies.take(ack.reply))
            return true;
        m_lastReply = ack.reply;
        return false;
    }
    // A server without reply numbers sends one reply per poll: the same bytes
    // again before we polled again are the network's copy.
    return restSize > 0 && m_pollsSinceReply == 0 && datagram == m_lastDatagram;
}

void DatagramLink::receive(const QByteArray &datagram)
{
    if (echoAll)
        m_events.linkShow(QStringLiteral("Pong: ") + hidePasswords(shown(datagram)));
    const qsizetype firstBreak = datagram.indexOf('\n');
    if (firstBreak < 0 && NewsDatagram::matches(datagram, m_token.toUtf8())) {
        // News waiting: poll now. Once per answer at most, so forged news
        // cannot make us poll more than the server answers.
        if (m_pollsSinceReply == 0 && m_enabled && isOpen())
            poll();
        return;
    }
    if (firstBreak < 0) {
        m_events.linkShow(QStringLiteral("Pong #10: ") + shown(datagram));
        return;
    }
    qsizetype firstSize = firstBreak;
    if (firstSize > 0 && datagram[firstSize - 1] == '\r')
        --firstSize;
    const std::optional<AckHeader> ack = AckHeader::parse(QByteArrayView(datagram.constData(), firstSize));
    // Whatever does not start with an acknowledgement is no reply of the server's.
    if (!ack)
        return;
    const QString token = decodeWireLine(ack->token).left(WireLimits::maxTokenChars);
    bool answers = m_unanswered > 0 && (ack->k == m_k || ack->k == AckHeader::announceAgain);
    const bool adopts = answers && ack->k == m_announceK && !token.isEmpty() && token != m_token;
    // Another session's answer is somebody else's first poll from our
    // address; the session we had before the link was lost is still ours.
    if (answers && !adopts && m_serverEchoesToken && token != m_token &&
        (token.isEmpty() || token != m_previousToken))
        answers = false;
    const qsizetype restSize = datagram.size() - firstBreak - 1;
    bool duplicate = true;
    if (answers && ack->k == AckHeader::announceAgain) {
        // Nothing of it is taken but the request: records here would be
        // anybody's while a poll of ours is out.
        --m_unanswered;
        m_pollsSinceReply = 0;
    } else if (answers) {
        --m_unanswered;
        // A copy's records were taken the first time; its acknowledgement is
        // still read, so silence ends.
        duplicate = isDuplicate(*ack, datagram, restSize);
        // Only a reply without a number is ever compared with the next one.
        if (ack->reply > 0)
            m_lastDatagram.clear();
        else
            m_lastDatagram = datagram;
        m_pollsSinceReply = 0;
    }
    if (restSize > 0 && !duplicate) {
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
    if (answers) {
        if (m_lost) {
            m_lost = false;
            m_events.linkRestored();
        }
        m_silence = 0;
    }
    acknowledge(*ack, decodeWireLine(datagram.constData(), firstSize), answers, adopts, duplicate);
    drain();
    // Our lines find their place among the lines of the same reply: those
    // are shown first.
    for (const auto &[number, line] : std::exchange(m_placed, {}))
        m_events.linkPlaced(number, line);
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
    // The kind is read from the bytes: the tags are plain ASCII either way.
    const int kind = toIntOrZero(fieldBytes(QByteArrayView(data, size), Field::Kind));
    m_silence = 0;
    if ((echoRecords && kind > 1) || (echoChat && kind == 1))
        m_events.linkShow(QStringLiteral("Rcvd: ") + hidePasswords(record));
    switch (kind) {
    case kindNumber(RecordKind::Poll):
        break; // an acknowledgement counts only as the first line of a reply
    case kindNumber(RecordKind::Page):
        m_events.linkPaged(GetS(record, Field::Nick));
        break;
    case kindNumber(RecordKind::BufferSize):
        m_events.linkBufferSize(GetI(record, Field::Buffer));
        break;
    default:
        m_events.linkDispatch(kind, record);
        break;
    }
}

void DatagramLink::acknowledge(const AckHeader &ack, const QString &record, bool answers, bool adopts,
                               bool duplicate)
{
    if (m_inbound.size() > m_inboundPos && m_countdown > 4)
        m_countdown = 4;
    QList<quint32> delivered;
    if (ack.k == m_k) {
        if (!answers)
            return; // a late copy, or not the server's at all
        delivered = m_outbox.acknowledge();
        m_announceK = -1;
        m_mismatch = 0;
        if (!m_outbox.isEmpty())
            m_countdown = 1;
    } else if (++m_mismatch > 3) {
        // Four of these used to empty the outbox. The server answers other
        // polls than ours: carry everything afresh under a new K.
        m_mismatch = 0;
        m_outbox.forgetInFlight();
    }

    // The count of what waits comes only with an answer to our poll, a new
    // token only with the answer to our announcement: another datagram must
    // not move us into another session.
    const bool announceAgain = answers && ack.k == AckHeader::announceAgain;
    const int q = answers && !announceAgain ? ack.q : m_lastQ;
    const QString l = adopts ? decodeWireLine(ack.token).left(WireLimits::maxTokenChars) : m_token;
    if (answers && !announceAgain && !ack.token.isEmpty())
        m_serverEchoesToken = true;
    if (adopts) {
        m_previousToken.clear();
        m_announcementRefused = false;
    }
    if (answers && !announceAgain)
        m_tokenNew = adopts;
    if (q != m_lastQ || l != m_token) {
        if (q > 0) {
            m_countdown = 1;
            if (echoAll)
                m_events.linkShow(QStringLiteral("eMore:  ") + QString::number(q));
        }
        m_lastQ = q;
        if (!l.isEmpty())
            m_token = l;
    } else if (q > 0 && !duplicate) {
        ++m_repeatWarnings;
        m_events.linkRepeatWarning(m_repeatWarnings, record);
    }

    // Handlers run last: they may queue records of their own.
    for (quint32 number : std::as_const(delivered)) {
        if (ack.line > 0)
            m_placed.append({number, ack.line});
        m_events.linkDelivered(number);
    }
    // K = 10 is never our own, so it has been counted as a mismatch above.
    if (announceAgain) {
        // Asked to announce ourselves right after we did (in the answer to
        // the announcement, or to the poll bringing the new token back, when
        // it runs): the server refused it.
        m_announcementRefused = m_outbox.inFlightAnnounces() || m_tokenNew;
        m_tokenNew = false;
        if (hasToken())
            m_previousToken = m_token;
        m_events.linkReannounce();
    }
}

void DatagramLink::resetForNewServer()
{
    m_outbox.forgetInFlight();
    m_repeat = 0;
    m_mismatch = 0;
    m_token = lostToken();
    m_previousToken.clear();
    m_announceK = -1;
    m_serverEchoesToken = false;
    m_announcementRefused = false;
    m_tokenNew = false;
    m_lastQ = 0;
    m_countdown = 0;
    m_silence = 0;
    m_lost = false;
    m_replies.clear();
    m_lastReply = 0;
    m_lastDatagram.clear();
    m_unanswered = 0;
}

} // namespace hchat
