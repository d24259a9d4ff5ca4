#include "protocol/records.h"

#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/wiretext.h"

#include <algorithm>

namespace hchat {

namespace {

// A number field that may be left out; empty counts as left out.
std::optional<int> optionalInt(const QString &record, char name)
{
    if (GetS(record, name).isEmpty())
        return std::nullopt;
    return GetI(record, name);
}

QString AddOptional(const std::optional<int> &value, char name)
{
    return value ? AddI(*value, name) : QString();
}

// Numbers written only when above 0, read as 0 when not.
quint32 positiveInt(const QString &record, char name)
{
    return quint32(qMax(0, GetI(record, name)));
}

QString AddPositive(quint32 value, char name)
{
    return value > 0 ? AddI(value, name) : QString();
}

} // namespace

QString PresenceRecord::encode() const
{
    return AddS(id, Field::Id) + AddS(cleanNick(nick), Field::Nick) + AddS(icon, Field::Icon) +
           AddI(room, Field::Room) + AddI(watch, Field::Watch) + AddI(buffer, Field::Buffer);
}

PresenceRecord PresenceRecord::decode(const QString &record)
{
    PresenceRecord r;
    r.id = GetS(record, Field::Id);
    r.nick = GetS(record, Field::Nick);
    r.icon = GetS(record, Field::Icon);
    r.room = GetI(record, Field::Room);
    r.watch = optionalInt(record, Field::Watch).value_or(-1);
    r.buffer = GetI(record, Field::Buffer);
    return r;
}

QString MemberRecord::encode(RecordKind kind) const
{
    return AddKind(kind) + AddS(nick, Field::Nick) + AddS(id, Field::Id) + AddI(room, Field::Room) +
           (hasWatch ? AddI(watch, Field::Watch) : QString()) + AddS(icon, Field::Icon) +
           AddS(silentSince, Field::Time) + AddS(renamed, Field::Renamed);
}

MemberRecord MemberRecord::decode(const QString &record)
{
    MemberRecord r;
    r.nick = GetS(record, Field::Nick);
    r.id = GetS(record, Field::Id);
    r.room = optionalInt(record, Field::Room).value_or(-1);
    r.hasWatch = !GetS(record, Field::Watch).isEmpty();
    r.watch = optionalInt(record, Field::Watch).value_or(-1);
    r.icon = GetS(record, Field::Icon);
    r.silentSince = GetS(record, Field::Time);
    r.renamed = GetS(record, Field::Renamed);
    return r;
}

QString ChatLineRecord::encode() const
{
    return AddPositive(recordNumber, Field::RecordNumber) + AddPositive(lineNumber, Field::LineNumber) +
           AddOptional(colour, Field::Colour) + AddS(id, Field::Id) + AddOptional(room, Field::Room) +
           AddS(time, Field::Time) + AddText(text, Field::Text);
}

ChatLineRecord ChatLineRecord::decode(const QString &record)
{
    return {positiveInt(record, Field::RecordNumber),
            positiveInt(record, Field::LineNumber),
            optionalInt(record, Field::Colour),
            GetS(record, Field::Id),
            optionalInt(record, Field::Room),
            GetS(record, Field::Time),
            GetText(record, Field::Text)};
}

QString PrivateMessageRecord::encode() const
{
    return AddPositive(recordNumber, Field::RecordNumber) + AddS(nick, Field::Nick) + AddS(id, Field::Id) +
           AddOptional(colour, Field::Colour) + AddText(text, Field::Text) +
           (automatic ? AddI(1, Field::Automatic) : QString());
}

PrivateMessageRecord PrivateMessageRecord::decode(const QString &record)
{
    return {positiveInt(record, Field::RecordNumber),
            GetS(record, Field::Nick),
            GetS(record, Field::Id),
            optionalInt(record, Field::Colour),
            GetText(record, Field::Text),
            GetI(record, Field::Automatic) == 1};
}

QString CommandRecord::encode() const
{
    return AddS(nick, Field::Nick) + AddS(id, Field::Id) + AddOptional(room, Field::Room) +
           AddS(adminPassword, Field::AdminPassword);
}

CommandRecord CommandRecord::decode(const QString &record)
{
    return {GetS(record, Field::Nick), GetS(record, Field::Id), optionalInt(record, Field::Room),
            GetS(record, Field::AdminPassword)};
}

QString ProfileRecord::encode() const
{
    return AddS(nick, Field::Nick) + AddS(id, Field::Id) + AddText(url, Field::Url) +
           AddText(text, Field::Text);
}

ProfileRecord ProfileRecord::decode(const QString &record)
{
    return {GetS(record, Field::Nick), GetS(record, Field::Id), GetText(record, Field::Url),
            GetText(record, Field::Text)};
}

QString BulletinRecord::encode() const
{
    return AddOptional(room, Field::Room) + AddText(text, Field::Text);
}

BulletinRecord BulletinRecord::decode(const QString &record)
{
    return {optionalInt(record, Field::Room), GetText(record, Field::Text)};
}

QString RoomEntryRecord::encode() const
{
    return AddOptional(room, Field::Room) + AddS(name, Field::Nick) + AddS(denied, Field::Automatic) +
           AddS(accessPassword, Field::AccessPassword) + AddS(adminPassword, Field::AdminPassword) +
           (watch ? AddI(1, Field::Watch) : QString());
}

RoomEntryRecord RoomEntryRecord::decode(const QString &record)
{
    return {optionalInt(record, Field::Room),   GetS(record, Field::Nick),
            GetS(record, Field::Automatic),     GetS(record, Field::AccessPassword),
            GetS(record, Field::AdminPassword), GetI(record, Field::Watch) == 1};
}

const std::array<std::pair<char, QString RoomRecord::*>, 11> RoomRecord::settings{{
    {Field::Nick, &RoomRecord::name},
    {Field::AdminPassword, &RoomRecord::adminPassword},
    {Field::AccessPassword, &RoomRecord::accessPassword},
    {Field::Icon, &RoomRecord::icon},
    {Field::ServerChoice, &RoomRecord::serverChoice},
    {Field::Caption, &RoomRecord::caption},
    {Field::Url, &RoomRecord::url},
    {Field::Text, &RoomRecord::welcome},
    {Field::Automatic, &RoomRecord::denied},
    {Field::Roots, &RoomRecord::roots},
    {Field::Booted, &RoomRecord::booted},
}};

bool RoomRecord::sameSettings(const RoomRecord &other) const
{
    return std::all_of(settings.begin(), settings.end(),
                       [&](const auto &s) { return this->*s.second == other.*s.second; });
}

QString RoomRecord::encode() const
{
    // Values read back hold a line break where the record has "||".
    const auto add = [](QString value, char name) {
        return AddS(value.replace(QLatin1String("\r\n"), QLatin1String("||")), name);
    };
    QString out = AddOptional(room, Field::Room);
    for (const auto &[name, member] : settings)
        out += add(this->*member, name);
    return out + add(editor, Field::Editor) + flags.field();
}

RoomRecord RoomRecord::decode(const QString &record)
{
    RoomRecord r{.room = optionalInt(record, Field::Room),
                 .editor = GetS(record, Field::Editor),
                 .flags = RoomFlags::read(record)};
    for (const auto &[name, member] : settings)
        r.*member = GetS(record, name);
    return r;
}

} // namespace hchat
