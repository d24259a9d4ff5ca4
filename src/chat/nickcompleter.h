#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace hchat {

/// Tab in the entry: completes the nick whose start is typed before the
/// caret from the members present; Tab again right away offers the next one.
/// A nick completed at the start of the line is followed by ":  ", the
/// separator the room uses between a nick and what is said to them.
class NickCompleter
{
public:
    struct Result {
        QString text; ///< the whole entry text after completing
        int caret = 0;
    };

    /// Tab pressed in `text` with the caret at `caret`. `nicks` are the
    /// members present; `ownNick` is never offered. Nothing when the caret
    /// follows no word or no nick starts with it: Tab keeps its usual job then.
    std::optional<Result> complete(const QString &text, int caret, const QStringList &nicks,
                                   const QString &ownNick);

    /// Any other key: the next Tab starts from what is typed.
    void reset() { m_last.reset(); }

    /// What follows a nick completed at the start of a line.
    static QString separator() { return QStringLiteral(":  "); }

private:
    struct Cycle {
        QString text; ///< the entry as this completion left it
        int caret = 0;
        int start = 0; ///< where the completed word begins
        QStringList candidates;
        int index = 0;
    };
    Result apply(Cycle &cycle, const QString &before, const QString &after) const;

    std::optional<Cycle> m_last;
};

} // namespace hchat
