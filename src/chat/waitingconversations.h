#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace hchat {

/// Private conversations waiting for a window. Others choose how many
/// conversations they start with us, so only a few windows open by
/// themselves; the rest wait here until the user opens them. What waits is
/// bounded too: at most `maxConversations`, each with its last `maxLines`
/// lines.
class WaitingConversations
{
public:
    static constexpr int maxOpenWindows = 10;
    static constexpr int maxConversations = 100;
    static constexpr int maxLines = 50;

    struct Line {
        QString text;
        int color = 0;
    };
    struct Conversation {
        QString key; ///< PrivateMessages::correspondentKey()
        QString nick;
        QString id;
        QList<Line> lines;
        int dropped = 0; ///< earlier lines not kept
    };

    enum class Outcome {
        Open,    ///< open a window for it now
        Waiting, ///< a new conversation waits: tell the user
        Added,   ///< one more line of a conversation that waits already
        Dropped  ///< too many wait already: not kept
    };

    /// Where a line from a correspondent without a window goes, given how
    /// many windows are open. A conversation that waits keeps waiting (its
    /// window opens on demand, not behind the user's back).
    Outcome offer(const QString &key, const QString &nick, const QString &id, const Line &line,
                  int openWindows);

    /// Takes a conversation out, to show in its window; none when it does not wait.
    std::optional<Conversation> take(const QString &key);
    /// Takes the conversation that has waited longest; none when nothing waits.
    std::optional<Conversation> takeOldest();
    int count() const { return int(m_waiting.size()); }

private:
    qsizetype indexOf(const QString &key) const;

    QList<Conversation> m_waiting; // oldest first
};

} // namespace hchat
