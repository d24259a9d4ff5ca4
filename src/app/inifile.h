#pragma once

#include "protocol/atomicfile.h"

#include <QHash>
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
    /// Reads the file whole, whatever its size (UTF-8, or Latin-1 when not
    /// valid UTF-8). Anything but Read leaves the object empty; Failed (with
    /// `error`) means the file is there but was not read whole, so it must
    /// not be saved over.
    AtomicFile::ReadResult load(const QString &path, QString *error = nullptr);
    /// Writes all sections atomically: a crash or full disk never leaves a
    /// truncated file behind. Returns false when the file could not be
    /// written; the old file is kept then.
    bool save(const QString &path, QString *error = nullptr, QFileDevice::Permissions permissions = {}) const;

    std::optional<QString> value(const QString &section, const QString &key) const;
    void setValue(const QString &section, const QString &key, const QString &value);

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        QList<Entry> entries;
        QHash<QString, qsizetype> index; ///< case-folded key -> entry
    };
    /// The section's place in m_sections; -1 when absent.
    qsizetype findSection(const QString &name) const;
    /// The same, adding the section when absent.
    qsizetype section(const QString &name);
    static void put(Section &section, const QString &key, const QString &value);

    QList<Section> m_sections;
    QHash<QString, qsizetype> m_sectionIndex; ///< case-folded name -> section
};

} // namespace hchat
