#include "app/screenplacement.h"

namespace hchat {

QRect bringOnDesktop(QRect w, const QRect &desktop)
{
    int top = w.top();
    int left = w.left();
    if (desktop.height() >= 1)
        while (top > desktop.height())
            top -= desktop.height();
    if (desktop.width() >= 1)
        while (left > desktop.width())
            left -= desktop.width();
    if (top < desktop.top() - 10)
        top = desktop.top();
    if (left < desktop.left() - 20)
        left = desktop.left();
    w.moveTo(left, top);
    return w;
}

} // namespace hchat
