#include "settings/profileeditor.h"

#include "chat/chatsession.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/recordkind.h"
#include "transcript/groom.h"
#include "transcript/keywordrules.h"

namespace hchat {

namespace {

QString ChatSettings::*const kSounds[ProfileEditor::SoundCount] = {
    &ChatSettings::pageSound, &ChatSettings::pmSound, &ChatSettings::linkSound, &ChatSettings::keywordSound};

} // namespace

ProfileEditor::ProfileEditor(ChatSession &session) : m_session(session) {}

const QStringList &ProfileEditor::zoneNames()
{
    static const QStringList names =
        QStringLiteral("Eastern,Central,Mountain,Pacific,Alaska,Hawaii,Samoa,Auckland,New Caledonia,Sydney,"
                       "Tokyo,Hong Kong,Bangkok,Dhaka,Ekaterinburg,Abu Dhabi,Moscow,Cairo,Berlin,London,"
                       "Azores,Mid-Atlantic,Buenos Aires,Atlantic")
            .split(u',');
    return names;
}

const std::array<int, 5> &ProfileEditor::fontSizes()
{
    static const std::array<int, 5> sizes{8, 10, 12, 14, 18};
    return sizes;
}

int ProfileEditor::sizeItem(int storedSize)
{
    const auto &sizes = fontSizes();
    for (int i = 1; i < int(sizes.size()); ++i)
        if (sizes[i] == storedSize)
            return i;
    return 0;
}

int ProfileEditor::highestIcon(bool staff, bool administrator, int currentIcon)
{
    const int offered = staff ? 64 : administrator ? 63 : 57;
    return qMax(offered, currentIcon);
}

QString ProfileEditor::shownText(const QString &stored)
{
    return GetS(AddS(stored, Field::Text), Field::Text);
}

bool ProfileEditor::addFavourite(QStringList &favourites, const QString &text)
{
    const QString url = text.trimmed();
    if (url.isEmpty() || favourites.contains(url))
        return false;
    favourites.append(url);
    return true;
}

QStringList ProfileEditor::keywordLines(const QString &memo)
{
    QStringList lines;
    for (QString line : memo.split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        // The first separator of either kind splits the line, as the alerts read it.
        const qsizetype bar = line.indexOf(u'|');
        const qsizetype eq = line.indexOf(u'=');
        const qsizetype sep = bar < 0 ? eq : (eq < 0 ? bar : qMin(bar, eq));
        if (sep >= 0)
            line = line.left(sep).trimmed() + line.at(sep) + line.mid(sep + 1).trimmed();
        lines.append(line);
    }
    return lines;
}

QString ProfileEditor::shownSound(const QString &path, const QString &programFolder)
{
    if (!programFolder.isEmpty() && path.startsWith(programFolder))
        return path.mid(programFolder.size());
    return path;
}

ProfileEditor::Values ProfileEditor::fill() const
{
    const ChatSettings &s = m_session.settings();
    Values v;
    v.nick = s.nick;
    v.icon = s.icon;
    for (int i = 0; i < SoundCount; ++i)
        v.sounds[i] = shownSound(s.*kSounds[i], m_session.programFolder());
    v.keywords = m_session.keywords().join(u'\n');
    // Favourites and profile go through the codec, as they would from a record.
    const QString favourites = shownText(m_session.favourites().join(QLatin1String("||")));
    v.favourites = favourites.split(QLatin1String("\r\n"), Qt::SkipEmptyParts);
    v.url = s.url.left(UrlLimit);
    v.profile = shownText(s.profile).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    v.zone = s.zone >= 0 && s.zone < zoneNames().size() ? s.zone : -1;
    return v;
}

void ProfileEditor::close(
    const Values &v, bool profileChanged,
    const std::function<QString(const QString &, const QString &, const QString &)> &askNick)
{
    ChatSession &session = m_session;
    const ChatSettings &s = session.settings();

    // 1: favourites and profile, line breaks kept as "||".
    QStringList favourites;
    for (const QString &f : GroomMessage(v.favourites.join(u'\n')).split(QLatin1String("||")))
        addFavourite(favourites, f);
    session.setFavourites(favourites);
    session.set(&ChatSettings::profile, GroomMessage(v.profile));

    // 2: the plain settings.
    session.setSettingsDialogOpen(false);
    session.editSettings([&](ChatSettings &edited) {
        edited.url = v.url.left(UrlLimit);
        for (int i = 0; i < SoundCount; ++i) {
            // A box the user never touched keeps its file, however long its path.
            if (v.soundEdited[i])
                edited.*kSounds[i] =
                    KeywordRules::soundPath(v.sounds[i].trimmed().left(SoundLimit), session.programFolder());
        }
        if (v.zone >= 0 && v.zone < zoneNames().size())
            edited.zone = v.zone;
    });
    if (v.keywords != session.keywords().join(u'\n'))
        session.setKeywords(keywordLines(v.keywords));

    // 3, 4: a new nick or icon. A new nick is cleaned before it is compared,
    // so one that cleans back to the old one changes nothing; one that
    // cleans to nothing keeps the old one rather than leave us nameless.
    QString nick = ChatSession::fitNick(v.nick.trimmed());
    if (nick != s.nick) {
        GroomNickInput in;
        in.staffMode = session.staffMode();
        in.storedName = s.registeredName;
        in.registeredName = s.registeredName;
        in.text = [&session](int n) { return session.text(n); };
        in.ask = askNick;
        nick = ChatSession::fitNick(GroomNick(nick, in));
        if (nick.isEmpty())
            nick = s.nick;
    }
    const int icon = v.icon >= 0 ? v.icon : s.icon;
    const bool nickChanged = nick != s.nick;
    if (nickChanged || icon != s.icon) {
        session.connection().takeIdentity(nick, icon); // the staff flag follows the nick
        if (nickChanged && !nick.isEmpty())
            session.set(&ChatSettings::registeredName, nick);
        profileChanged = true;
    }

    // 5: the profile record.
    if (profileChanged)
        session.Send(RecordKind::Profile, Connection::profileFields(s.url, s.profile));
}

} // namespace hchat
