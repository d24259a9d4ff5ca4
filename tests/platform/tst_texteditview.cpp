#include "platform/texteditview.h"
#include "transcript/transcriptrenderer.h"

#include <QScrollBar>
#include <QTextEdit>
#include <QtTest>

using namespace hchat;

class TstTextEditView : public QObject
{
    Q_OBJECT
private slots:
    void followsTheEnd_data();
    void followsTheEnd();
};

void TstTextEditView::followsTheEnd_data()
{
    QTest::addColumn<bool>("lineScrolling");
    QTest::addColumn<bool>("batched");
    QTest::newRow("lines") << true << false;
    QTest::newRow("pixels") << false << false;
    QTest::newRow("lines, batched") << true << true;
}

void TstTextEditView::followsTheEnd()
{
    QFETCH(bool, lineScrolling);
    QFETCH(bool, batched);
    QTextEdit rich, rich2;
    rich.resize(300, 200);
    rich.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rich));
    TextEditView view(&rich), view2(&rich2);
    QVERIFY(rich.isReadOnly());
    TranscriptContext c;
    c.lineScrolling = [=] { return lineScrolling; };
    c.showTimeStamps = [] { return false; };
    TranscriptRenderer r(&view, &view2, c);
    QScrollBar *bar = rich.verticalScrollBar();

    auto show = [&](int n, const QString &text) {
        if (batched)
            r.beginBatch();
        for (int i = 0; i < n; ++i)
            r.ShowMessage(text.arg(i), false, false);
        if (batched)
            r.endBatch();
    };
    show(120, "line %1");
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());

    // Long lines wrap to several screen lines: still at the end.
    show(5, QString("long %1 ") + QString("word ").repeated(80));
    QCOMPARE(bar->value(), bar->maximum());

    // The reader drags the thumb up: the view stays where the reader put it.
    bar->setSliderDown(true);
    bar->setSliderPosition(bar->maximum() / 2);
    bar->setSliderDown(false);
    QVERIFY(!r.follows(false));
    const int held = bar->value();
    show(10, "more %1");
    QCOMPARE(bar->value(), held);

    // Back to the end: following again.
    bar->setSliderDown(true);
    bar->setSliderPosition(bar->maximum());
    bar->setSliderDown(false);
    QVERIFY(r.follows(false));
    show(3, "again %1");
    QCOMPARE(bar->value(), bar->maximum());
}

QTEST_MAIN(TstTextEditView)
#include "tst_texteditview.moc"
