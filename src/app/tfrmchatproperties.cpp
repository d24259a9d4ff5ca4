// TfrmChat's properties command: the settings dialog, one at a time.
#include "app/chatservices.h"
#include "app/tfrmchat.h"
#include "platform/webviewerhost.h"
#include "settings/tfrmchatprop.h"

#include <QAction>

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
    // The dialog's view boxes run the window's own commands, by tag; the
    // scroll and profile-link boxes (10, 11) have no command and set their flag.
    TfrmChatProp::ViewCommands commands;
    commands.byTag = {mnuPUChatImage,  mnuPUChatList, mnuPUChat2nd,  mnuPUChatTime, mnuPUChatArrive,
                      mnuPUChatDepart, mnuPUChatLog,  mnuPUChatRead, mnuPUChatPM,   mnuPUChatColor,
                      nullptr,         nullptr,       mnuPUChatHorz};
    commands.stayOnTop = mnuPUChatTop;
    m_prop = new TfrmChatProp(m_session, commands, this);
    m_prop->askNick = [this](const QString &caption, const QString &prompt, const QString &answer) {
        return askNick ? askNick(caption, prompt, answer) : QString();
    };
    m_prop->openAddress = [this](const QString &url) {
        if (!m_session.settings.showImage) {
            m_session.settings.showImage = true;
            applyLayout();
        }
        m_services->web()->FindAddress(url);
    };
    connect(m_prop, &TfrmChatProp::appearanceChanged, this, &TfrmChat::applyFont);
    connect(m_prop, &TfrmChatProp::closed, this, [this] {
        // A new nick may have made us staff or not; the settings moved.
        applyLayout();
        applyFont();
        updateMemberButtons();
    });
    emit propertiesOpened(m_prop);
    m_prop->FormCreate();
    m_prop->show();
}

} // namespace hchat
