#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>

namespace hchat {

/// Which member key holds each member ID: the key of the ID's first sealed
/// presence. Kept in `memberkeys.dat` in the data folder (owner-only, written
/// whole), in memory alone without one. A damaged file is never written
/// over: the bindings it holds protect members, so the server keeps them in
/// memory and refuses to bind more until someone looks at it.
class MemberKeys
{
public:
    static constexpr const char *fileName = "memberkeys.dat";
    /// Bindings kept at most: each costs a few dozen bytes and a line of the file.
    static constexpr qsizetype maxBindings = 200000;

    /// `dir` empty: nothing is kept on disk. Reads the file at once.
    explicit MemberKeys(const QString &dir = {});

    /// The key bound to `id`, empty when none is.
    QByteArray keyOf(const QString &id) const { return m_keys.value(id); }
    /// Binds `id` to `key` (false when that can't be kept); written by save().
    bool bind(const QString &id, const QByteArray &key);
    /// Writes the bindings when any were added since the last write.
    void save();

    /// Where damaged files and failed writes are told.
    std::function<void(const QString &)> log = [](const QString &) {};
    QString loadError() const { return m_loadError; }
    /// The file is there but could not be read at all: no binding is known.
    bool unreadable() const { return m_unreadable; }

private:
    QString m_path;
    QHash<QString, QByteArray> m_keys;
    bool m_changed = false;
    bool m_damaged = false;
    bool m_unreadable = false;
    QString m_loadError;
    QString m_saveError; ///< told once, not at every try
};

} // namespace hchat
