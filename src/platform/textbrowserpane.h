#pragma once

#include "platform/webpane.h"

#include <QWidget>

class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QTextBrowser;

namespace hchat {

/// The web viewer without a web engine: shows posted images itself and, for
/// pages, offers to open the address in the desktop's browser.
class TextBrowserPane : public QWidget, public WebPane
{
    Q_OBJECT
public:
    explicit TextBrowserPane(QWidget *parent = nullptr);
    ~TextBrowserPane() override;

    QWidget *widget() override { return this; }
    void showAddress(const QUrl &url) override;

    QTextBrowser *browser() const { return m_browser; }
    QUrl address() const { return m_url; }
    /// Largest image fetched, in bytes.
    static constexpr qint64 kMaxImageBytes = 8 * 1024 * 1024;
    /// Whether an address names an image by its extension.
    static bool looksLikeImage(const QUrl &url);

signals:
    /// An image was shown (true) or could not be (false).
    void imageDone(bool shown);

private:
    void showLink(const QString &note);
    void imageArrived(QNetworkReply *reply);

    QTextBrowser *m_browser;
    QPushButton *m_open;
    QNetworkAccessManager *m_net = nullptr;
    QNetworkReply *m_reply = nullptr;
    QUrl m_url;
};

} // namespace hchat
