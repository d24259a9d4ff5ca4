#pragma once

#include <QString>

#include <functional>

namespace hchat {

/// Upper-cases the first letter of " i ", " halvex " and the staff first
/// names (each found after a blank), every occurrence.
QString Groom(const QString &text);

/// Turns line breaks into "||", the way they travel inside a record.
QString GroomMessage(const QString &text);

/// What GroomNick needs from the window.
struct GroomNickInput {
    bool staffMode = false;
    QString storedName;                                               ///< offered as the default answer
    QString registeredName;                                           ///< the registered user name
    std::function<QString(int)> text = [](int) { return QString(); }; ///< catalogue
    /// Asks the user for a nick (caption, prompt, default); empty when cancelled.
    std::function<QString(const QString &, const QString &, const QString &)> ask;
};

/// Cleans the user's nick: leading characters that are neither letters nor
/// "@" go (not in staff mode), reserved names are cleared, and an empty nick
/// is replaced or asked for.
QString GroomNick(const QString &nick, const GroomNickInput &in);

} // namespace hchat
