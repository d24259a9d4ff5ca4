#pragma once

#include <QString>

namespace hchat {

/// Every setting of the [Chat] section, held by the session for its lifetime.
/// The configuration reader in app/ fills it and writes it back; the settings
/// dialog edits it in place. Plain values only: no file access here.
struct ChatSettings {
    int formColor = 16777215; ///< background, RGB with red in the low byte
    int fontSize = 10;
    bool fontBold = false;
    int fontColor = 0;
    QString nick;
    int room = 0;
    int room2 = 0;
    int top = 0;
    int left = 0;
    int height = 714;
    int width = 1012;
    int webSize = 234; ///< `Size`: the web viewer pane
    int listWidth = 160;
    int secondWidth = 180; ///< `2ndWidth`
    int icon = 0;
    int zone = 0;
    bool horizontal = false;
    bool stayOnTop = false;
    bool showImage = true;   ///< `Image`
    bool showList = true;    ///< `List`
    bool showSecond = false; ///< `2nd`
    bool showTime = true;    ///< `Time`
    bool autoLog = false;    ///< `Log`
    bool showArrivals = false;
    bool showDepartures = false;
    bool useMyColor = false; ///< `Color`
    bool showLinks = true;   ///< `Links`, check box "Show"
    bool post = true;        ///< `Post`
    bool voiceRead = false;  ///< `Read`
    bool blockPM = false;    ///< `PM` as a boolean
    bool scroll = true;
    bool profileLinks = false; ///< `ProfileURL`
    QString url;               ///< own profile URL, at most 140 characters
    QString web;               ///< address of the web button
    QString profile;
    QString pageSound;
    QString pmSound;
    QString linkSound;
    QString keywordSound;
    QString style;
    int buffer = 1400; ///< presence value `T`

    // Keys of our own (documented in the README).
    QString memberId;     ///< the 8-character member prefix, made on first start
    int serverChoice = 0; ///< 0 "Same as Support Room", 1 and 2 the numbered servers
    QString servers[3] = {QStringLiteral("127.0.0.1:5500"), QStringLiteral("127.0.0.1:5500"),
                          QStringLiteral("127.0.0.1:5500")};
    /// `ServerKey0` to `ServerKey2`: the public key (base64) of the server in
    /// the same place of `servers`, learned for that address; empty when none
    /// is known yet.
    QString serverKeys[3];
    QString proxyHost;
    int proxyPort = 0;
    QString proxyUser;
    QString proxyPassword;
    QString webBase = QStringLiteral("http://127.0.0.1:8080/"); ///< catalogue download base
    QString registeredName; ///< the default offered when asking for a nick
    // Drawing the user's attention while the window is not active: each kind
    // of alert on or off, and the own nick marked in others' lines.
    bool notifyPage = true;    ///< `NotifyPage`
    bool notifyPM = true;      ///< `NotifyPM`
    bool notifyKeyword = true; ///< `NotifyKeyword`
    bool notifyNick = true;    ///< `NotifyNick`
    bool highlightNick = true; ///< `HighlightNick`

    /// Second room watched: `Room2` when "Show 2nd Room" is on, otherwise -1.
    int watchedRoom() const { return showSecond ? room2 : -1; }
};

} // namespace hchat
