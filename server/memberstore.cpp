#include "memberstore.h"

#include "roomstore.h"

#include "protocol/atomicfile.h"

#include <QDataStream>
#include <QFile>

namespace hchat {

namespace {

constexpr quint32 magicV1 = 0x48434d31; // "HCM1": without tokens
constexpr quint32 magic = 0x48434d32;   // "HCM2"
// Far above what 10,000 members with full queues could hold: a bigger file
// is not ours.
constexpr qint64 maxFileBytes = qint64(4) << 30;

} // namespace

MemberStore::MemberStore(const QString &dir)
    : m_path(dir.isEmpty() ? QString() : dir + u'/' + QLatin1String(fileName))
{
}

bool MemberStore::save(const std::vector<const Session *> &members, qint64 wallMs, qint64 nowMs)
{
    if (!isEnabled())
        return true;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << magic << lineNumber << quint32(members.size());
    for (const Session *s : members) {
        out << QByteArray(reinterpret_cast<const char *>(s->peer.address.data()), 16) << s->peer.port
            << s->peer.v6 << s->id << s->nick << s->icon << qint32(s->room) << qint32(s->watch)
            << qint32(s->colour) << s->awayUser << s->awayText << qint64(wallMs - (nowMs - s->lastSeenMs))
            << s->echoesReplies << s->replyNumber << s->held << qint32(s->missed) << s->records.top()
            << (s->formerToken ? s->formerToken : s->token);
        for (const quint64 b : s->records.bits())
            out << b;
        out << quint32(s->queue.size());
        for (const Session::Waiting &w : s->queue)
            out << w.bytes << qint32(w.records);
    }
    QString why;
    if (!AtomicFile::save(m_path, bytes, &why, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        if (why != std::exchange(m_lastError, why))
            log(QStringLiteral("%1 not saved: %2").arg(m_path, why));
        return false;
    }
    m_lastError.clear();
    return true;
}

std::vector<std::unique_ptr<Session>> MemberStore::load()
{
    std::vector<std::unique_ptr<Session>> members;
    if (!isEnabled())
        return members;
    QByteArray bytes;
    QString why;
    switch (AtomicFile::read(m_path, &bytes, &why, maxFileBytes)) {
    case AtomicFile::ReadResult::Absent:
        return members;
    case AtomicFile::ReadResult::Failed:
        log(QStringLiteral("%1 could not be read (%2): starting without its members").arg(m_path, why));
        return members;
    case AtomicFile::ReadResult::Read:
        break;
    }
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 head = 0, count = 0;
    in >> head >> lineNumber >> count;
    bool ok = head == magic || head == magicV1;
    for (quint32 i = 0; ok && i < count && in.status() == QDataStream::Ok; ++i) {
        auto s = std::make_unique<Session>();
        QByteArray address;
        qint32 room = -1, watch = -1, colour = -1, missed = 0;
        qint64 lastSeen = 0;
        quint32 top = 0, waiting = 0;
        NumberWindow::Bits bits{};
        in >> address >> s->peer.port >> s->peer.v6 >> s->id >> s->nick >> s->icon >> room >> watch >>
            colour >> s->awayUser >> s->awayText >> lastSeen >> s->echoesReplies >> s->replyNumber >>
            s->held >> missed >> top;
        // The token its client still polls with: the proof it is that client.
        if (head == magic)
            in >> s->token;
        for (quint64 &b : bits)
            in >> b;
        in >> waiting;
        // A room out of range would put a member where no room can be.
        const auto roomOk = [](qint32 r) { return r == -1 || RoomStore::validRoom(r); };
        if (in.status() != QDataStream::Ok || address.size() != 16 || s->id.isEmpty() ||
            waiting > quint32(bytes.size()) || !roomOk(room) || !roomOk(watch)) {
            ok = false;
            break;
        }
        std::copy(address.cbegin(), address.cend(), s->peer.address.begin());
        for (quint32 w = 0; w < waiting && in.status() == QDataStream::Ok; ++w) {
            Session::Waiting entry;
            qint32 records = 0;
            in >> entry.bytes >> records;
            entry.records = qMax(1, records);
            s->queueBytes += entry.bytes.size() + 1;
            s->queueRecords += entry.records;
            s->queue.append(entry);
        }
        s->room = room;
        s->watch = watch;
        s->colour = colour;
        s->missed = qMax(0, missed);
        s->lastSeenMs = lastSeen;
        s->records.restore(top, bits);
        s->verified = s->announced = true;
        members.push_back(std::move(s));
    }
    if (ok && in.status() == QDataStream::Ok && in.atEnd())
        return members;
    members.clear();
    const QString aside = RoomStore::freeName(m_path + QStringLiteral(".damaged"));
    if (QFile::rename(m_path, aside))
        log(QStringLiteral("%1 is damaged: set aside as %2; starting without its members")
                .arg(m_path, aside));
    else
        log(QStringLiteral("%1 is damaged and could not be set aside; starting without its members")
                .arg(m_path));
    return members;
}

} // namespace hchat
