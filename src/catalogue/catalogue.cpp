#include "catalogue/catalogue.h"

#include "catalogue/cataloguecodec.h"
#include "catalogue/catalogueloader.h"
#include "protocol/codec.h"

#include <QFile>

namespace hchat {

namespace {

// A well-formed catalogue needs a handful of expansions per entry. Entries
// that refer to each other without growing ("1,[2]" and "2,[1]") would loop
// for ever; past this many steps the entry is taken as broken.
constexpr int MaxExpansions = 1000;

// Stored catalogues are small (a few hundred lines); anything far larger is
// not one of ours and is not worth holding in memory.
constexpr qint64 MaxFileSize = 4 * 1024 * 1024;

// Keeps a text within the limit. A reference the cut runs through goes
// whole: its "[" and digits alone are no text, and would never be expanded.
QString cut(const QString &text)
{
    if (text.size() <= Catalogue::MaxText)
        return text;
    const qsizetype open = text.lastIndexOf(u'[', Catalogue::MaxText - 1);
    const qsizetype close = text.lastIndexOf(u']', Catalogue::MaxText - 1);
    if (open > close && text.indexOf(u']', Catalogue::MaxText) >= 0)
        return text.left(open);
    return text.left(Catalogue::MaxText);
}

QString dropLabel(const QString &line)
{
    const qsizetype comma = line.indexOf(u',');
    return comma < 0 ? line : line.mid(comma + 1);
}

} // namespace

Catalogue::Catalogue(QStringList plainLines)
{
    setLines(std::move(plainLines));
}

void Catalogue::setLines(QStringList plainLines)
{
    m_lines = std::move(plainLines);
    m_loaded = true;
}

void Catalogue::clear()
{
    m_lines.clear();
    m_loaded = false;
}

void Catalogue::setProgramFolder(const QString &folder)
{
    m_programFolder = CatalogueLoader::withSlash(folder);
}

QString Catalogue::lineText(int n) const
{
    // A reference to a line we do not have reads as nothing rather than as
    // whatever lies past the list.
    if (n < 0 || n >= m_lines.size())
        return {};
    return dropLabel(m_lines.at(n));
}

QString Catalogue::Lookup(int n) const
{
    if (!m_loaded || n < 0 || n >= m_lines.size())
        return {};
    QString text = dropLabel(cut(m_lines.at(n)));

    const qsizetype eq = text.indexOf(u'=');
    if (eq >= 1 && eq <= 3)
        text.remove(0, eq + 1);

    int steps = 0;
    while (text.contains(u']')) {
        const qsizetype open = text.indexOf(u'[');
        const qsizetype close = text.indexOf(u']');
        if (open < 0 || open + 1 >= close)
            return {}; // no number between the brackets, or "]" first
        if (++steps > MaxExpansions)
            return {};
        const int ref = toIntOrZero(QStringView(text).mid(open + 1, close - open - 1));
        // Cutting at every step keeps a growing self-reference short: its
        // next "]" soon falls beyond the cut and the loop ends.
        text = cut(text.left(open) + lineText(ref) + text.mid(close + 1));
    }
    return text;
}

QString Catalogue::LookupPath(int n) const
{
    return m_programFolder + Lookup(n);
}

QString Catalogue::LookupFile(int n, const QString &shipped) const
{
    const QString name = Lookup(n);
    return m_programFolder + (isPlainFileName(name) ? name : shipped);
}

bool Catalogue::isPlainFileName(const QString &name)
{
    if (name.isEmpty() || name == u'.' || name == QLatin1String("..") || name.trimmed() != name)
        return false;
    for (const QChar c : name) {
        // '\\' and ':' are folder and drive marks on Windows, where the same
        // catalogue is read.
        if (c == u'/' || c == u'\\' || c == u':' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

QByteArray Catalogue::LookupZ(int n) const
{
    QByteArray z = Lookup(n).toLocal8Bit();
    z.append('\0');
    return z;
}

bool Catalogue::loadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileSize)
        return false;
    QStringList lines;
    if (!CatalogueCodec::decodeFile(file.read(MaxFileSize), &lines))
        return false;
    setLines(std::move(lines));
    return true;
}

} // namespace hchat
