#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

namespace hchat {

/// Holds the text cursor still after a while without input. Every blink
/// repaints the window, and with a web page in it the whole window is drawn
/// again: an idle chat window would keep the processor busy all day.
class CursorRest : public QObject
{
public:
    static constexpr std::chrono::seconds kRestAfter{15};

    /// Watches the application's input from now on.
    explicit CursorRest(QObject *parent = nullptr);
    ~CursorRest() override;

    /// The cursor stops blinking now, as after kRestAfter without input.
    void rest();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void wake();

    QTimer m_idle;
    int m_flashTime = 0;
    bool m_resting = false;
};

} // namespace hchat
