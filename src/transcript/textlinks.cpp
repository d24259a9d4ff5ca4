#include "transcript/textlinks.h"

#include <QTextCharFormat>
#include <QTextCursor>
#include <QUrl>

namespace hchat {

namespace {

bool endsAddress(QChar c)
{
    return c.isSpace() || c == u'"' || c == u'<' || c == u'>' || c == u'\'' ||
           c.category() == QChar::Other_Control;
}

// The length of the address starting at `start`, trailing punctuation left out.
qsizetype addressLength(const QString &text, qsizetype start)
{
    qsizetype end = start;
    while (end < text.size() && !endsAddress(text.at(end)))
        ++end;
    // "(see http://x/y)." ends before ")."; "http://x/a_(b)" keeps its bracket.
    static const QString trailing = QStringLiteral(".,;:!?");
    for (;;) {
        if (end <= start)
            break;
        const QChar last = text.at(end - 1);
        if (trailing.contains(last)) {
            --end;
            continue;
        }
        const QChar open = last == u')' ? u'(' : last == u']' ? u'[' : last == u'}' ? u'{' : QChar();
        if (!open.isNull()) {
            const QStringView address = QStringView(text).mid(start, end - start);
            if (address.count(open) < address.count(last)) {
                --end;
                continue;
            }
        }
        break;
    }
    return end - start;
}

} // namespace

QList<TextLinks::Link> TextLinks::find(const QString &text)
{
    QList<Link> links;
    // Most lines hold no address at all: one quick look settles them.
    if (!text.contains(QLatin1String("http"), Qt::CaseInsensitive))
        return links;
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype at = text.indexOf(QLatin1String("http"), from, Qt::CaseInsensitive);
        if (at < 0)
            break;
        // Only at the start of a word: "xhttp://" is not an address.
        if (at > 0 && text.at(at - 1).isLetterOrNumber()) {
            from = at + 4;
            continue;
        }
        const qsizetype length = addressLength(text, at);
        const QString candidate = text.mid(at, length);
        const QUrl url(candidate);
        const QString scheme = url.scheme().toLower();
        const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
        // "http://" alone, or with a broken host, is not something to open.
        if (web && url.isValid() && !url.host().isEmpty() &&
            candidate.mid(scheme.size(), 3) == QLatin1String("://")) {
            links.append({int(at), int(length), candidate});
            from = at + length;
        } else {
            from = at + 4;
        }
    }
    return links;
}

void TextLinks::insert(QTextCursor &cursor, const QString &text, const QTextCharFormat &format)
{
    const QList<Link> links = find(text);
    int done = 0;
    for (const Link &link : links) {
        if (link.start > done)
            cursor.insertText(text.mid(done, link.start - done), format);
        QTextCharFormat anchor = format;
        anchor.setAnchor(true);
        anchor.setAnchorHref(link.url);
        anchor.setFontUnderline(true);
        cursor.insertText(text.mid(link.start, link.length), anchor);
        done = link.start + link.length;
    }
    if (done < text.size())
        cursor.insertText(done == 0 ? text : text.mid(done), format);
}

} // namespace hchat
