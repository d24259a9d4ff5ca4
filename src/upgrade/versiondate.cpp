#include "upgrade/versiondate.h"

namespace hchat {

QDate programVersionDate()
{
    return QDate::fromString(QStringLiteral(HCHAT_VERSION_DATE), Qt::ISODate);
}

} // namespace hchat
