#pragma once

#include "transcript/shownline.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

namespace hchat {

class ChatLogger;
class Speaker;
class SoundPlayer;
class WebViewer;

/// What the renderer reads from the chat window's state. The renderer sits
/// below the chat layer, so the window hands it providers instead of the
/// session itself. Every provider has a harmless default; services may stay
/// null (nothing is logged, spoken, played or opened).
struct TranscriptContext {
    std::function<bool()> showTimeStamps = [] { return true; }; ///< "Show Time Stamps"
    std::function<bool()> extendedStamp = [] { return false; }; ///< stamp with text 464
    std::function<bool()> lineScrolling = [] { return true; };  ///< INI `Scroll`
    std::function<int()> fontSize = [] { return 10; };          ///< INI `FontSize`
    std::function<bool()> autoLog = [] { return false; };       ///< "Auto Logging"
    std::function<bool()> showLinks = [] { return true; };      ///< check box "Show"
    std::function<bool()> voiceRead = [] { return false; };     ///< "Voice Read"
    std::function<bool()> staffMode = [] { return false; };
    std::function<int()> quietCounter = [] { return 0; }; ///< bulk lists arriving
    std::function<QStringList()> keywords = [] { return QStringList(); };
    std::function<QString()> keywordSound = [] { return QString(); };  ///< INI `Keyword`
    std::function<QString()> linkSound = [] { return QString(); };     ///< INI `Link`
    std::function<QString()> roomHosts = [] { return QString(); };     ///< current room's `V`
    std::function<int()> receiveBacklog = [] { return 0; };            ///< unparsed inbound text
    std::function<QString()> programFolder = [] { return QString(); }; ///< trailing '/'
    std::function<QString()> ownNick = [] { return QString(); };
    /// Others' lines that name the user mark the nick and sound like a
    /// keyword. (They are told to lineShown either way.)
    std::function<bool()> highlightNick = [] { return false; };
    /// Told of every line shown (for the unread count and the alerts).
    std::function<void(const ShownLine &)> lineShown;
    /// Catalogue text n; empty when unknown.
    std::function<QString(int)> text = [](int) { return QString(); };
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    /// Formats a time with a catalogue format ("hh:nn:ss"); empty means the
    /// catalogue's FormatDateTime.
    std::function<QString(const QDateTime &, const QString &)> formatTime;

    Speaker *speaker = nullptr;
    SoundPlayer *sound = nullptr;
    WebViewer *web = nullptr;
    ChatLogger *log = nullptr;
};

} // namespace hchat
