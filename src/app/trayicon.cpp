#include "app/trayicon.h"

#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

namespace hchat {

TrayIcon::TrayIcon(const QIcon &icon, QObject *parent) : QObject(parent), m_icon(icon)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_tray = new QSystemTrayIcon(m_icon, this);
    m_tray->setToolTip(toolTip(0));
    m_menu = new QMenu;
    m_menu->addAction(tr("Show Halvex Chat"), this, &TrayIcon::showRequested);
    m_menu->addSeparator();
    m_menu->addAction(tr("Quit"), this, &TrayIcon::quitRequested);
    m_tray->setContextMenu(m_menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit showRequested();
    });
    connect(m_tray, &QSystemTrayIcon::messageClicked, this, &TrayIcon::messageClicked);
    m_tray->show();
}

TrayIcon::~TrayIcon()
{
    delete m_menu; // a tray menu has no parent widget
}

void TrayIcon::setUnread(int count)
{
    count = qMax(0, count);
    if (count == m_unread)
        return;
    m_unread = count;
    if (!m_tray)
        return;
    m_tray->setIcon(badged(m_icon, count));
    m_tray->setToolTip(toolTip(count));
}

bool TrayIcon::showMessage(const QString &summary, const QString &body)
{
    if (!m_tray || !m_tray->isVisible() || !QSystemTrayIcon::supportsMessages())
        return false;
    m_tray->showMessage(summary, body, m_icon);
    return true;
}

QString TrayIcon::toolTip(int count)
{
    return count > 0 ? tr("Halvex Chat: %1 unread").arg(count) : tr("Halvex Chat");
}

QIcon TrayIcon::badged(const QIcon &icon, int count)
{
    if (count <= 0)
        return icon;
    // Drawn large and scaled down by the tray: a red disc with the count in
    // white at the bottom right, "99+" beyond two digits.
    const int size = 64;
    QPixmap pixmap = icon.pixmap(size, size);
    if (pixmap.isNull()) {
        pixmap = QPixmap(size, size);
        pixmap.fill(Qt::transparent);
    }
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QString text = count > 99 ? QStringLiteral("99+") : QString::number(count);
    const QRect disc(size * 3 / 8 - (text.size() > 2 ? 8 : 0), size * 3 / 8,
                     size * 5 / 8 + (text.size() > 2 ? 8 : 0), size * 5 / 8);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(210, 30, 30));
    painter.drawEllipse(disc);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(text.size() > 2 ? size / 4 : size * 3 / 8);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(disc, Qt::AlignCenter, text);
    painter.end();
    return QIcon(pixmap);
}

} // namespace hchat
