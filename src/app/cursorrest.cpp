#include "app/cursorrest.h"

#include <QApplication>
#include <QEvent>

namespace hchat {

CursorRest::CursorRest(QObject *parent) : QObject(parent), m_flashTime(QApplication::cursorFlashTime())
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(kRestAfter);
    connect(&m_idle, &QTimer::timeout, this, &CursorRest::rest);
    qApp->installEventFilter(this);
    m_idle.start();
}

CursorRest::~CursorRest()
{
    wake();
}

void CursorRest::rest()
{
    if (m_resting || m_flashTime <= 0)
        return;
    m_resting = true;
    // A flash time of 0 shows the cursor steadily.
    QApplication::setCursorFlashTime(0);
}

void CursorRest::wake()
{
    if (!m_resting)
        return;
    m_resting = false;
    QApplication::setCursorFlashTime(m_flashTime);
}

bool CursorRest::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::InputMethod:
    case QEvent::FocusIn:
        // Every widget sees an event on its way: the timer is cheap to restart.
        wake();
        m_idle.start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace hchat
