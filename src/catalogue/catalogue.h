#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace hchat {

/// The numbered message catalogue: texts, file names, formats and addresses
/// the program shows, loaded from "chat.dll". A missing catalogue or entry
/// reads as the empty text.
///
/// Each line reads "label,text". Lookup drops the label, drops a short
/// numeric prefix ending in "=" (the "=" at position 2, 3 or 4), expands
/// "[n]" references on the new text until none is left, and cuts the result
/// to 255 characters.
class Catalogue
{
public:
    /// Longest text the catalogue hands out.
    static constexpr int MaxText = 255;

    Catalogue() = default;
    explicit Catalogue(QStringList plainLines); ///< for tests: lines in "label,text" form

    /// The expanded text of entry n, at most 255 characters; empty when absent.
    QString Lookup(int n) const;
    /// The program folder followed by Lookup(n).
    QString LookupPath(int n) const;
    /// The program folder followed by Lookup(n) when that is a plain file
    /// name, otherwise by `shipped`: a catalogue fetched over the network
    /// must not name files outside the program folder.
    QString LookupFile(int n, const QString &shipped) const;
    /// A bare file name: not empty, no folder part, no drive, not "." or
    /// "..", no control characters, no blanks at either end.
    static bool isPlainFileName(const QString &name);
    /// Lookup(n) as a zero-terminated text for platform calls.
    QByteArray LookupZ(int n) const;

    /// Sets the folder LookupPath puts in front; a missing trailing '/' is added.
    void setProgramFolder(const QString &folder);
    QString programFolder() const { return m_programFolder; }
    bool isLoaded() const { return m_loaded; }
    int count() const { return int(m_lines.size()); }

    /// Replaces the catalogue with plain "label,text" lines.
    void setLines(QStringList plainLines);
    /// Back to the empty, unloaded catalogue (every lookup reads empty).
    void clear();

    /// Loads a stored catalogue file (see CatalogueCodec). Returns false and
    /// leaves the catalogue as it was when the file is missing, unreadable or
    /// not a catalogue.
    bool loadFile(const QString &path);

private:
    QString lineText(int n) const;

    QStringList m_lines; // plain (unscrambled) lines
    QString m_programFolder;
    bool m_loaded = false;
};

} // namespace hchat
