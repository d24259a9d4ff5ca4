#pragma once

#include "transcript/ownlinestate.h"

#include <QString>

class QTextDocument;

namespace hchat {

/// The marks after the user's own lines in a transcript document: a grey
/// "(sending)" while a line is on its way, a red "(not delivered: reason)"
/// when it never arrived, nothing once the server took it. A line is known by
/// its number, kept in its last block.
class OwnLineMarks
{
public:
    /// The mark's text for a state; empty for a delivered line.
    static QString text(OwnLineState state, const QString &reason);

    /// Makes the document's last block own line `number` and marks it
    /// pending; the line takes the last `blocks` blocks.
    static void markLast(QTextDocument *doc, quint32 number, int blocks = 1);
    /// Changes the mark of own line `number`; false when the line is not in
    /// the document (trimmed away, or never shown there).
    static bool mark(QTextDocument *doc, quint32 number, OwnLineState state, const QString &reason);
    /// Gives the document's last block the server's line number `line`.
    static void numberLast(QTextDocument *doc, quint32 line);
    /// Own line `number` is the server's line `line`: it moves below the
    /// lines after it with a lower number. False when it did not move.
    static bool place(QTextDocument *doc, quint32 number, quint32 line);
    /// The mark now after own line `number`; empty when none or not found.
    static QString markOf(const QTextDocument *doc, quint32 number);
};

} // namespace hchat
