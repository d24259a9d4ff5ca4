#include "chat/chatsession.h"

#include "catalogue/catalogue.h"

namespace hchat {

ChatSession::ChatSession(QObject *parent)
    : QObject(parent)
{
}

ChatSession::~ChatSession() = default;

QString ChatSession::text(int n) const
{
    return catalogue ? catalogue->Lookup(n) : QString();
}

void ChatSession::Send(int kind, const QString &data)
{
    if (sender)
        sender(kind, data);
}

void ChatSession::tick()
{
    if (roomHoldOff > 0)
        --roomHoldOff;
    if (quietPeriod > 0)
        --quietPeriod;
}

} // namespace hchat
