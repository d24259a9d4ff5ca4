#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace hchat {

/// The numbered message catalogue: texts, file names, formats and addresses
/// the program shows, loaded from "chat.dll". A missing catalogue or entry
/// reads as the empty text.
class Catalogue
{
public:
    Catalogue() = default;
    explicit Catalogue(QStringList plainLines); ///< for tests: lines in "label,text" form

    /// The expanded text of entry n, at most 255 characters; empty when absent.
    QString Lookup(int n) const;
    /// The program folder followed by Lookup(n).
    QString LookupPath(int n) const;
    /// Lookup(n) as a zero-terminated text for platform calls.
    QByteArray LookupZ(int n) const;

    void setProgramFolder(const QString &folder) { m_programFolder = folder; }
    QString programFolder() const { return m_programFolder; }
    bool isLoaded() const { return m_loaded; }
    int count() const { return int(m_lines.size()); }

    /// Replaces the catalogue with plain "label,text" lines.
    void setLines(QStringList plainLines);

private:
    QString rawText(int n) const;

    QStringList m_lines; // plain (unscrambled) lines
    QString m_programFolder;
    bool m_loaded = false;
};

} // namespace hchat
