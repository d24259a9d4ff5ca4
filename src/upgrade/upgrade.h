#pragma once

#include "upgrade/upgradelisting.h"

#include <QDate>
#include <QObject>
#include <QString>

#include <functional>

namespace hchat {

class Fetcher;

/// What the upgrade needs from the program around it.
struct UpgradeContext {
    Fetcher *fetcher = nullptr;        ///< used by nobody else while the upgrade runs
    std::function<QString(int)> text;  ///< catalogue texts (0 web base, 476, 560 to 567)
    QString homeFolder;                ///< where the listing "directory" is kept
    QString programFolder;             ///< the program file's folder: "HChat.new" and the script go here
    QString ownPath;                   ///< the running program's file
    QDate versionDate;                 ///< the running program's version
    bool programFolderWritable = true; ///< false for an installed package
    QByteArray publicKey; ///< the vendor's Ed25519 key: with one, only a file it signed is installed
    /// Runs the new program with "--version": empty when it answered. Unset: ExecutableCheck::versionProblem.
    std::function<QString(const QString &)> probe;
};

/// The upgrade from the web site behind the settings dialog's User Profile
/// tab: the listing request when the dialog opens, the upgrade button, the
/// download of the program file with its gauge, and the finishing step that
/// checks the file and writes the replacement script.
///
/// One download at a time. Only a complete, checked download reaches
/// "HChat.new" and arms the replacement; anything else leaves the program
/// and an earlier "HChat.new" as they were and says so in one notice line.
class Upgrade : public QObject
{
    Q_OBJECT
public:
    /// The web site's answers are bounded: the listing is a page of text,
    /// the program a few megabytes.
    static constexpr qint64 maxListingBytes = 64 * 1024;
    static constexpr qint64 maxProgramBytes = 64 * 1024 * 1024;

    explicit Upgrade(UpgradeContext context, QObject *parent = nullptr);
    /// The program's file name (catalogue entry 567) when it is a plain file
    /// name, else empty: then nothing is offered.
    QString programName() const;
    ~Upgrade() override;

    /// Asks the web site for its download listing (the dialog opens).
    void requestListing();
    /// The upgrade button: downloads the posted program file.
    void btnUpgradeClick();
    /// Says so once when the replacement script put the old program back
    /// because the new one failed at its start.
    void reportRestored();
    /// Drops the transfer in progress (the dialog closes); no signal follows.
    void abort();
    bool isBusy() const { return m_stage != Stage::Idle; }

    /// The last listing's entry for the program file.
    const UpgradeListing &listing() const { return m_listing; }
    /// The caption shown instead of an offer when the program folder is read-only.
    static QString packagedCaption();

signals:
    /// The upgrade button's state.
    void buttonChanged(bool visible, bool enabled, const QString &caption);
    /// The gauge `gagDownload`: shown or not, its value and maximum (value never past it).
    void gaugeChanged(bool visible, int value, int maximum);
    /// One line for the transcript: the upgrade did not happen, and why.
    void notice(const QString &line);
    /// The new program and the script are in place: the chat window closes
    /// and starts `script` (the replace-on-exit flag).
    void replaceOnExit(const QString &script);

private:
    enum class Stage { Idle, Listing, Program };

    void HtpRequest(Stage stage, const QUrl &url, const QString &target);
    void onProgress(qint64 received, qint64 total);
    void onFinished();
    void onFailed(const QString &error);
    void PostDates();
    void Finished();
    QString install(const QString &download);
    QString signatureProblem(const QString &download) const;
    void showButton();
    QString downloadPath() const;
    QString scriptPath() const;

    UpgradeContext m_context;
    Stage m_stage = Stage::Idle;
    UpgradeListing m_listing;
    int m_gaugeMax = 0;
    int m_gaugeValue = 0;
    bool m_gaugeVisible = false;
};

} // namespace hchat
