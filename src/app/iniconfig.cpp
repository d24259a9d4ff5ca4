#include "app/iniconfig.h"

#include "app/inifile.h"
#include "chat/chatsession.h"
#include "chat/rooms.h"
#include "protocol/codec.h"
#include "transcript/logfolder.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>
#include <QUrl>

#include <climits>

namespace hchat {

namespace {

const QString kSection = QStringLiteral("Chat");

// Where the web button may point: our monitoring pages on the local web base.
const QString kMonitorHost = QStringLiteral("127.0.0.1");

struct Reader {
    const IniFile &ini;

    std::optional<QString> raw(const char *key) const { return ini.value(kSection, QLatin1String(key)); }
    // Outside [least, most] reads as the default too.
    int integer(const char *key, int def, int least = INT_MIN, int most = INT_MAX) const
    {
        const QString t = raw(key).value_or(QString()).trimmed();
        const int n = toIntOrZero(t); // 0 also means "not a number"
        return (n == 0 && t != QLatin1String("0")) || n < least || n > most ? def : n;
    }
    static std::optional<bool> asBool(const QString &t)
    {
        const QString v = t.trimmed().toLower();
        if (v == QLatin1String("1") || v == QLatin1String("true") || v == QLatin1String("yes") ||
            v == QLatin1String("on") || v == QLatin1String("-1"))
            return true;
        if (v == QLatin1String("0") || v == QLatin1String("false") || v == QLatin1String("no") ||
            v == QLatin1String("off"))
            return false;
        return std::nullopt;
    }
    bool boolean(const char *key, bool def) const
    {
        return asBool(raw(key).value_or(QString())).value_or(def);
    }
    // A negative limit keeps the whole text.
    QString text(const char *key, const QString &def, int limit = -1) const
    {
        return raw(key).value_or(def).left(limit);
    }
};

// Keys read and written as they stand, with their defaults.
using S = ChatSettings;
struct IntKey {
    const char *key;
    int S::*member;
    int def;
};
const IntKey kIntKeys[] = {{"FormColor", &S::formColor, 16777215},
                           {"FontColor", &S::fontColor, 0},
                           {"Room", &S::room, 0},
                           {"Room2", &S::room2, 0},
                           {"Left", &S::left, 0},
                           {"Height", &S::height, 714},
                           {"Width", &S::width, 1012},
                           {"Size", &S::webSize, 234},
                           {"ListWidth", &S::listWidth, 160},
                           {"2ndWidth", &S::secondWidth, 180},
                           {"Icon", &S::icon, 0},
                           {"ProxyPort", &S::proxyPort, 0}};
struct BoolKey {
    const char *key;
    bool S::*member;
    bool def;
};
const BoolKey kBoolKeys[] = {{"FontBold", &S::fontBold, false},
                             {"Horizontal", &S::horizontal, false},
                             {"StayOnTop", &S::stayOnTop, false},
                             {"Image", &S::showImage, true},
                             {"List", &S::showList, true},
                             {"2nd", &S::showSecond, false},
                             {"Time", &S::showTime, true},
                             {"Log", &S::autoLog, false},
                             {"Arrive", &S::showArrivals, false},
                             {"Depart", &S::showDepartures, false},
                             {"Color", &S::useMyColor, false},
                             {"Links", &S::showLinks, true},
                             {"Post", &S::post, true},
                             {"Read", &S::voiceRead, false},
                             {"Scroll", &S::scroll, true},
                             {"ProfileURL", &S::profileLinks, false},
                             // Keys of our own.
                             {"NotifyPage", &S::notifyPage, true},
                             {"NotifyPM", &S::notifyPM, true},
                             {"NotifyKeyword", &S::notifyKeyword, true},
                             {"NotifyNick", &S::notifyNick, true},
                             {"HighlightNick", &S::highlightNick, true}};

} // namespace

IniConfig::IniConfig(StartOptions folders, int zoneBias) : m_folders(std::move(folders)), m_zoneBias(zoneBias)
{
    // Options that name only a program folder keep everything in it.
    const StartOptions home = StartOptions::inFolder(m_folders.programFolder);
    for (QString StartOptions::*folder :
         {&StartOptions::configFolder, &StartOptions::logFolder, &StartOptions::installFolder})
        if ((m_folders.*folder).isEmpty())
            m_folders.*folder = home.*folder;
}

int IniConfig::zoneFromBias(int b)
{
    if (b >= -720 && b < 300)
        return (b + 720) / 60 + 7;
    if (b >= 300 && b <= 720)
        return (b - 300) / 60;
    return 0;
}

int IniConfig::zoneBias(const QTimeZone &zone, const QDateTime &at)
{
    return -zone.standardTimeOffset(at) / 60;
}

int IniConfig::systemZoneBias()
{
    return zoneBias(QTimeZone::systemTimeZone(), QDateTime::currentDateTime());
}

QString IniConfig::applyWebRule(const QString &web, const QString &text504)
{
    // The web button may only lead to our monitoring pages. Appending 504 to a
    // foreign address would pass a plain substring test ("http://x/" + our
    // address) and open a garbled foreign URL, so the host itself is checked.
    const QUrl url(web);
    if (web.contains(QLatin1String("/mon/")) && url.isValid() && url.host() == kMonitorHost)
        return web;
    return text504;
}

QString IniConfig::defaultSound(const char *name) const
{
    return m_folders.shippedFile(QStringLiteral("Media/") + QLatin1String(name));
}

QString IniConfig::soundFromIni(const QString &value) const
{
    QString s = value.left(80);
    if (s.isEmpty())
        return s;
    s.replace(u'\\', u'/');
    // A file written on Windows names the sounds under its own program
    // folder ("C:/.../Media/Notify.wav"): ours are in our Media folder.
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:/"));
    if (drive.match(s).hasMatch()) {
        const qsizetype media = s.lastIndexOf(QLatin1String("/Media/"), -1, Qt::CaseInsensitive);
        if (media >= 0)
            return m_folders.shippedFile(QStringLiteral("Media/") + s.mid(media + 7));
        return s;
    }
    if (s.startsWith(u'/') || s.contains(u':'))
        return s;
    return m_folders.shippedFile(s);
}

QString IniConfig::soundToIni(const QString &path) const
{
    // Sounds inside the program folder, or shipped with the program, are
    // stored relative to it: short enough for the 80-character limit, and
    // still found when the program moves or a package update replaces them.
    for (const QString &folder : {m_folders.programFolder, m_folders.installFolder})
        if (!folder.isEmpty() && path.startsWith(folder))
            return path.mid(folder.size());
    return path;
}

bool IniConfig::ReadIniFile(ChatSettings &settings, QString *error)
{
    LogFolder::secure(logFolder());
    // The settings can hold the proxy password: their own folder, when they
    // have one, is closed to others like ChatLog.
    LogFolder::make(m_folders.configFolder);
    IniFile ini;
    QString why;
    m_unreadable = ini.load(iniPath(), &why) == AtomicFile::ReadResult::Failed ? why : QString();
    read(ini, settings);
    if (!m_unreadable.isEmpty() && error)
        *error = QStringLiteral("%1 could not be read (%2)").arg(iniPath(), m_unreadable);
    return m_unreadable.isEmpty();
}

void IniConfig::read(const IniFile &ini, ChatSettings &s) const
{
    const Reader r{ini};
    for (const IntKey &k : kIntKeys)
        s.*k.member = r.integer(k.key, k.def);
    for (const BoolKey &k : kBoolKeys)
        s.*k.member = r.boolean(k.key, k.def);
    // Before any room list is known, the choosers' highest number is the
    // bound: a huge number would make a chooser item for every room below it.
    for (int S::*room : {&S::room, &S::room2})
        if (s.*room < 0 || s.*room > Rooms::maxRoom)
            s.*room = 0;
    s.fontSize = r.integer("FontSize", 10, 6, 72);
    s.nick = ChatSession::fitNick(r.text("Nick", QString()));
    s.top = r.integer("Top", 0, -50);
    s.zone = r.integer("Zone", zoneFromBias(m_zoneBias), 0, 23);
    s.url = r.text("URL", QString(), 140);
    s.web = r.text("Web", QString());
    s.profile = r.text("Profile", QString());
    s.pageSound = r.raw("Page") ? soundFromIni(*r.raw("Page")) : defaultSound("Notify.wav");
    s.linkSound = r.raw("Link") ? soundFromIni(*r.raw("Link")) : defaultSound("Chimes.wav");
    s.keywordSound = r.raw("Keyword") ? soundFromIni(*r.raw("Keyword")) : defaultSound("Chord.wav");

    // `PM` is both the blocking switch and, in files written by older
    // versions, the private-message sound (the later write won). We keep the
    // switch in `PM` and the sound in `PMSound`; a `PM` that is not a boolean
    // is read as the sound.
    s.blockPM = false;
    s.pmSound = defaultSound("TaDa.wav");
    if (const auto pm = r.raw("PM")) {
        if (const auto b = Reader::asBool(*pm))
            s.blockPM = *b;
        else
            s.pmSound = soundFromIni(*pm);
    }
    if (const auto snd = r.raw("PMSound"))
        s.pmSound = soundFromIni(*snd);

    if (s.style.isEmpty())
        s.style = r.text("Style", QString()).left(1);

    // Our own keys.
    s.memberId = r.text("MemberID", QString()).left(8);
    if (s.memberId.size() != 8 || s.memberId.contains(u'<') || s.memberId.contains(u'>'))
        s.memberId.clear(); // a damaged ID is made again
    s.serverChoice = r.integer("Server", 0, 0, 2);
    for (int i = 0; i < 3; ++i) {
        s.servers[i] =
            r.text(("Server" + QByteArray::number(i)).constData(), QStringLiteral("127.0.0.1:5500"));
        s.serverKeys[i] = r.text(("ServerKey" + QByteArray::number(i)).constData(), QString()).trimmed();
    }
    s.proxyHost = r.text("ProxyHost", QString());
    s.proxyUser = r.text("ProxyUser", QString());
    s.proxyPassword = r.text("ProxyPassword", QString());
    s.webBase = r.text("WebBase", QStringLiteral("http://127.0.0.1:8080/"));
    s.registeredName = r.text("UserName", QString(), 20);
}

void IniConfig::write(const ChatSettings &s, IniFile &ini) const
{
    auto put = [&](const char *key, const QString &v) { ini.setValue(kSection, QLatin1String(key), v); };
    auto putI = [&](const char *key, int v) { put(key, QString::number(v)); };
    auto putB = [&](const char *key, bool v) { put(key, v ? QStringLiteral("1") : QStringLiteral("0")); };
    for (const IntKey &k : kIntKeys)
        putI(k.key, s.*k.member);
    for (const BoolKey &k : kBoolKeys)
        putB(k.key, s.*k.member);
    putI("FontSize", s.fontSize);
    put("Nick", ChatSession::fitNick(s.nick));
    putI("Top", s.top);
    putI("Zone", s.zone);
    putB("PM", s.blockPM);
    put("URL", s.url.left(140));
    put("Web", s.web);
    put("Profile", s.profile);
    put("Page", soundToIni(s.pageSound));
    put("PMSound", soundToIni(s.pmSound));
    put("Link", soundToIni(s.linkSound));
    put("Keyword", soundToIni(s.keywordSound));
    put("Style", s.style);
    putI("Buffer", s.buffer);
    put("MemberID", s.memberId);
    putI("Server", s.serverChoice);
    for (int i = 0; i < 3; ++i) {
        put(("Server" + QByteArray::number(i)).constData(), s.servers[i]);
        put(("ServerKey" + QByteArray::number(i)).constData(), s.serverKeys[i]);
    }
    put("ProxyHost", s.proxyHost);
    put("ProxyUser", s.proxyUser);
    put("ProxyPassword", s.proxyPassword);
    put("WebBase", s.webBase);
    put("UserName", s.registeredName);
}

bool IniConfig::WriteIniFile(const ChatSettings &settings, QString *error) const
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    // The defaults used in place of a file we could not read must not
    // replace the user's own settings.
    if (!m_unreadable.isEmpty())
        return fail(
            QStringLiteral("%1 was not read at start (%2): left as it is").arg(iniPath(), m_unreadable));
    if (!LogFolder::make(m_folders.configFolder))
        return fail(QStringLiteral("cannot make the folder %1").arg(m_folders.configFolder));
    // Keep keys we don't know (written by a newer version, or by hand).
    IniFile ini;
    QString why;
    if (ini.load(iniPath(), &why) == AtomicFile::ReadResult::Failed)
        return fail(QStringLiteral("%1 cannot be read (%2): left as it is").arg(iniPath(), why));
    write(settings, ini);
    // The file can hold the proxy password: readable by its owner only.
    return ini.save(iniPath(), error, LogFolder::filePermissions);
}

} // namespace hchat
