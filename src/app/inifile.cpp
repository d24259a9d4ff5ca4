#include "app/inifile.h"

#include <QStringDecoder>

namespace hchat {

namespace {

QString decode(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    // Files written by older Windows builds are in the ANSI code page.
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

} // namespace

AtomicFile::ReadResult IniFile::load(const QString &path, QString *error)
{
    m_sections.clear();
    m_sectionIndex.clear();
    // Read whole or not at all: a settings file cut short and saved again
    // would lose the user's own section.
    QByteArray bytes;
    const AtomicFile::ReadResult result = AtomicFile::read(path, &bytes, error);
    if (result != AtomicFile::ReadResult::Read)
        return result;
    const QString text = decode(bytes);
    qsizetype current = -1;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed(); // also drops the CR of CR LF
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype end = line.indexOf(u']');
            if (end >= 0)
                current = section(line.mid(1, end - 1).trimmed().toString());
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (current < 0 || eq <= 0)
            continue;
        // The last line wins, as with the platform's own profile reader that
        // a later write would have overwritten.
        put(m_sections[current], line.left(eq).trimmed().toString(), line.mid(eq + 1).trimmed().toString());
    }
    return result;
}

qsizetype IniFile::findSection(const QString &name) const
{
    // Names are looked up case-blind, through an index: a large file must
    // not take time by the square of its lines.
    return m_sectionIndex.value(name.toCaseFolded(), -1);
}

qsizetype IniFile::section(const QString &name)
{
    qsizetype at = findSection(name);
    if (at < 0) {
        m_sections.append({name, {}, {}});
        at = m_sections.size() - 1;
        m_sectionIndex.insert(name.toCaseFolded(), at);
    }
    return at;
}

void IniFile::put(Section &section, const QString &key, const QString &value)
{
    const QString folded = key.toCaseFolded();
    if (const auto it = section.index.constFind(folded); it != section.index.constEnd()) {
        section.entries[*it].value = value;
        return;
    }
    section.entries.append({key, value});
    section.index.insert(folded, section.entries.size() - 1);
}

std::optional<QString> IniFile::value(const QString &section, const QString &key) const
{
    const qsizetype at = findSection(section);
    if (at < 0)
        return std::nullopt;
    const Section &s = m_sections.at(at);
    if (const auto it = s.index.constFind(key.toCaseFolded()); it != s.index.constEnd())
        return s.entries.at(*it).value;
    return std::nullopt;
}

void IniFile::setValue(const QString &section, const QString &key, const QString &value)
{
    // Values are single lines: a line break would start a key of its own.
    QString clean = value;
    clean.replace(u'\r', u' ').replace(u'\n', u' ');
    put(m_sections[this->section(section)], key, clean);
}

bool IniFile::save(const QString &path, QString *error, QFileDevice::Permissions permissions) const
{
    QString out;
    for (const Section &s : m_sections) {
        out += QLatin1Char('[') + s.name + QLatin1String("]\n");
        for (const Entry &e : s.entries)
            out += e.key + QLatin1Char('=') + e.value + QLatin1Char('\n');
        out += QLatin1Char('\n');
    }
    return AtomicFile::save(path, out.toUtf8(), error, permissions);
}

} // namespace hchat
