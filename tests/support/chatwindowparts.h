#pragma once

// The chat window's parts, found by the names they are known by.
#include "app/sealbadge.h"
#include "platform/desktopnotifier.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#define HCHAT_PART(Type, name)                                                                               \
    inline Type *name(const QObject &w)                                                                      \
    {                                                                                                        \
        return w.findChild<Type *>(QStringLiteral(#name));                                                   \
    }

HCHAT_PART(QPlainTextEdit, memText)
HCHAT_PART(QTextEdit, memRich)
HCHAT_PART(QTextEdit, memRich2)
HCHAT_PART(QTimer, tmrChat)
HCHAT_PART(QListView, lstMembers)
HCHAT_PART(QWidget, pnlWeb)
HCHAT_PART(QWidget, pnlRight)
HCHAT_PART(QLabel, lblStatus)
HCHAT_PART(QLabel, lblRoom1)
HCHAT_PART(QLabel, lblRoom2)
HCHAT_PART(QLabel, lblCaption)
HCHAT_PART(QComboBox, cmbRoom1)
HCHAT_PART(QComboBox, cmbRoom2)
HCHAT_PART(QSplitter, splMain)
HCHAT_PART(QSplitter, splChat)
HCHAT_PART(QToolButton, btnSwap)
HCHAT_PART(QPushButton, btnIgnore)
HCHAT_PART(QPushButton, btnWeb)
HCHAT_PART(QPushButton, btnRemote)
HCHAT_PART(QPushButton, btnProperties)
HCHAT_PART(hchat::SealBadge, sealBadge)
HCHAT_PART(QMenu, mnuPUChat)
HCHAT_PART(QAction, mnuPUChatImage)
HCHAT_PART(QAction, mnuPUChatList)
HCHAT_PART(QAction, mnuPUChat2nd)
HCHAT_PART(QAction, mnuPUChatTime)
HCHAT_PART(QAction, mnuPUChatArrive)
HCHAT_PART(QAction, mnuPUChatLog)
HCHAT_PART(QAction, mnuPUChatPM)
HCHAT_PART(QAction, mnuPUChatHorz)
HCHAT_PART(QAction, mnuPUChatTop)
HCHAT_PART(QAction, mnuProperties)
HCHAT_PART(QAction, mnuRunRemoteSupport)
HCHAT_PART(QAction, mnuNotifyPage)
HCHAT_PART(QAction, mnuNotifyNick)

inline hchat::DesktopNotifier *notifier(const QObject &w)
{
    return w.findChild<hchat::DesktopNotifier *>();
}
