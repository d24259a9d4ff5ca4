// The two header lines of the link: the poll's and the acknowledgement's.
#include "protocol/ackheader.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/pollheader.h"
#include "protocol/wirelimits.h"

namespace hchat {

namespace {

bool isPollKind(QByteArrayView line)
{
    return fieldBytes(line, Field::Kind) == QByteArrayView("0");
}

quint32 readNumber(QByteArrayView text)
{
    int n = 0;
    if (!readInt(text, &n) || n < 1 || quint32(n) > WireLimits::maxNumber)
        return 0;
    return quint32(n);
}

void appendField(QByteArray &out, char name, QByteArrayView value)
{
    out += '<';
    out += name;
    out += '>';
    out += value;
    out += "</";
    out += name;
    out += '>';
}

// Every reply the server sends runs through here: no formatting machinery.
void appendNumber(QByteArray &out, char name, qint64 value)
{
    char digits[24];
    char *end = digits + sizeof digits;
    char *p = end;
    quint64 v = value < 0 ? 0 - quint64(value) : quint64(value);
    do {
        *--p = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (value < 0)
        *--p = '-';
    appendField(out, name, QByteArrayView(p, end - p));
}

} // namespace

std::optional<PollHeader> PollHeader::parse(QByteArrayView line)
{
    const QByteArrayView k = fieldBytes(line, Field::Sequence);
    if (!isPollKind(line) || k.size() != 1 || k[0] < '0' || k[0] > '9')
        return std::nullopt;
    PollHeader h;
    h.k = k[0] - '0';
    h.token = fieldBytes(line, Field::Token);
    h.previousToken = fieldBytes(line, Field::PreviousToken);
    // The field present is what counts: 0 says "none taken yet".
    const char open[3] = {'<', Field::ReplyNumber, '>'};
    h.echoesReplies = line.contains(QByteArrayView(open, 3));
    h.lastReply = readNumber(fieldBytes(line, Field::ReplyNumber));
    return h;
}

QByteArray PollHeader::build(int k, QByteArrayView token, quint32 lastReply, QByteArrayView previousToken)
{
    QByteArray out;
    out.reserve(48);
    appendNumber(out, Field::Kind, 0);
    appendNumber(out, Field::Sequence, k);
    if (!token.isEmpty())
        appendField(out, Field::Token, token);
    if (!previousToken.isEmpty())
        appendField(out, Field::PreviousToken, previousToken);
    appendNumber(out, Field::ReplyNumber, lastReply);
    return out;
}

std::optional<AckHeader> AckHeader::parse(QByteArrayView line)
{
    // Without a readable K this is no acknowledgement: reading it as K = 0
    // would throw away records the server never saw.
    AckHeader h;
    if (!isPollKind(line) || !readInt(fieldBytes(line, Field::Sequence), &h.k))
        return std::nullopt;
    h.q = toIntOrZero(fieldBytes(line, Field::Backlog));
    h.token = fieldBytes(line, Field::Token);
    h.reply = readNumber(fieldBytes(line, Field::ReplyNumber));
    h.line = readNumber(fieldBytes(line, Field::LineNumber));
    return h;
}

void AckHeader::append(QByteArray &out, int k, int q, QByteArrayView token, quint32 reply, quint32 line)
{
    appendNumber(out, Field::Kind, 0);
    appendNumber(out, Field::Sequence, k);
    if (q >= 0)
        appendNumber(out, Field::Backlog, q);
    if (!token.isEmpty())
        appendField(out, Field::Token, token);
    if (reply > 0)
        appendNumber(out, Field::ReplyNumber, reply);
    if (line > 0)
        appendNumber(out, Field::LineNumber, line);
    out += '\n';
}

} // namespace hchat
