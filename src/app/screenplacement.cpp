#include "app/screenplacement.h"

namespace hchat {

QRect bringOnDesktop(QRect w, const QRect &desktop)
{
    int top = w.top();
    int left = w.left();
    // Taking the desktop's extent off until the corner is on it: a remainder,
    // so a corner stored far out costs no time.
    if (desktop.height() >= 1 && top > desktop.height())
        top = (top - 1) % desktop.height() + 1;
    if (desktop.width() >= 1 && left > desktop.width())
        left = (left - 1) % desktop.width() + 1;
    if (top < desktop.top() - 10)
        top = desktop.top();
    if (left < desktop.left() - 20)
        left = desktop.left();
    w.moveTo(left, top);
    return w;
}

QRect restoredWindow(const QPoint &corner, const QSize &stored, const QRect &desktop, const QSize &screen)
{
    const auto fit = [](int value, int least, int most) {
        most = qMax(most, 1);
        return qMin(qMax(value, qMin(least, most)), most);
    };
    const QSize size(fit(stored.width(), 200, screen.width()), fit(stored.height(), 150, screen.height()));
    // The corner first: a stored corner far out plus the size would not fit an int.
    return QRect(bringOnDesktop(QRect(corner, corner), desktop).topLeft(), size);
}

} // namespace hchat
