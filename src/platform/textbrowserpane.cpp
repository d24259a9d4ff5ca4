#include "platform/textbrowserpane.h"

#include <QDesktopServices>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace hchat {

TextBrowserPane::TextBrowserPane(QWidget *parent)
    : QWidget(parent), m_browser(new QTextBrowser(this)), m_open(new QPushButton(tr("Open in Browser"), this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser, 1);
    layout->addWidget(m_open, 0);
    // Nothing here follows links or loads anything by itself: addresses go to
    // the desktop's browser, images are fetched by us and handed over.
    m_browser->setOpenLinks(false);
    m_browser->setOpenExternalLinks(false);
    m_open->setEnabled(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this,
            [](const QUrl &url) { QDesktopServices::openUrl(url); });
    connect(m_open, &QPushButton::clicked, this, [this] {
        if (m_url.isValid())
            QDesktopServices::openUrl(m_url);
    });
}

TextBrowserPane::~TextBrowserPane() = default;

bool TextBrowserPane::looksLikeImage(const QUrl &url)
{
    const QString path = url.path().toLower();
    for (const char *ext : {".gif", ".jpg", ".jpeg", ".png", ".bmp", ".webp"}) {
        if (path.endsWith(QLatin1String(ext)))
            return true;
    }
    return false;
}

void TextBrowserPane::showAddress(const QUrl &url)
{
    m_url = url;
    m_open->setEnabled(url.isValid());
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    if (url.isLocalFile() && !looksLikeImage(url)) {
        m_browser->setSource(url); // a page of ours shipped with the program
        return;
    }
    if (!looksLikeImage(url)) {
        showLink(QString());
        return;
    }
    if (!m_net)
        m_net = new QNetworkAccessManager(this);
    m_browser->setPlainText(url.toString());
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    m_reply = m_net->get(request);
    QNetworkReply *reply = m_reply;
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 got, qint64 total) {
        if (got > kMaxImageBytes || total > kMaxImageBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { imageArrived(reply); });
}

void TextBrowserPane::imageArrived(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != m_reply)
        return;
    m_reply = nullptr;
    QImage image;
    if (reply->error() == QNetworkReply::NoError)
        image.loadFromData(reply->readAll());
    if (image.isNull()) {
        showLink(tr("The image could not be shown."));
        emit imageDone(false);
        return;
    }
    const QUrl key(QStringLiteral("hchat-image:shown"));
    m_browser->document()->addResource(QTextDocument::ImageResource, key, image);
    const int width = qMin(image.width(), qMax(16, m_browser->viewport()->width() - 8));
    m_browser->setHtml(QStringLiteral("<img src=\"%1\" width=\"%2\">").arg(key.toString()).arg(width));
    emit imageDone(true);
}

void TextBrowserPane::showLink(const QString &note)
{
    const QString address = m_url.toString().toHtmlEscaped();
    QString html;
    if (!note.isEmpty())
        html += QStringLiteral("<p>%1</p>").arg(note.toHtmlEscaped());
    html += QStringLiteral("<p><a href=\"%1\">%1</a></p><p>%2</p>")
                .arg(address,
                     tr("Click the address or the button to open it in your web browser.").toHtmlEscaped());
    m_browser->setHtml(html);
}

} // namespace hchat
