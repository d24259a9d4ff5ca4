#pragma once

#include <QDialog>
#include <QLineEdit>

#include <functional>

class QLabel;

namespace hchat {

/// The first start's question: the nick to chat under and, when asked for,
/// the chat server to join (host[:port]). OK is taken only with a server
/// whose host can be found and whose port is a port, and with the server's
/// key (optional) only when it is one.
class FirstStartDialog : public QDialog
{
    Q_OBJECT
public:
    /// withServer: ask for the server too, starting from server.
    FirstStartDialog(const QString &caption, const QString &prompt, const QString &nick, bool withServer,
                     const QString &server, QWidget *parent = nullptr);

    QString nick() const { return edtNick->text(); }
    QString server() const { return edtServer->isVisibleTo(this) ? edtServer->text().trimmed() : QString(); }
    /// The server's public key as pasted (base64), or empty.
    QString serverKey() const
    {
        return edtServerKey->isVisibleTo(this) ? edtServerKey->text().trimmed() : QString();
    }

    /// Why a typed server can't be used, or the empty text when it can.
    /// resolves: whether a host name can be looked up (the system's resolver
    /// unless replaced).
    static QString serverProblem(const QString &typed, const std::function<bool(const QString &)> &resolves);

    QLineEdit *edtNick = nullptr;
    QLineEdit *edtServer = nullptr;
    QLineEdit *edtServerKey = nullptr;

public slots:
    void accept() override;

private:
    QLabel *m_problem = nullptr;
};

} // namespace hchat
