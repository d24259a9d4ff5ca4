#pragma once

#include <QString>

namespace hchat {

/// The speech voice: reads a text aloud without blocking the caller.
class Speaker
{
public:
    virtual ~Speaker() = default;
    /// Queues text to be spoken.
    virtual void say(const QString &text) = 0;
};

} // namespace hchat
