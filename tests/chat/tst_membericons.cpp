#include "chat/membericons.h"

#include <QPainter>
#include <QtTest>

using namespace hchat;

class TestMemberIcons : public QObject
{
    Q_OBJECT

    static QImage render(int index, int size, qreal dpr = 1.0)
    {
        return MemberIcons::pixmap(index, size, dpr).toImage().convertToFormat(QImage::Format_ARGB32);
    }
    static int inkedPixels(const QImage &img)
    {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += qAlpha(img.pixel(x, y)) > 0 ? 1 : 0;
        return n;
    }

private slots:
    void everyIconDrawnAndDistinct()
    {
        QList<QImage> images;
        for (int i = 0; i < MemberIcons::Count; ++i) {
            const QImage img = render(i, 24);
            QCOMPARE(img.size(), QSize(24, 24));
            if (i == 0)
                QCOMPARE(inkedPixels(img), 0); // blank is blank
            else
                QVERIFY2(inkedPixels(img) > 40, qPrintable(MemberIcons::name(i)));
            for (int j = 0; j < images.size(); ++j)
                QVERIFY2(images[j] != img, qPrintable(QStringLiteral("%1 looks like %2").arg(i).arg(j)));
            images << img;
        }
        QVERIFY(MemberIcons::icon(-1).isNull());
        QVERIFY(MemberIcons::icon(65).isNull());
        QVERIFY(!MemberIcons::icon(64).isNull());
    }

    void highDpiPaintsAtFullResolution()
    {
        const QPixmap px = MemberIcons::icon(5).pixmap(QSize(16, 16), 2.0);
        QCOMPARE(px.devicePixelRatio(), 2.0);
        QCOMPARE(px.size(), QSize(32, 32));
        // Drawn at 32 pixels, not a 16-pixel picture blown up: the edge has
        // more distinct shades than a scaled copy would keep.
        const QImage sharp = render(5, 16, 2.0);
        QCOMPARE(sharp.size(), QSize(32, 32));
        QVERIFY(inkedPixels(sharp) > 3 * inkedPixels(render(5, 16)));
    }

    void names()
    {
        QCOMPARE(MemberIcons::name(62), QStringLiteral("Question"));
        QCOMPARE(MemberIcons::name(30), QStringLiteral("Ignored"));
        QCOMPARE(MemberIcons::name(40), QStringLiteral("Icon 40"));
    }

    // Set HCHAT_ICON_SHEET=file.png to look at every icon at three sizes.
    void contactSheet()
    {
        const QString out = qEnvironmentVariable("HCHAT_ICON_SHEET");
        if (out.isEmpty())
            QSKIP("HCHAT_ICON_SHEET not set");
        const int sizes[] = {16, 32, 64};
        QImage sheet(13 * 120, 5 * 70, QImage::Format_ARGB32);
        sheet.fill(Qt::white);
        QPainter p(&sheet);
        for (int i = 0; i < MemberIcons::Count; ++i) {
            const int x = (i % 13) * 120, y = (i / 13) * 70;
            int dx = 0;
            for (int s : sizes) {
                p.drawPixmap(x + dx, y + 2, MemberIcons::pixmap(i, s));
                dx += s + 2;
            }
            p.drawText(x, y + 68, QString::number(i));
        }
        p.end();
        QVERIFY(sheet.save(out));
    }
};

QTEST_MAIN(TestMemberIcons)
#include "tst_membericons.moc"
