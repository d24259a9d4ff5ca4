#include "catalogue/catalogue.h"

namespace hchat {

Catalogue::Catalogue(QStringList plainLines)
{
    setLines(std::move(plainLines));
}

void Catalogue::setLines(QStringList plainLines)
{
    m_lines = std::move(plainLines);
    m_loaded = true;
}

QString Catalogue::rawText(int n) const
{
    if (n < 0 || n >= m_lines.size())
        return {};
    const QString &line = m_lines.at(n);
    const qsizetype comma = line.indexOf(u',');
    return comma < 0 ? QString() : line.mid(comma + 1);
}

QString Catalogue::Lookup(int n) const
{
    // Minimal reading; reference expansion and the prefix rule come with the
    // catalogue proper.
    if (!m_loaded || n < 0 || n >= m_lines.size())
        return {};
    return rawText(n).left(255);
}

QString Catalogue::LookupPath(int n) const
{
    return m_programFolder + Lookup(n);
}

QByteArray Catalogue::LookupZ(int n) const
{
    QByteArray z = Lookup(n).toLocal8Bit();
    z.append('\0');
    return z;
}

} // namespace hchat
