#pragma once

#include "protocol/recordkind.h"

#include <QtGlobal>

namespace hchat {

/// Every size limit of the wire, quoted by client and server alike so they
/// cannot disagree. Sizes count UTF-8 bytes; the few that count characters
/// say so.
struct WireLimits {
    /// A record line the server takes (line feed not counted).
    static constexpr int maxRecordBytes = 4096;
    /// Record bytes (line feeds included) one poll carries before its header.
    static constexpr int maxCarriedBytes = 8162;
    /// A bulletin record (kind 9) may fill a whole poll.
    static constexpr int maxBulletinRecordBytes = maxCarriedBytes - 1;
    /// The record-size rule: what one record line of a kind may hold.
    static constexpr int maxRecordBytesOf(int kind)
    {
        return kind == kindNumber(RecordKind::SaveBulletin) ? maxBulletinRecordBytes : maxRecordBytes;
    }
    /// A bulletin's text on the wire: room for it and its header in a reply.
    static constexpr int maxBulletinBytes = 8000;
    /// A reply: the acknowledgement and the records that fit after it.
    static constexpr int maxReplyBytes = 8192;
    /// Room kept for the acknowledgement line of a reply, its line feed included.
    static constexpr int maxAckBytes = 80;
    /// The largest datagram the server reads: a full poll with room to spare.
    static constexpr int maxPollBytes = 9000;
    /// Records one poll may carry; the server refuses a poll with more.
    static constexpr int maxRecordsPerPoll = 100;
    /// What the client's outbox holds while the server does not answer; past
    /// either bound the oldest waiting records are refused.
    static constexpr int maxQueuedRecords = 100;
    static constexpr int maxQueuedBytes = 64 * 1024;
    /// Chat lines, global messages, private messages and pages: a member may
    /// send a whole outbox at once (after an outage), then this many a second.
    static constexpr int linesPerSecond = 20;
    static constexpr int lineBurst = maxQueuedRecords;
    /// Record and reply numbers run from 1 to this and wrap to 1; 0 is none.
    static constexpr quint32 maxNumber = 999999;
    /// The link token, in characters.
    static constexpr int maxTokenChars = 4;
    /// Characters of a nick the client sends.
    static constexpr int maxNickChars = 20;
    /// Characters the server keeps of the nick and ID fields of presence.
    static constexpr int maxNickFieldChars = 27;
    static constexpr int maxIdFieldChars = 16;
    /// Characters the server keeps of a profile URL or text.
    static constexpr int maxProfileChars = 1000;
};

} // namespace hchat
