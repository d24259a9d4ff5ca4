#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QMenu;
class QPushButton;
class QToolButton;

namespace hchat {

class ChatSession;

/// The bar over the entry: the room choosers `cmbRoom1` and `cmbRoom2` with
/// `btnSwap` between them, the link boxes `chkShow` and `chkPost`, and the
/// buttons for the room's web page, remote support, the settings and the
/// view menu. Room changes go to the session's room handling, the boxes set
/// their settings; the buttons go out as signals.
class RoomBar : public QWidget
{
    Q_OBJECT
public:
    RoomBar(ChatSession &session, QWidget *parent);

    /// Fills both choosers from the room list, the current rooms chosen.
    void fillRoomChoosers();
    /// The link boxes from the settings; the second chooser only with the
    /// second room shown.
    void showSettings();
    /// The first chooser's tip: the server key's fingerprint once known.
    void showFingerprint(const QString &fingerprint);
    /// The view menu behind `btnMenu`.
    void setMenu(QMenu *menu);

signals:
    /// The Web button, with the room's address (or the configured one).
    void webRequested(const QString &url);
    void remoteSupportRequested();
    void propertiesRequested();
    /// A choice made: the focus goes back to the entry.
    void done();

private:
    void selectRoomChoosers();

    ChatSession &m_session;
    QString m_roomUrl; ///< the current room's own web address
    QComboBox *cmbRoom1 = nullptr;
    QComboBox *cmbRoom2 = nullptr;
    QCheckBox *chkShow = nullptr;
    QCheckBox *chkPost = nullptr;
    QPushButton *btnWeb = nullptr;
    QToolButton *btnMenu = nullptr;
};

} // namespace hchat
