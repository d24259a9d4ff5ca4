#include "chat/memberglyphs.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <utility>

namespace hchat {

namespace {

// Every glyph is drawn on a 16 x 16 grid scaled to the requested rectangle.
constexpr qreal kGrid = MemberGlyphGrid;

const QColor kInk(40, 40, 40);
const QColor kFace(255, 208, 64);
const QColor kSkin(240, 190, 140);

void face(QPainter &p, const QColor &fill)
{
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1, 1, 14, 14));
}

void eyes(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawEllipse(QRectF(4.6, 4.8, 2, 2.4));
    p.drawEllipse(QRectF(9.4, 4.8, 2, 2.4));
}

void phone(QPainter &p)
{
    // A handset: two pads joined by a curved grip.
    QPainterPath grip;
    grip.moveTo(3.5, 4.5);
    grip.cubicTo(1.5, 8, 8, 14.5, 11.5, 12.5);
    p.setPen(QPen(kInk, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(grip);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    for (const QPointF at : {QPointF(4, 3.5), QPointF(12.5, 12)}) {
        p.save();
        p.translate(at);
        p.rotate(-40);
        p.drawRoundedRect(QRectF(-2.6, -1.4, 5.2, 2.8), 1, 1);
        p.restore();
    }
}

void cup(QPainter &p)
{
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(QColor(250, 250, 250));
    p.drawEllipse(QRectF(10, 7.5, 4.5, 4)); // handle
    p.setBrush(QColor(120, 70, 30));
    QPainterPath body;
    body.moveTo(2, 6.5);
    body.lineTo(12, 6.5);
    body.lineTo(11, 13);
    body.quadTo(7, 15, 3, 13);
    body.closeSubpath();
    p.drawPath(body);
    p.drawLine(QPointF(1, 14.5), QPointF(13, 14.5)); // saucer
    p.setPen(QPen(QColor(150, 150, 150), 0.9, Qt::SolidLine, Qt::RoundCap));
    for (qreal x : {4.5, 7.0, 9.5}) {
        QPainterPath steam;
        steam.moveTo(x, 5);
        steam.cubicTo(x - 1, 4, x + 1, 3, x, 1.5);
        p.setBrush(Qt::NoBrush);
        p.drawPath(steam);
    }
}

void hourglass(QPainter &p)
{
    p.setPen(QPen(QColor(110, 70, 30), 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3, 1.5), QPointF(13, 1.5));
    p.drawLine(QPointF(3, 14.5), QPointF(13, 14.5));
    QPainterPath glass;
    glass.moveTo(4, 2);
    glass.lineTo(12, 2);
    glass.lineTo(8.6, 8);
    glass.lineTo(12, 14);
    glass.lineTo(4, 14);
    glass.lineTo(7.4, 8);
    glass.closeSubpath();
    p.setPen(QPen(kInk, 0.7));
    p.setBrush(QColor(220, 235, 245));
    p.drawPath(glass);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(225, 180, 80));
    QPolygonF top{{5.5, 4}, {10.5, 4}, {8, 7.6}};
    QPolygonF bottom{{8, 10.5}, {11.2, 13.6}, {4.8, 13.6}};
    p.drawPolygon(top);
    p.drawPolygon(bottom);
}

void moon(QPainter &p)
{
    QPainterPath disc;
    disc.addEllipse(QRectF(1.5, 2, 11, 11));
    QPainterPath bite;
    bite.addEllipse(QRectF(5, 0.5, 10, 10));
    p.setPen(QPen(kInk, 0.6));
    p.setBrush(QColor(250, 220, 90));
    p.drawPath(disc.subtracted(bite));
    // "z" for sleep
    p.setPen(QPen(QColor(60, 80, 160), 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF{{10, 10}, {14, 10}, {10, 14.5}, {14, 14.5}});
}

void smiley(QPainter &p, int mood) // 1 happy, 2 laugh, -1 sad
{
    face(p, mood < 0 ? QColor(150, 190, 240) : kFace);
    p.setBrush(Qt::NoBrush);
    if (mood == 2) {
        p.setPen(QPen(kInk, 1.1, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(4, 4.5, 3, 3), 0, 180 * 16); // eyes squeezed shut
        p.drawArc(QRectF(9, 4.5, 3, 3), 0, 180 * 16);
        QPainterPath mouth;
        mouth.moveTo(3.5, 8.5);
        mouth.lineTo(12.5, 8.5);
        mouth.arcTo(QRectF(3.5, 4, 9, 9), 0, -180);
        p.setPen(QPen(kInk, 0.8));
        p.setBrush(QColor(170, 30, 40));
        p.drawPath(mouth);
        return;
    }
    eyes(p);
    p.setPen(QPen(kInk, 1.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    if (mood > 0)
        p.drawArc(QRectF(4, 5, 8, 6.5), 200 * 16, 140 * 16);
    else
        p.drawArc(QRectF(4.5, 10, 7, 5), 30 * 16, 120 * 16);
}

void thumb(QPainter &p, bool up)
{
    if (!up) {
        p.translate(0, kGrid);
        p.scale(1, -1);
    }
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(kSkin);
    QPainterPath thumbPath; // the raised thumb
    thumbPath.addRoundedRect(QRectF(5, 1, 3.4, 8), 1.7, 1.7);
    QPainterPath fist;
    fist.addRoundedRect(QRectF(4, 6.5, 8.5, 8), 2, 2);
    p.drawPath(thumbPath.united(fist));
    p.setPen(QPen(kInk, 0.6));
    for (qreal y : {9.2, 11.2, 13.0})
        p.drawLine(QPointF(8.5, y), QPointF(12.3, y)); // folded fingers
    p.setBrush(QColor(60, 110, 200));
    p.drawRect(QRectF(1, 7, 3, 8)); // cuff
}

void arrow(QPainter &p, qreal degrees)
{
    p.translate(8, 8);
    p.rotate(degrees);
    QPolygonF shape{{0, -7}, {6.5, 0}, {2.5, 0}, {2.5, 7}, {-2.5, 7}, {-2.5, 0}, {-6.5, 0}};
    p.setPen(QPen(QColor(20, 70, 20), 0.8, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
    p.setBrush(QColor(60, 170, 60));
    p.drawPolygon(shape);
}

void watch(QPainter &p)
{
    p.setPen(QPen(kInk, 0.7));
    p.setBrush(QColor(90, 60, 40));
    p.drawRect(QRectF(5.5, 0.5, 5, 15)); // strap
    p.setBrush(QColor(200, 200, 210));
    p.drawEllipse(QRectF(2.5, 3, 11, 11));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(3.8, 4.3, 8.4, 8.4));
    p.setPen(QPen(kInk, 1, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 8.5), QPointF(8, 5.4));
    p.drawLine(QPointF(8, 8.5), QPointF(10.2, 9.6));
}

void caution(QPainter &p)
{
    QPolygonF tri{{8, 1}, {15.2, 14.5}, {0.8, 14.5}};
    p.setPen(QPen(kInk, 0.9, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
    p.setBrush(QColor(255, 200, 0));
    p.drawPolygon(tri);
    p.setPen(QPen(kInk, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 5.5), QPointF(8, 9.8));
    p.drawPoint(QPointF(8, 12.4));
}

void question(QPainter &p)
{
    p.setPen(QPen(QColor(20, 50, 120), 0.8));
    p.setBrush(QColor(50, 110, 220));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    QPainterPath mark;
    mark.moveTo(5.3, 6);
    mark.cubicTo(5.3, 2.6, 10.8, 2.6, 10.8, 5.8);
    mark.cubicTo(10.8, 7.6, 8, 7.8, 8, 9.8);
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(mark);
    p.drawPoint(QPointF(8, 12.4));
}

void ignored(QPainter &p)
{
    p.setPen(QPen(QColor(200, 20, 20), 2));
    p.setBrush(QColor(255, 235, 235));
    p.drawEllipse(QRectF(2, 2, 12, 12));
    p.drawLine(QPointF(4.2, 4.2), QPointF(11.8, 11.8));
}

void eye(QPainter &p)
{
    QPainterPath lid;
    lid.moveTo(0.8, 8);
    lid.quadTo(8, 0.5, 15.2, 8);
    lid.quadTo(8, 15.5, 0.8, 8);
    p.setPen(QPen(kInk, 0.9));
    p.setBrush(Qt::white);
    p.drawPath(lid);
    p.setBrush(QColor(70, 130, 190));
    p.drawEllipse(QRectF(5.2, 5.2, 5.6, 5.6));
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawEllipse(QRectF(6.8, 6.8, 2.4, 2.4));
}

void star(QPainter &p)
{
    QPolygonF s;
    for (int i = 0; i < 10; ++i) {
        const qreal r = i % 2 ? 3.2 : 7.4;
        const qreal a = qDegreesToRadians(-90.0 + i * 36.0);
        s << QPointF(8 + r * qCos(a), 8.4 + r * qSin(a));
    }
    p.setPen(QPen(QColor(170, 110, 0), 0.8, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
    p.setBrush(QColor(255, 215, 40));
    p.drawPolygon(s);
}

void badge(QPainter &p, int index)
{
    // Spread the hues so neighbouring numbers differ at a glance.
    const QColor fill = QColor::fromHsv((index * 137) % 360, 150, 200);
    p.setPen(QPen(fill.darker(150), 0.8));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(1, 1, 14, 14), 3.5, 3.5);
    QFont f;
    f.setBold(true);
    f.setPixelSize(index >= 10 ? 8 : 10);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, kGrid, kGrid), Qt::AlignCenter, QString::number(index));
}

} // namespace

void drawMemberGlyph(QPainter &p, int index)
{
    using Draw = void (*)(QPainter &);
    static constexpr std::pair<int, Draw> glyphs[] = {
        {0, [](QPainter &) {}}, // blank
        {1, phone},
        {2, cup},
        {3, hourglass},
        {4, moon},
        {5, [](QPainter &p) { smiley(p, 1); }},
        {6, [](QPainter &p) { smiley(p, 2); }},
        {9, [](QPainter &p) { smiley(p, -1); }},
        {12, eye},
        {13, star},
        {18, [](QPainter &p) { thumb(p, true); }},
        {19, [](QPainter &p) { thumb(p, false); }},
        {20, [](QPainter &p) { arrow(p, 0); }},
        {21, [](QPainter &p) { arrow(p, 180); }},
        {23, [](QPainter &p) { arrow(p, 90); }},
        {28, watch},
        {29, caution},
        {30, ignored},
        {62, question},
    };
    for (const auto &[n, draw] : glyphs) {
        if (n == index)
            return draw(p);
    }
    badge(p, index);
}

} // namespace hchat
