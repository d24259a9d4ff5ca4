#pragma once

#include "transcript/transcriptsink.h"

namespace hchat {

/// The transcript a session writes to, always there: until a window wires
/// one (and after it goes), lines go to a sink that drops them, so no
/// handler has to ask whether there is one.
class SinkHolder
{
public:
    SinkHolder() = default;
    // It points into itself: a copy would point into the original.
    SinkHolder(const SinkHolder &) = delete;
    SinkHolder &operator=(const SinkHolder &) = delete;
    SinkHolder &operator=(TranscriptSink *sink)
    {
        m_sink = sink ? sink : &m_none;
        return *this;
    }
    TranscriptSink *operator->() const { return m_sink; }
    TranscriptSink &operator*() const { return *m_sink; }

private:
    class NoSink : public TranscriptSink
    {
    public:
        void ShowMessage(const QString &, bool, bool) override {}
        void TimeStamp(const QString &) override {}
        void TimeStamp2(const QString &) override {}
        void setLineColor(int) override {}
        void setStampTime(const QDateTime &) override {}
        void setOwnMessage(bool) override {}
        void SayIt(const QString &, bool) override {}
        void Notify(const QString &) override {}
    };
    mutable NoSink m_none;
    TranscriptSink *m_sink = &m_none;
};

} // namespace hchat
