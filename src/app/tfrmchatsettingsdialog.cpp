// TfrmChat's properties command: the settings dialog, one at a time.
#include "app/chatservices.h"
#include "app/memberbuttons.h"
#include "app/tfrmchat.h"
#include "app/webbar.h"
#include "chat/sealedlink.h"
#include "platform/webviewerhost.h"
#include "settings/tfrmchatprop.h"
#include "upgrade/upgrade.h"

#include <QProgressBar>
#include <QPushButton>

namespace hchat {

TfrmChatProp *TfrmChat::properties() const
{
    return m_prop;
}

void TfrmChat::openProperties()
{
    if (m_prop) {
        m_prop->show();
        m_prop->raise();
        m_prop->activateWindow();
        return;
    }
    // The dialog's view boxes run the window's own commands; the scroll and
    // profile-link boxes have none and set their flag.
    TfrmChatProp::ViewCommands commands;
    for (int tag = 0; tag < TfrmChatProp::ViewCount; ++tag)
        commands.byTag[tag] = toggle(TfrmChatProp::viewSetting(tag));
    commands.stayOnTop = toggle(&ChatSettings::stayOnTop);
    m_prop = new TfrmChatProp(m_session, commands, this);
    m_prop->askNick = [this](const QString &caption, const QString &prompt, const QString &answer) {
        return askNick ? askNick(caption, prompt, answer) : QString();
    };
    m_prop->serverKey = [this] { return m_services->seal()->serverKey(); };
    m_prop->setServerKey = [this](const QString &key) { m_services->seal()->acceptServerKey(key); };
    m_prop->openAddress = [this](const QString &url) { showInWebPane(url); };
    connect(m_prop, &TfrmChatProp::appearanceChanged, this, &TfrmChat::applyFont);
    connect(m_prop, &TfrmChatProp::closed, this, [this] {
        // A new nick may have made us staff or not; the settings moved.
        webBar->setFavourites(m_session.favourites());
        applyLayout();
        applyFont();
        memberButtons->updateMemberButtons();
    });
    // The dialog's update check, gauge and button; the connections end with
    // the dialog, and so does a download (its closing aborts it).
    if (Upgrade *upgrade = m_services->upgrade()) {
        TfrmChatProp *prop = m_prop;
        connect(prop, &TfrmChatProp::updateCheckRequested, upgrade, &Upgrade::requestListing);
        connect(prop, &TfrmChatProp::downloadAbortRequested, upgrade, &Upgrade::abort);
        connect(prop->btnUpgrade, &QPushButton::clicked, upgrade, &Upgrade::btnUpgradeClick);
        connect(upgrade, &Upgrade::buttonChanged, prop,
                [prop](bool visible, bool enabled, const QString &caption) {
                    prop->btnUpgrade->setText(caption);
                    prop->btnUpgrade->setEnabled(enabled);
                    prop->btnUpgrade->setVisible(visible);
                });
        connect(upgrade, &Upgrade::gaugeChanged, prop, [prop](bool visible, int value, int maximum) {
            prop->gagDownload->setRange(0, maximum);
            prop->gagDownload->setValue(value);
            prop->gagDownload->setVisible(visible);
        });
        // The new program is in place: the dialog closes, the window follows.
        connect(upgrade, &Upgrade::replaceOnExit, prop, &QWidget::close);
    }
    m_prop->FormCreate();
    m_prop->show();
}

} // namespace hchat
