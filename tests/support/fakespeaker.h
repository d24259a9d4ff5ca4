#pragma once

#include "transcript/speaker.h"

#include <QStringList>

namespace hchat {

/// Records what would have been spoken.
class FakeSpeaker : public Speaker
{
public:
    void say(const QString &text) override { said << text; }
    QStringList said;
};

} // namespace hchat
