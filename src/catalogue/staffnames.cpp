#include "catalogue/staffnames.h"

#include "catalogue/catalogue.h"

namespace hchat {

bool isStaffNick(const Catalogue &catalogue, const QString &nick)
{
    const QString wanted = nick.toUpper();
    if (wanted.isEmpty())
        return false;
    for (int n = 481; n <= 503; ++n) {
        if (n == 484 || n == 485)
            continue;
        const QString name = catalogue.Lookup(n).toUpper();
        if (!name.isEmpty() && name == wanted)
            return true;
    }
    return false;
}

} // namespace hchat
