#include "upgrade/upgrade.h"

#include "catalogue/catalogue.h"
#include "catalogue/catalogueloader.h"
#include "catalogue/cataloguetext.h"
#include "catalogue/fetcher.h"
#include "upgrade/executablecheck.h"
#include "upgrade/upgradescript.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sodium.h>

#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

namespace hchat {

namespace {
QByteArray sha256Of(const QString &path)
{
    QFile f(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!f.open(QIODevice::ReadOnly) || !hash.addData(&f))
        return QByteArray();
    return hash.result().toHex();
}

// Moves `from` onto `to` in one step, replacing what stands there.
QString renameOnto(const QString &from, const QString &to)
{
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(from.toStdU16String()),
                            std::filesystem::path(to.toStdU16String()), error);
    return error ? QString::fromStdString(error.message()) : QString();
}
} // namespace

Upgrade::Upgrade(UpgradeContext context, QObject *parent) : QObject(parent), m_context(std::move(context))
{
    m_context.homeFolder = CatalogueLoader::withSlash(m_context.homeFolder);
    m_context.programFolder = CatalogueLoader::withSlash(m_context.programFolder);
    if (Fetcher *f = m_context.fetcher) {
        connect(f, &Fetcher::progress, this, &Upgrade::onProgress);
        connect(f, &Fetcher::finished, this, &Upgrade::onFinished);
        connect(f, &Fetcher::failed, this, &Upgrade::onFailed);
    }
}

Upgrade::~Upgrade()
{
    abort();
}

QString Upgrade::packagedCaption()
{
    return QStringLiteral("The system's package manager updates this program");
}

QString Upgrade::programName() const
{
    // A name with a folder part would fetch and run a file outside the
    // program folder: no such name is offered or installed.
    const QString name = m_context.text ? m_context.text(CatalogueText::ProgramFile) : QString();
    return Catalogue::isPlainFileName(name) ? name : QString();
}

QString Upgrade::scriptPath() const
{
    // Named after the running program, beside the program file it replaces.
    return UpgradeScript::pathFor(m_context.programFolder + QFileInfo(m_context.ownPath).fileName(),
                                  m_context.text(CatalogueText::BatchExtension));
}

QString Upgrade::downloadPath() const
{
    // Beside "HChat.new", so that the move onto it cannot cross file systems.
    return m_context.programFolder + QStringLiteral("HChat.new.download");
}

void Upgrade::HtpRequest(Stage stage, const QUrl &url, const QString &target)
{
    abort();
    m_gaugeMax = 0;
    m_gaugeValue = 0;
    m_stage = stage;
    m_context.fetcher->get(url, target);
}

void Upgrade::requestListing()
{
    if (!m_context.programFolderWritable) {
        // An installed package is updated with the rest of the system.
        emit buttonChanged(true, false, packagedCaption());
        return;
    }
    const QString base = m_context.text ? m_context.text(CatalogueText::WebBase) : QString();
    if (!m_context.fetcher || base.isEmpty() || programName().isEmpty())
        return;
    m_context.fetcher->setBodyLimit(maxListingBytes);
    HtpRequest(Stage::Listing, QUrl(base + QStringLiteral("cgi-bin/halvex.cgi?path=../files/")),
               m_context.homeFolder + QStringLiteral("directory"));
}

void Upgrade::btnUpgradeClick()
{
    if (!m_context.programFolderWritable || !m_listing.isLaterThan(m_context.versionDate) ||
        m_stage == Stage::Program)
        return;
    emit buttonChanged(false, true, m_listing.caption());
    m_gaugeVisible = true;
    emit gaugeChanged(true, 0, 0);
    m_context.fetcher->setBodyLimit(maxProgramBytes);
    HtpRequest(Stage::Program,
               QUrl(m_context.text(CatalogueText::WebBase) + QStringLiteral("files/") + programName()),
               downloadPath());
}

void Upgrade::reportRestored()
{
    // The script leaves the failed program's exit status here.
    QFile marker(m_context.programFolder + QStringLiteral("HChat.restored"));
    if (!marker.open(QIODevice::ReadOnly))
        return;
    const QString status = QString::fromLatin1(marker.read(16)).trimmed();
    marker.close();
    marker.remove();
    emit notice(QStringLiteral("The upgraded program failed at its start (exit status %1); the previous "
                               "program was put back.")
                    .arg(status));
}

void Upgrade::abort()
{
    if (m_stage == Stage::Idle)
        return;
    m_stage = Stage::Idle;
    if (m_context.fetcher)
        m_context.fetcher->abort();
}

void Upgrade::onProgress(qint64 received, qint64 total)
{
    if (m_stage == Stage::Idle)
        return;
    // The gauge counts in ints: lengths past their range are scaled down.
    constexpr qint64 most = std::numeric_limits<int>::max();
    const qint64 scale = total > most ? total / most + 1 : 1;
    if (total > 0)
        m_gaugeMax = int(total / scale);
    m_gaugeValue = int(qBound(qint64(0), received / scale, qint64(m_gaugeMax)));
    if (m_stage == Stage::Program)
        emit gaugeChanged(m_gaugeVisible, m_gaugeValue, m_gaugeMax);
}

void Upgrade::onFinished()
{
    const Stage stage = std::exchange(m_stage, Stage::Idle);
    if (stage == Stage::Listing)
        PostDates();
    else if (stage == Stage::Program)
        Finished();
}

void Upgrade::onFailed(const QString &error)
{
    const Stage stage = std::exchange(m_stage, Stage::Idle);
    if (stage != Stage::Program)
        return; // no listing, no offer: nothing to say
    showButton();
    emit notice(QStringLiteral("Upgrade not downloaded (%1); the program stays as it is.").arg(error));
}

void Upgrade::PostDates()
{
    QFile f(m_context.homeFolder + QStringLiteral("directory"));
    const QString listing = f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.read(1 << 20)) : QString();
    m_listing = UpgradeListing::PostDates(listing, programName());
    if (m_listing.found)
        emit buttonChanged(true, m_listing.isLaterThan(m_context.versionDate), m_listing.caption());
    else
        emit buttonChanged(false, false, QString());
}

void Upgrade::showButton()
{
    m_gaugeVisible = false;
    emit gaugeChanged(false, m_gaugeValue, m_gaugeMax);
    emit buttonChanged(true, m_listing.isLaterThan(m_context.versionDate), m_listing.caption());
}

void Upgrade::Finished()
{
    showButton();
    const QString download = downloadPath();
    const QString why = install(download);
    QFile::remove(download);
    if (!why.isEmpty()) {
        emit notice(QStringLiteral("Upgrade not installed (%1); the program stays as it is.").arg(why));
        return;
    }
    emit replaceOnExit(scriptPath());
}

QString Upgrade::signatureProblem(const QString &download) const
{
    // Without a key the site's digest is all there is; with one, the site
    // alone can't make us install anything.
    const QByteArray &key = m_context.publicKey;
    if (key.isEmpty())
        return QString();
    const QByteArray &sig = m_listing.signature;
    if (sodium_init() < 0 || key.size() != crypto_sign_PUBLICKEYBYTES || sig.size() != crypto_sign_BYTES ||
        m_listing.sha256.isEmpty() || QFileInfo(download).size() != m_listing.size ||
        sha256Of(download) != m_listing.sha256 ||
        crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(sig.constData()),
                                    reinterpret_cast<const unsigned char *>(m_listing.signedText.constData()),
                                    quint64(m_listing.signedText.size()),
                                    reinterpret_cast<const unsigned char *>(key.constData())) != 0)
        return QStringLiteral("the download is not signed by the program's maker");
    return QString();
}

QString Upgrade::install(const QString &download)
{
    // Nothing is put in place before the file has shown it is the program.
    if (const QString why = ExecutableCheck::problem(download, m_context.ownPath); !why.isEmpty())
        return why;
    if (!m_listing.sha256.isEmpty() && sha256Of(download) != m_listing.sha256)
        return QStringLiteral("the download does not match the listing's digest");

    if (const QString why = signatureProblem(download); !why.isEmpty())
        return why;

    const QString program = m_context.programFolder + programName();
    const QFileInfo current(QFileInfo::exists(program) ? program : m_context.ownPath);
    const auto rights =
        current.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    if (!QFile::setPermissions(download, rights))
        return QStringLiteral("cannot make the download runnable");
    // The replacement is armed only for a program that starts and answers.
    const QString refused =
        m_context.probe ? m_context.probe(download) : ExecutableCheck::versionProblem(download);
    if (!refused.isEmpty())
        return refused;
    const QString script = scriptPath();
    const QStringList lines = UpgradeScript::lines(m_context.text, program, m_context.programFolder);
    if (const QString why = UpgradeScript::write(script, lines); !why.isEmpty())
        return QStringLiteral("cannot write %1: %2").arg(script, why);
    const QString next = m_context.programFolder + QStringLiteral("HChat.new");
    if (const QString why = renameOnto(download, next); !why.isEmpty()) {
        QFile::remove(script);
        return QStringLiteral("cannot write %1: %2").arg(next, why);
    }
    return QString();
}

} // namespace hchat
