// TfrmChat's layout: where the window goes, the panes and their sizes, the
// rooms' headings, the view toggles, colours and font.
#include "app/roombar.h"
#include "app/screenplacement.h"
#include "app/tfrmchat.h"
#include "app/webbar.h"
#include "settings/widgettools.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSplitter>
#include <QTextEdit>

namespace hchat {

void TfrmChat::placeWindow()
{
    const ChatSettings &s = m_session.settings();
    QRect desktop(0, 0, 1024, 768);
    QRect screenArea = desktop;
    if (const QScreen *primary = QGuiApplication::primaryScreen()) {
        desktop = primary->availableVirtualGeometry();
        const QPoint corner =
            bringOnDesktop(QRect(QPoint(s.left, s.top), QPoint(s.left, s.top)), desktop).topLeft();
        const QScreen *screen = QGuiApplication::screenAt(corner);
        screenArea = (screen ? screen : primary)->availableGeometry();
    }
    const QRect placed =
        restoredWindow(QPoint(s.left, s.top), QSize(s.width, s.height), desktop, screenArea.size());
    // Left and Top are the frame's corner, which is what move() places; the
    // size is the client area's, which is what resize() sets.
    resize(placed.size());
    move(placed.topLeft());
}

void TfrmChat::keepWindowGeometry()
{
    if (isMinimized())
        return;
    const QRect client = normalGeometry().isValid() ? normalGeometry() : geometry();
    // Saved as it is restored: the frame's corner and the client's size, so
    // the window opens again exactly where it was.
    const QPoint frame = geometry().topLeft() - frameGeometry().topLeft();
    m_session.editSettings([&](ChatSettings &s) {
        s.left = client.left() - frame.x();
        s.top = client.top() - frame.y();
        s.width = client.width();
        s.height = client.height();
    });
}

void TfrmChat::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_paneSizesApplied) {
        m_paneSizesApplied = true;
        applyPaneSizes();
    }
}

void TfrmChat::applyPaneSizes()
{
    // The saved sizes, once, when the panes first have their real extent:
    // `Size` for the web pane, `2ndWidth` for the second room and `ListWidth`
    // for the members; the first room takes the rest. From then on the
    // splitters keep what the user makes of them, whatever is shown or hidden.
    const ChatSettings &s = m_session.settings();
    const bool vertical = splMain->orientation() == Qt::Vertical;
    const int mainTotal = (vertical ? splMain->height() : splMain->width()) - splMain->handleWidth();
    const int web = vertical && !m_webShown ? webBar->sizeHint().height() : s.webSize;
    splMain->setSizes({web, qMax(100, mainTotal - web)});
    const int handles = splChat->handleWidth() * (int(s.showSecond) + int(s.showList));
    const int rest =
        splChat->width() - handles - (s.showSecond ? s.secondWidth : 0) - (s.showList ? s.listWidth : 0);
    splChat->setSizes({qMax(100, rest), s.secondWidth, s.listWidth});
}

void TfrmChat::keepPaneSizes()
{
    const QList<int> main = splMain->sizes();
    if (pnlWeb->isVisible() && m_webShown && !main.isEmpty() && main.first() > 0)
        m_session.set(&ChatSettings::webSize, main.first());
    const QList<int> chat = splChat->sizes();
    if (chat.size() != 3)
        return;
    if (pnlRoom2->isVisible() && chat.at(1) > 0)
        m_session.set(&ChatSettings::secondWidth, chat.at(1));
    if (pnlRight->isVisible() && chat.at(2) > 0)
        m_session.set(&ChatSettings::listWidth, chat.at(2));
}

void TfrmChat::applyWebSlim()
{
    // Standing above the transcripts, an empty pane is only its bar; beside
    // them it keeps its width, so the layout doesn't jump at the first page.
    const bool slim = !m_webShown && !m_session.settings().horizontal;
    pnlWeb->setMaximumHeight(slim ? webBar->sizeHint().height() : QWIDGETSIZE_MAX);
    // The caption stands in the bar while the web pane is shown.
    lblCaption->setVisible(!lblCaption->text().isEmpty() && !m_session.settings().showImage);
}

void TfrmChat::updateRoomHeadings()
{
    const Rooms &rooms = m_session.roomHandling();
    lblRoom1->setText(tr("Room %1").arg(rooms.roomLabel(m_session.settings().room)));
    lblRoom2->setText(tr("Room %1").arg(rooms.roomLabel(m_session.settings().room2)));
}

void TfrmChat::applyLayout()
{
    const ChatSettings &s = m_session.settings();
    // Keep the menu's check marks in step with the settings they stand for.
    for (const auto &[action, setting] : m_toggles) {
        if (action->isChecked() != s.*setting) {
            const QSignalBlocker block(action);
            action->setChecked(s.*setting);
        }
    }
    roomBar->showSettings();
    pnlWeb->setVisible(s.showImage);
    pnlRoom2->setVisible(s.showSecond);
    pnlRight->setVisible(s.showList);
    splMain->setOrientation(s.horizontal ? Qt::Horizontal : Qt::Vertical);
    applyWebSlim();
    updateRoomHeadings();
}

void TfrmChat::applyFont()
{
    const ChatSettings &s = m_session.settings();
    const QColor background = colorFromWire(s.formColor);
    // Text in the background colour would be invisible: use the default then.
    const QColor text = colorFromWire(ChatLines::VisibleColor(s.fontColor, s.formColor));
    for (QTextEdit *t : {memRich, memRich2}) {
        QPalette p = t->palette();
        p.setColor(QPalette::Base, background);
        p.setColor(QPalette::Text, text);
        t->setPalette(p);
        QFont f = t->font();
        f.setPointSize(s.fontSize);
        f.setBold(s.fontBold);
        t->setFont(f);
        t->document()->setDefaultFont(f);
    }
}

void TfrmChat::applyWindowStyle()
{
    const bool onTop = m_session.settings().stayOnTop;
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) == onTop)
        return;
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (wasVisible)
        show(); // changing the flags hides a top-level window
}

} // namespace hchat
