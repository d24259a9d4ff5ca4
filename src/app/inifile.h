#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace hchat {

/// A small INI reader and writer with the rules of the classic profile
/// files: sections in brackets, key=value lines, case-insensitive keys,
/// CR LF or LF line ends, ';' comments. Unreadable lines are skipped, so a
/// damaged file still yields everything that can be read.
class IniFile
{
public:
    /// Reads the file; a missing or unreadable file leaves the object empty.
    bool load(const QString &path);
    /// Parses text already read (UTF-8, or Latin-1 when not valid UTF-8).
    void parse(const QByteArray &bytes);
    /// Writes all sections atomically: a crash or full disk never leaves a
    /// truncated file behind. Returns false when the file could not be written.
    bool save(const QString &path, QString *error = nullptr) const;

    std::optional<QString> value(const QString &section, const QString &key) const;
    void setValue(const QString &section, const QString &key, const QString &value);
    QByteArray toBytes() const;

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        QList<Entry> entries;
    };
    Section *findSection(const QString &name);
    const Section *findSection(const QString &name) const;

    QList<Section> m_sections;
};

} // namespace hchat
