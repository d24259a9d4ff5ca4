#include "app/sealbadge.h"

#include "settings/widgettools.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPen>

namespace hchat {

namespace {

// Drawn rather than a glyph: the usual fonts have no lock.
QPixmap lockPixmap(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor green(0x2e, 0x7d, 0x32);
    const qreal w = side;
    p.setPen(QPen(green, w / 8));
    p.drawArc(QRectF(w * 0.28, w * 0.06, w * 0.44, w * 0.6), 0, 180 * 16);
    p.drawLine(QPointF(w * 0.28, w * 0.36), QPointF(w * 0.28, w * 0.48));
    p.drawLine(QPointF(w * 0.72, w * 0.36), QPointF(w * 0.72, w * 0.48));
    p.setPen(Qt::NoPen);
    p.setBrush(green);
    p.drawRoundedRect(QRectF(w * 0.14, w * 0.46, w * 0.72, w * 0.5), w / 10, w / 10);
    return pixmap;
}

} // namespace

SealBadge::SealBadge(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("sealBadge"));
    auto *row = flushLayout<QHBoxLayout>(this, 3);
    m_lock = new QLabel(this);
    m_lock->setPixmap(lockPixmap(fontMetrics().height()));
    m_text = named<QLabel>("lblSeal", this);
    m_text->setTextFormat(Qt::PlainText);
    row->addWidget(m_lock);
    row->addWidget(m_text);
    m_state = SealState::Plain; // anything but Waiting: the first call below takes
    showState(SealState::Waiting);
}

void SealBadge::showState(SealState state)
{
    if (state == m_state)
        return;
    m_state = state;
    const bool plain = state == SealState::Plain;
    m_lock->setVisible(state == SealState::Encrypted);
    m_text->setText(state == SealState::Encrypted ? tr("encrypted")
                    : plain                       ? tr("not encrypted")
                                                  : QString());
    if (state != SealState::Waiting)
        m_text->setStyleSheet(plain ? QStringLiteral("color: #b00020; font-weight: bold;") : QString());
    setToolTip(plain ? tr("Plain text: anyone on the way to the server can read it") : QString());
}

QString SealBadge::text() const
{
    return m_text->text();
}

} // namespace hchat
