#pragma once

#include <QList>
#include <QString>

class QTextCharFormat;
class QTextCursor;

namespace hchat {

/// The web addresses in a shown line that the reader can click: http and
/// https only, so a line can never make the window run anything else.
class TextLinks
{
public:
    struct Link {
        int start = 0;
        int length = 0;
        QString url;
        bool operator==(const Link &) const = default;
    };

    /// The http and https addresses in text, in order. An address ends at a
    /// blank, a quote or an angle bracket; punctuation that ends a sentence
    /// is not part of it, nor a closing bracket it did not open.
    static QList<Link> find(const QString &text);

    /// Inserts text at the cursor in `format`, its addresses as anchors
    /// (underlined, the address as the anchor's target).
    static void insert(QTextCursor &cursor, const QString &text, const QTextCharFormat &format);
};

} // namespace hchat
