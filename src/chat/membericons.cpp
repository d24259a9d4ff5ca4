#include "chat/membericons.h"

#include "chat/memberglyphs.h"

#include <QIconEngine>
#include <QPainter>

#include <array>

namespace hchat {

namespace {

class MemberIconEngine : public QIconEngine
{
public:
    explicit MemberIconEngine(int index) : m_index(index) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        if (rect.isEmpty())
            return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setRenderHint(QPainter::TextAntialiasing);
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.4);
        const qreal side = qMin(rect.width(), rect.height());
        painter->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / MemberGlyphGrid, side / MemberGlyphGrid);
        drawMemberGlyph(*painter, m_index);
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // QIcon passes the size in device pixels already; scale is only recorded.
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            paint(&p, QRect(QPoint(0, 0), image.size()), mode, state);
        }
        image.setDevicePixelRatio(scale);
        return QPixmap::fromImage(std::move(image));
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {{16, 16}, {24, 24}, {32, 32}, {48, 48}, {64, 64}};
    }
    QString key() const override { return QStringLiteral("hchat-member"); }
    QIconEngine *clone() const override { return new MemberIconEngine(m_index); }

private:
    int m_index;
};

} // namespace

QIcon MemberIcons::icon(int index)
{
    if (index < 0 || index >= Count)
        return {};
    // QIcon caches pixmaps per size, so one icon per index is kept for the program's life.
    static std::array<QIcon, Count> icons;
    QIcon &icon = icons[size_t(index)];
    if (icon.isNull())
        icon = QIcon(new MemberIconEngine(index));
    return icon;
}

QPixmap MemberIcons::pixmap(int index, int size, qreal devicePixelRatio)
{
    if (index < 0 || index >= Count || size <= 0)
        return {};
    MemberIconEngine engine(index);
    const int device = qRound(size * devicePixelRatio);
    return engine.scaledPixmap(QSize(device, device), QIcon::Normal, QIcon::Off, devicePixelRatio);
}

QString MemberIcons::name(int index)
{
    switch (index) {
    case 0:
        return QStringLiteral("Blank");
    case 1:
        return QStringLiteral("Phone");
    case 2:
        return QStringLiteral("Short break");
    case 3:
        return QStringLiteral("Long break");
    case 4:
        return QStringLiteral("Away");
    case 5:
        return QStringLiteral("Happy");
    case 6:
        return QStringLiteral("Laugh");
    case 9:
        return QStringLiteral("Sad");
    case 12:
        return QStringLiteral("Watching only");
    case 13:
        return QStringLiteral("New arrival");
    case 18:
        return QStringLiteral("Thumb up");
    case 19:
        return QStringLiteral("Thumb down");
    case 20:
        return QStringLiteral("Up arrow");
    case 21:
        return QStringLiteral("Down arrow");
    case 23:
        return QStringLiteral("Right arrow");
    case 28:
        return QStringLiteral("Watch");
    case 29:
        return QStringLiteral("Caution");
    case 30:
        return QStringLiteral("Ignored");
    case 62:
        return QStringLiteral("Question");
    default:
        return QStringLiteral("Icon %1").arg(index);
    }
}

} // namespace hchat
