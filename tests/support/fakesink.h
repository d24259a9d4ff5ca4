#pragma once

#include "transcript/transcriptsink.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace hchat::test {

/// A TranscriptSink that records every call in order with its arguments, so a
/// test can assert both what was shown and in which sequence.
class FakeSink : public TranscriptSink
{
public:
    struct Call {
        QString name;      ///< "ShowMessage", "TimeStamp", "setLineColor", ...
        QString text;      ///< the text argument, if any
        QVariantList args; ///< the other arguments in order
    };

    QList<Call> calls;

    void ShowMessage(const QString &text, bool second, bool notice) override
    {
        calls.append({QStringLiteral("ShowMessage"), text, {second, notice}});
    }
    void TimeStamp(const QString &text) override
    {
        calls.append({QStringLiteral("TimeStamp"), text, {}});
        window.append({text, std::exchange(nextNumber, 0), std::exchange(nextOwn, 0)});
    }
    void TimeStamp2(const QString &text) override { calls.append({QStringLiteral("TimeStamp2"), text, {}}); }
    void setLineColor(int rgb) override
    {
        lineColor = rgb;
        calls.append({QStringLiteral("setLineColor"), {}, {rgb}});
    }
    void setStampTime(const QDateTime &when) override
    {
        stampTime = when;
        calls.append({QStringLiteral("setStampTime"), {}, {when}});
    }
    void setOwnMessage(bool own) override { calls.append({QStringLiteral("setOwnMessage"), {}, {own}}); }
    void setOwnLineNumber(quint32 number) override
    {
        nextOwn = number;
        calls.append({QStringLiteral("setOwnLineNumber"), {}, {number}});
    }
    void setLineNumber(quint32 line) override { nextNumber = line; }
    void placeOwnLine(quint32 number, quint32 line) override
    {
        const auto at =
            std::find_if(window.begin(), window.end(), [&](const Line &l) { return l.own == number; });
        if (at == window.end())
            return;
        qsizetype to = at - window.begin();
        Line own = window.takeAt(to);
        own.number = line;
        for (qsizetype i = to; i < window.size(); ++i)
            if (window[i].number != 0 && window[i].number < line)
                to = i + 1;
        window.insert(to, own);
    }
    void setOwnLineState(quint32 number, OwnLineState state, const QString &reason) override
    {
        calls.append({QStringLiteral("setOwnLineState"), reason, {number, int(state)}});
    }
    void SayIt(const QString &text, bool speak) override
    {
        calls.append({QStringLiteral("SayIt"), text, {speak}});
    }
    void Notify(const QString &soundFile) override
    {
        calls.append({QStringLiteral("Notify"), soundFile, {}});
    }

    /// The last colour and stamp time set, as the renderer would hold them.
    int lineColor = -1;
    QDateTime stampTime;
    /// The first transcript as the window shows it: an own line moves below
    /// the lines the server numbered before it.
    struct Line {
        QString text;
        quint32 number = 0; ///< the server's line number
        quint32 own = 0;    ///< own line: its record number
    };
    QList<Line> window;
    quint32 nextNumber = 0, nextOwn = 0;
    QStringList windowTexts() const
    {
        QStringList out;
        for (const Line &l : window)
            out << l.text;
        return out;
    }

    /// Texts of the calls named `name`, in order.
    QStringList texts(const QString &name) const
    {
        QStringList out;
        for (const Call &c : calls)
            if (c.name == name)
                out.append(c.text);
        return out;
    }
    /// Texts shown as notices, in order.
    QStringList notices() const
    {
        QStringList out;
        for (const Call &c : calls)
            if (c.name == QLatin1String("ShowMessage") && c.args.value(1).toBool())
                out.append(c.text);
        return out;
    }
    /// How many calls named `name` were made.
    int count(const QString &name) const
    {
        int n = 0;
        for (const Call &c : calls)
            n += c.name == name ? 1 : 0;
        return n;
    }
    void clear()
    {
        calls.clear();
        window.clear();
    }
};

} // namespace hchat::test
