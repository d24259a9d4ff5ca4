#include "upgrade/upgradescript.h"

#include "catalogue/cataloguetext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace hchat {

QString UpgradeScript::quoted(const QString &value)
{
#ifdef Q_OS_WIN
    QString v = value;
    return u'"' + v.remove(u'"') + u'"';
#else
    // Single quotes take everything literally; a quote inside ends them,
    // is escaped and opens them again.
    QString v = value;
    return u'\'' + v.replace(QLatin1String("'"), QLatin1String("'\\''")) + u'\'';
#endif
}

QStringList UpgradeScript::lines(const std::function<QString(int)> &text, const QString &programPath,
                                 const QString &programFolder)
{
    const auto format = [&](int n, const QString &value) {
        return text(n).replace(QLatin1String("%s"), quoted(value));
    };
    QStringList out{text(CatalogueText::Batch1)};
    // Started by the last line: the new program gets 5 s to prove itself;
    // when it fails sooner, the old one goes back in place, is started, and
    // leaves its exit status for the next start to report.
    out << QStringLiteral("start_watched() {")
        << QStringLiteral("  trap '' HUP; W=\"${NEWPROG%.new}.watch\"; : > \"$W\"")
        << QStringLiteral(
               "  ( \"$PROG\" \"$@\" >/dev/null 2>&1; s=$?; test -e \"$W\" && echo \"$s\" > \"$W\" ) &")
        << QStringLiteral("  i=0; while test \"$i\" -lt 5 && ! test -s \"$W\"; do sleep 1; i=$((i+1)); done")
        << QStringLiteral("  s=$(cat \"$W\" 2>/dev/null); rm -f \"$W\"")
        << QStringLiteral("  if test -n \"$s\" && test \"$s\" != 0 && mv -f \"$BACKUP\" \"$PROG\"; then")
        << QStringLiteral(
               "    echo \"$s\" > \"${NEWPROG%.new}.restored\"; nohup \"$PROG\" \"$@\" >/dev/null 2>&1 &")
        << QStringLiteral("  fi") << QStringLiteral("}");
    out << format(561, programPath) << format(562, programPath) << format(563, programFolder);
    for (int n = 564; n <= 567; ++n)
        out << text(n);
    return out;
}

QString UpgradeScript::pathFor(const QString &ownPath, const QString &extension)
{
    const QFileInfo own(ownPath);
    return QDir(own.path()).filePath(own.completeBaseName() + extension);
}

QStringList UpgradeScript::arguments(qint64 pid, const QStringList &ownArguments)
{
    return QStringList{QString::number(pid)} + ownArguments;
}

QString UpgradeScript::write(const QString &path, const QStringList &lines)
{
    // Made anew with owner-only rights from the start: an older script, or
    // whatever else stands under that name, is not written through.
    QFile::remove(path);
    QFile f(path);
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly))
        return f.errorString();
    const QByteArray body = lines.join(u'\n').toUtf8() + '\n';
    if (f.write(body) != body.size() || !f.flush()) {
        const QString why = f.errorString();
        f.close();
        f.remove();
        return why;
    }
    f.close();
    return QString();
}

} // namespace hchat
