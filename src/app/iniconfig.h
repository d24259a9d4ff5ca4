#pragma once

#include "app/startoptions.h"
#include "chat/chatsettings.h"

#include <QString>

class QDateTime;
class QTimeZone;

namespace hchat {

class IniFile;

/// Reads and writes the configuration file ChatLog/Halvex.ini, section
/// [Chat]. Every key has its default and its reading rule here; a missing,
/// damaged or garbled value reads as its default.
class IniConfig
{
public:
    /// folders: where the file is kept (configFolder) and where the sounds
    /// are (the program folder's own Media/, else the installed one). Folders
    /// left empty are those of StartOptions::inFolder(programFolder).
    /// zoneBias is the system's time-zone bias in minutes (UTC minus local),
    /// for the `Zone` default.
    IniConfig(StartOptions folders, int zoneBias);

    QString iniPath() const { return m_folders.configFolder + QStringLiteral("Halvex.ini"); }
    QString logFolder() const { return m_folders.logFolder; }

    /// Creates the settings and log folders when missing (owner-only) and
    /// reads every key into settings. False (with the reason) when the file is there but could not
    /// be read whole: the defaults are used then, and WriteIniFile() leaves
    /// the file alone.
    bool ReadIniFile(ChatSettings &settings, QString *error = nullptr);
    /// Writes every key atomically, owner-only. Returns false (with the
    /// reason) on failure; the old file is kept then.
    bool WriteIniFile(const ChatSettings &settings, QString *error = nullptr) const;

    void read(const IniFile &ini, ChatSettings &settings) const;
    void write(const ChatSettings &settings, IniFile &ini) const;

    /// The index into the 24-entry zone list for a bias in minutes.
    static int zoneFromBias(int bias);
    /// A zone's standard bias at a moment, in minutes (UTC minus local),
    /// without daylight saving: the zone list names zones, not seasons.
    static int zoneBias(const QTimeZone &zone, const QDateTime &at);
    /// The system zone's standard bias now.
    static int systemZoneBias();
    /// The `Web` rule: the web button's address must be ours.
    static QString applyWebRule(const QString &web, const QString &text504);

private:
    QString soundFromIni(const QString &value) const;
    QString soundToIni(const QString &path) const;
    QString defaultSound(const char *name) const;

    StartOptions m_folders;
    int m_zoneBias;
    QString m_unreadable; ///< why the file could not be read at start; empty when it was
};

} // namespace hchat
