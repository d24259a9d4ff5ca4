#pragma once

#include <QAnyStringView>
#include <QColor>
#include <QString>

#include <utility>

namespace hchat {

/// A new widget (or action) under the name tests and style sheets know it
/// by: `named<QLineEdit>("edtNick", parent)` passes the rest to the constructor.
template <class T, class... Args> T *named(QAnyStringView name, Args &&...args)
{
    auto *object = new T(std::forward<Args>(args)...);
    object->setObjectName(name);
    return object;
}

/// A layout filling `owner` edge to edge, its items `spacing` apart.
template <class Layout, class Owner> Layout *flushLayout(Owner *owner, int spacing)
{
    auto *layout = new Layout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

/// Colours travel and are stored with red in the low byte.
inline QColor colorFromWire(int rgb)
{
    return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

inline int colorToWire(const QColor &c)
{
    return c.red() | (c.green() << 8) | (c.blue() << 16);
}

} // namespace hchat
