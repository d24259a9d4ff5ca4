#include "app/memberkey.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace hchat {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MemberKey", text);
}

// A free name beside the damaged file: what was set aside before stays too.
QString asideName(const QString &path)
{
    QString aside = path + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + QStringLiteral(".damaged-") + QString::number(n);
    return aside;
}

} // namespace

MemberKey::Loaded MemberKey::load(const QString &path)
{
    Loaded out;
    QString why;
    const bool there = QFileInfo::exists(path);
    if (there) {
        if (const auto pair = SealKeyPair::load(path, &why)) {
            out.pair = *pair;
            return out;
        }
        if (!QFileInfo(path).isReadable()) {
            // Unreadable now, not shown damaged: the key and the member ID
            // it holds stay for a later run.
            out.pair = SealKeyPair::generate();
            out.notice = tr("Your member key in %1 could not be read (%2): a key made for this run only.")
                             .arg(path, why);
            return out;
        }
        const QString aside = asideName(path);
        out.notice =
            QFile::rename(path, aside)
                ? tr("Your member key in %1 could not be read (%2): set aside as %3.").arg(path, why, aside)
                : tr("Your member key in %1 could not be read (%2).").arg(path, why);
        out.notice += u' ' + tr("A new key is made, and with it a new member ID: servers that knew the old "
                                "key keep the old ID for it.");
        out.replaced = true;
    }
    out.pair = SealKeyPair::generate();
    QString error;
    if (!out.pair.save(path, &error)) {
        if (!out.notice.isEmpty())
            out.notice += u' ';
        out.notice +=
            tr("The member key could not be kept in %1 (%2): a key made for this run only.").arg(path, error);
    }
    return out;
}

} // namespace hchat
