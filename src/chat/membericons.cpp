#include "chat/membericons.h"

#include "chat/memberglyphs.h"

#include <QIconEngine>
#include <QPainter>

#include <array>
#include <utility>

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
    static constexpr std::pair<int, const char *> names[] = {
        {0, "Blank"},     {1, "Phone"},       {2, "Short break"}, {3, "Long break"},     {4, "Away"},
        {5, "Happy"},     {6, "Laugh"},       {9, "Sad"},         {12, "Watching only"}, {13, "New arrival"},
        {18, "Thumb up"}, {19, "Thumb down"}, {20, "Up arrow"},   {21, "Down arrow"},    {23, "Right arrow"},
        {28, "Watch"},    {29, "Caution"},    {30, "Ignored"},    {62, "Question"},
    };
    for (const auto &[n, text] : names) {
        if (n == index)
            return QLatin1String(text);
    }
    return QStringLiteral("Icon %1").arg(index);
}

} // namespace hchat
