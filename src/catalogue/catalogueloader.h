#pragma once

#include <QMetaObject>
#include <QObject>
#include <QString>

namespace hchat {

class Catalogue;
class Fetcher;

/// Fills the catalogue at start-up of the stand-alone program:
/// 1. a plain "strings2.txt" in the program folder is converted to the
///    storage form and saved under the file name entry 200 of it gives;
/// 2. "chat.dll" is loaded from the program folder, or else from the install
///    folder, and from the install folder too when the program folder's is
///    older (a copy an earlier version made); when neither has it, it is
///    fetched from the web base + "files/chat.dll" into the program folder
///    (the base comes from the configuration: entry 0 can't be read before
///    the catalogue is there).
/// Whatever goes wrong, the program runs on with empty texts and one
/// notice() line; a download never blocks start-up.
class CatalogueLoader : public QObject
{
    Q_OBJECT
public:
    /// `fetcher` may be null (no downloads). Neither is owned.
    CatalogueLoader(Catalogue *catalogue, Fetcher *fetcher, QObject *parent = nullptr);

    void setProgramFolder(const QString &folder) { m_programFolder = withSlash(folder); }
    void setInstallFolder(const QString &folder) { m_installFolder = withSlash(folder); }
    /// Base address for the download, e.g. "http://127.0.0.1:8080/".
    void setWebBase(const QString &base) { m_webBase = base; }

    /// Runs the loading sequence. Returns true when the catalogue is loaded on
    /// return; false when a download is under way (loaded() or notice()
    /// follows) or loading failed (notice() was emitted).
    bool start();
    bool isPending() const { return m_pending; }

    static QString catalogueFileName() { return QStringLiteral("chat.dll"); }
    static QString sourceFileName() { return QStringLiteral("strings2.txt"); }
    /// The folder ending in '/'; an empty folder stays empty.
    static QString withSlash(const QString &folder);

signals:
    /// The catalogue now holds the texts (emitted by start() and after a download).
    void loaded();
    /// One line to show the user; the catalogue stays empty.
    void notice(const QString &text);

private:
    void convertSource();
    void startDownload();
    void downloadDone(const QByteArray &body);
    void downloadFailed(const QString &error);
    bool loadCatalogueFile(const QString &path);
    void endDownload();

    Catalogue *m_catalogue;
    Fetcher *m_fetcher;
    QString m_programFolder;
    QString m_installFolder;
    QString m_webBase;
    bool m_pending = false;
    QMetaObject::Connection m_onFinished;
    QMetaObject::Connection m_onFailed;
};

} // namespace hchat
