#pragma once

#include "transcript/webviewer.h"

#include <QStringList>

namespace hchat {

/// Records the addresses shown.
class FakeWebViewer : public WebViewer
{
public:
    void FindAddress(const QString &url) override
    {
        opened << url;
        current = url;
    }
    QString currentAddress() const override { return current; }
    QStringList opened;
    QString current;
};

} // namespace hchat
