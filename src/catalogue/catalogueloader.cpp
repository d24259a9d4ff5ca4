#include "catalogue/catalogueloader.h"

#include "catalogue/catalogue.h"
#include "catalogue/cataloguecodec.h"
#include "catalogue/fetcher.h"
#include "protocol/atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace hchat {

namespace {

// The file name entry 200 of a plain source names. Only a bare file name in
// the program folder is taken: a source must not be able to write elsewhere.
QString targetNameFrom(const QStringList &plainLines)
{
    const QString name = Catalogue(plainLines).Lookup(200).trimmed();
    return Catalogue::isPlainFileName(name) ? name : CatalogueLoader::catalogueFileName();
}

QString noticeText(const QString &reason)
{
    return QStringLiteral("Message texts are not available (%1); the chat runs without them.").arg(reason);
}

} // namespace

CatalogueLoader::CatalogueLoader(Catalogue *catalogue, Fetcher *fetcher, QObject *parent)
    : QObject(parent), m_catalogue(catalogue), m_fetcher(fetcher)
{
}

QString CatalogueLoader::withSlash(const QString &folder)
{
    if (folder.isEmpty() || folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

bool CatalogueLoader::start()
{
    endDownload();
    m_catalogue->clear();
    m_catalogue->setProgramFolder(m_programFolder);
    convertSource();

    // The program folder's own file wins, unless it is older than the shipped
    // one: earlier versions copied the shipped file into a separate home, and
    // that copy must not hide a newer install. The shipped file is read where
    // it was installed (not copied: a package update must reach it).
    const QFileInfo own(m_programFolder + catalogueFileName());
    const QFileInfo shipped(m_installFolder + catalogueFileName());
    QString file = own.filePath();
    if (!m_installFolder.isEmpty() && shipped.isFile() &&
        (!own.exists() || shipped.lastModified() > own.lastModified())) {
        file = shipped.filePath();
    } else if (!own.exists()) {
        startDownload();
        return false;
    }
    return loadCatalogueFile(file);
}

void CatalogueLoader::convertSource()
{
    QFile source(m_programFolder + sourceFileName());
    if (!source.exists() || !source.open(QIODevice::ReadOnly))
        return;
    const QStringList plain = CatalogueCodec::splitPlain(source.readAll());
    // A source that can't be saved is not worth a notice of its own: the
    // catalogue file (or its absence) decides what the user sees.
    AtomicFile::save(m_programFolder + targetNameFrom(plain), CatalogueCodec::encodeFile(plain));
}

bool CatalogueLoader::loadCatalogueFile(const QString &path)
{
    if (m_catalogue->loadFile(path)) {
        emit loaded();
        return true;
    }
    emit notice(noticeText(QStringLiteral("%1 is not a catalogue").arg(catalogueFileName())));
    return false;
}

void CatalogueLoader::startDownload()
{
    const QString base = withSlash(m_webBase.trimmed());
    const QUrl url(base + QStringLiteral("files/") + catalogueFileName());
    if (!m_fetcher || base.isEmpty() || !url.isValid() || url.scheme().isEmpty()) {
        emit notice(noticeText(QStringLiteral("%1 is missing").arg(catalogueFileName())));
        return;
    }
    m_pending = true;
    m_onFinished = connect(m_fetcher, &Fetcher::finished, this, &CatalogueLoader::downloadDone);
    m_onFailed = connect(m_fetcher, &Fetcher::failed, this, &CatalogueLoader::downloadFailed);
    m_fetcher->get(url);
}

void CatalogueLoader::endDownload()
{
    // The fetcher may serve others later; only our own transfer concerns us.
    disconnect(m_onFinished);
    disconnect(m_onFailed);
    if (m_pending && m_fetcher)
        m_fetcher->abort();
    m_pending = false;
}

void CatalogueLoader::downloadDone(const QByteArray &body)
{
    m_pending = false; // over already: nothing to abort
    endDownload();
    // Check before writing: an error page or a cut-off transfer must not
    // become the catalogue file that the next start would trust.
    QStringList lines;
    if (!CatalogueCodec::decodeFile(body, &lines)) {
        emit notice(
            noticeText(QStringLiteral("the downloaded %1 is not a catalogue").arg(catalogueFileName())));
        return;
    }
    QString error;
    if (!AtomicFile::save(m_programFolder + catalogueFileName(), body, &error))
        emit notice(QStringLiteral("The message texts could not be saved (%1); they are fetched again at the "
                                   "next start.")
                        .arg(error));
    m_catalogue->setLines(std::move(lines));
    emit loaded();
}

void CatalogueLoader::downloadFailed(const QString &error)
{
    m_pending = false;
    endDownload();
    emit notice(noticeText(QStringLiteral("download of %1 failed: %2").arg(catalogueFileName(), error)));
}

} // namespace hchat
