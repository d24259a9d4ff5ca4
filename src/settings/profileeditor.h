#pragma once

#include "protocol/wirelimits.h"

#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace hchat {

class ChatSession;

/// The rules of the settings dialog's "User Profile" tab, free of widgets:
/// what the tab shows when it opens, and what closing it stores and sends.
/// The dialog copies its controls into Values and back.
class ProfileEditor
{
public:
    /// The four notify sounds, in the order of the tab: Page, PM, Links, Keyword.
    enum Sound { PageSound, PMSound, LinkSound, KeywordSound, SoundCount };

    static constexpr int NickLimit = WireLimits::maxNickChars;
    static constexpr int SoundLimit = 80;
    static constexpr int UrlLimit = 140;

    /// What the tab's text controls hold.
    struct Values {
        QString nick;
        int icon = 0;
        std::array<QString, SoundCount> sounds;
        std::array<bool, SoundCount> soundEdited{}; ///< untouched boxes keep the stored file
        QString keywords;                           ///< memo text, one line per keyword
        QStringList favourites;
        QString url;
        QString profile; ///< memo text, lines broken by "\n"
        int zone = -1;   ///< item index, -1 for none
    };

    explicit ProfileEditor(ChatSession &session);

    /// The values the tab opens with (steps 1 to 3 of opening).
    Values fill() const;

    /// Closing steps 1 to 5: stores texts, sounds, zone and keywords; a new
    /// nick leaves the chat (kind 51); a new nick or icon takes the new
    /// identity (presence); then the profile record (kind 6) when it changed
    /// or the identity did. `askNick` is asked when the nick cleans to
    /// nothing (caption, prompt, default answer).
    void close(const Values &values, bool profileChanged,
               const std::function<QString(const QString &, const QString &, const QString &)> &askNick);

    // Tables and small rules of the tab.
    /// "Eastern" (0) to "Atlantic" (23), the `Zone` setting's items.
    static const QStringList &zoneNames();
    /// The five sizes of `grpSize`, in item order.
    static const std::array<int, 5> &fontSizes();
    /// The size item shown for a stored size: 10, 12, 14 and 18 have their
    /// own, anything else shows the first (8).
    static int sizeItem(int storedSize);
    /// Highest number of the icon list: 64 for staff, 63 for a room
    /// administrator, 57 otherwise; higher when the current icon is.
    static int highestIcon(bool staff, bool administrator, int currentIcon);
    /// A stored text as the tab shows it: through the record codec, so "||"
    /// breaks lines.
    static QString shownText(const QString &stored);
    /// Adds a favourite unless it is empty or already there; true when added.
    static bool addFavourite(QStringList &favourites, const QString &text);
    /// Keyword lines from the memo: each of "word", "word|sound" and
    /// "word=sound", blanks around the word and the separator dropped, empty
    /// lines left out.
    static QStringList keywordLines(const QString &memo);
    /// A sound file as its box shows it: relative to the program folder when
    /// inside it, which keeps it within the 80 characters.
    static QString shownSound(const QString &path, const QString &programFolder);

private:
    ChatSession &m_session;
};

} // namespace hchat
