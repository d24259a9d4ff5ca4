#include "transcript/linkrules.h"

#include "catalogue/cataloguetext.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

namespace hchat {

namespace {

// 1-based position of needle in hay, 0 when absent: the sum test below adds
// such positions.
qsizetype pos1(const QString &hay, QLatin1StringView needle)
{
    return hay.indexOf(needle) + 1;
}

// Up to the first blank: an address can't hold one, and whatever follows it
// on the line is not part of it.
QString untilBlank(const QString &s)
{
    static const QRegularExpression blank(QStringLiteral("\\s"));
    const qsizetype end = s.indexOf(blank);
    return end < 0 ? s : s.left(end);
}

// A root as the room owner may have typed it: "Data.com", "www.data.com/",
// "http://data.com/x" all name the host.
QString rootHost(QString root)
{
    root = root.trimmed().toLower();
    const qsizetype scheme = root.indexOf(QLatin1String("//"));
    if (scheme >= 0)
        root = root.mid(scheme + 2);
    const qsizetype slash = root.indexOf(QLatin1Char('/'));
    if (slash >= 0)
        root = root.left(slash);
    while (root.startsWith(QLatin1Char('.')))
        root.remove(0, 1);
    while (root.endsWith(QLatin1Char('.')))
        root.chop(1);
    return root;
}

bool hostUnder(const QString &host, const QString &root)
{
    return !root.isEmpty() && (host == root || host.endsWith(QLatin1Char('.') + root));
}

} // namespace

QString LinkRules::extractAddress(const QString &line, const Catalogue &text)
{
    QString t = line;
    const qsizetype lastLf = t.lastIndexOf(QLatin1Char('\n'));
    if (lastLf >= 0)
        t = t.mid(lastLf + 1);
    const QString lower = t.toLower();

    const qsizetype sep = lower.indexOf(QLatin1String(":  "));
    const QString body = sep >= 0 ? lower.mid(sep + 3) : lower;
    const qsizetype sum = pos1(body, QLatin1String(".wav")) + pos1(body, QLatin1String(".mp3")) +
                          pos1(body, QLatin1String(".mid")) + pos1(body, QLatin1String(".exe")) +
                          pos1(body, QLatin1String(".mpg")) + pos1(body, QLatin1String("@"));
    if (sum > 2)
        return QString();

    const QString prefix = text ? text(CatalogueText::AddressPrefix) : QString();
    const qsizetype www = lower.indexOf(QLatin1String("www."));
    if (www >= 0)
        return prefix + untilBlank(t.mid(www, 255));
    const qsizetype http = lower.indexOf(QLatin1String("http"));
    if (http >= 0)
        return untilBlank(t.mid(http, 255));

    const qsizetype blanks = t.indexOf(QLatin1String("  "));
    if (blanks < 0)
        return QString();
    QStringList marks = {QStringLiteral(".org"), QStringLiteral(".com"), QStringLiteral(".net"),
                         QStringLiteral(".gif"), QStringLiteral(".jpg"), QStringLiteral(".jpeg")};
    if (text)
        marks << text(CatalogueText::SiteSuffix).toLower();
    for (const QString &m : marks) {
        if (!m.isEmpty() && lower.contains(m))
            return prefix + untilBlank(t.mid(blanks + 2).trimmed());
    }
    return QString();
}

QString LinkRules::webHost(const QString &address)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid())
        return QString();
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return QString();
    return url.host().toLower();
}

bool LinkRules::hostApproved(const QString &host, const QString &roots)
{
    if (host.isEmpty())
        return false;
    static const QRegularExpression split(QStringLiteral("\\|\\||[\\s,;]+"));
    for (const QString &r : roots.split(split, Qt::SkipEmptyParts)) {
        if (hostUnder(host, rootHost(r)))
            return true;
    }
    return false;
}

bool LinkRules::onSite(const QString &address, const QString &site, const QString &webBase)
{
    QString s = site.trimmed().toLower();
    if (s.isEmpty())
        return false;
    if (s.startsWith(QLatin1Char('/'))) {
        // A bare path names pages of our own web site.
        const QUrl base(webBase.trimmed());
        if (webHost(base.toString()).isEmpty())
            return false;
        s = base.toString(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment).toLower() + s;
    }
    const QString host = webHost(address);
    if (host.isEmpty())
        return false;
    const QUrl url(address);

    QString scheme;
    const qsizetype slashes = s.indexOf(QLatin1String("//"));
    if (slashes >= 0) {
        scheme = s.left(slashes);
        if (scheme.endsWith(QLatin1Char(':')))
            scheme.chop(1);
        s = s.mid(slashes + 2);
        if (!scheme.isEmpty() && scheme != url.scheme().toLower())
            return false;
    }
    const qsizetype slash = s.indexOf(QLatin1Char('/'));
    QString siteHost = slash < 0 ? s : s.left(slash);
    const QString sitePath = slash < 0 ? QString() : s.mid(slash);

    // A port is part of the address: "127.0.0.1:8080" is not "127.0.0.1:80".
    const qsizetype colon = siteHost.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0 && !siteHost.endsWith(QLatin1Char(']'))) {
        bool ok = false;
        const int port = siteHost.mid(colon + 1).toInt(&ok);
        const int defaultPort = url.scheme().toLower() == QLatin1String("https") ? 443 : 80;
        if (!ok || url.port(defaultPort) != port)
            return false;
        siteHost.truncate(colon);
    }
    siteHost = rootHost(siteHost);
    if (siteHost.startsWith(QLatin1Char('[')) && siteHost.endsWith(QLatin1Char(']')))
        siteHost = siteHost.mid(1, siteHost.size() - 2);
    // Written in full, the text names one host; a bare host name its whole
    // domain (a "www." address of ours is still ours).
    if (scheme.isEmpty() ? !hostUnder(host, siteHost) : host != siteHost)
        return false;
    if (sitePath.isEmpty() || sitePath == QLatin1String("/"))
        return true;
    const QString path = url.path().toLower();
    if (sitePath.endsWith(QLatin1Char('/')))
        return path.startsWith(sitePath);
    return path == sitePath || path.startsWith(sitePath + QLatin1Char('/'));
}

bool LinkRules::mayOpen(const QString &address, const QString &roots, const Catalogue &text, bool own)
{
    const QString host = webHost(address);
    if (host.isEmpty())
        return false; // only http and https are handed on
    if (hostApproved(host, roots))
        return true;
    if (text) {
        const QString webBase = text(CatalogueText::WebBase);
        for (int n : {100, 111, 112, 113, 114, 444, 438}) {
            if (onSite(address, text(n), webBase))
                return true;
        }
    }
    return own;
}

} // namespace hchat
