#pragma once

#include <QString>

namespace hchat {

/// The web viewer pane where posted links and images are shown.
class WebViewer
{
public:
    virtual ~WebViewer() = default;
    /// Shows the address in the pane, creating the viewer on first use.
    virtual void FindAddress(const QString &url) = 0;
    /// The address shown now; empty before the first one.
    virtual QString currentAddress() const = 0;
};

} // namespace hchat
