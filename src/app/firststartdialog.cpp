#include "app/firststartdialog.h"

#include "chat/serverkeys.h"
#include "protocol/serverendpoint.h"
#include "settings/widgettools.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHostAddress>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace hchat {

FirstStartDialog::FirstStartDialog(const QString &caption, const QString &prompt, const QString &nick,
                                   bool withServer, const QString &server, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgFirstStart"));
    // Without the catalogue the question still has words.
    setWindowTitle(caption.isEmpty() ? tr("Halvex Chat Nickname") : caption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto *layout = new QVBoxLayout(this);
    QString question = prompt.isEmpty() ? tr("Please choose a nickname (at most 20 characters):") : prompt;
    if (withServer)
        question += u'\n' + tr("The server is the one you were told to join (host or host:port).");
    auto *lblQuestion = new QLabel(question, this);
    lblQuestion->setWordWrap(true);
    layout->addWidget(lblQuestion);
    auto *form = new QFormLayout;
    edtNick = named<QLineEdit>("edtNick", nick, this);
    edtNick->setMaxLength(20);
    form->addRow(tr("Nickname"), edtNick);
    edtServer = named<QLineEdit>("edtServer", server, this);
    edtServer->setPlaceholderText(tr("host or host:port"));
    edtServer->setToolTip(tr("The chat server you were given, e.g. chat.example.com:5500"));
    form->addRow(tr("Server"), edtServer);
    edtServerKey = named<QLineEdit>("edtServerKey", this);
    edtServerKey->setPlaceholderText(tr("optional: paste the key you were given"));
    edtServerKey->setToolTip(tr("The server's public key from its administrator. Without it the key is "
                                "learned at the first contact and its fingerprint shown."));
    form->addRow(tr("Server key"), edtServerKey);
    for (QLineEdit *row : {edtServer, edtServerKey})
        form->setRowVisible(row, withServer);
    layout->addLayout(form);
    m_problem = named<QLabel>("lblProblem", this);
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b00020;"));
    m_problem->hide();
    layout->addWidget(m_problem);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &FirstStartDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &FirstStartDialog::reject);
    layout->addWidget(buttons);
    // Wide enough for the whole caption.
    setMinimumWidth(qMax(400, fontMetrics().horizontalAdvance(windowTitle()) + 160));
    edtNick->selectAll();
}

QString FirstStartDialog::serverProblem(const QString &typed,
                                        const std::function<bool(const QString &)> &resolves)
{
    const QString t = typed.trimmed();
    if (t.isEmpty())
        return tr("Type the chat server's address, e.g. chat.example.com or chat.example.com:5500.");
    const ServerEndpoint e = ServerEndpoint::parse(t);
    if (!e.isValid()) {
        return t.contains(u' ') ? tr("A server address has no spaces.")
                                : tr("The port after the colon must be a number from 1 to 65535.");
    }
    if (QHostAddress(e.host).isNull() && resolves && !resolves(e.host))
        return tr("The server %1 can't be found: check the name.").arg(e.host);
    return QString();
}

void FirstStartDialog::accept()
{
    if (edtServer->isVisibleTo(this)) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        const QString problem = serverProblem(edtServer->text(), [](const QString &host) {
            return !QHostInfo::fromName(host).addresses().isEmpty();
        });
        QGuiApplication::restoreOverrideCursor();
        const QString keyProblem = ServerKeys::problem(edtServerKey->text());
        if (!problem.isEmpty() || !keyProblem.isEmpty()) {
            m_problem->setText(problem.isEmpty() ? keyProblem : problem);
            m_problem->show();
            (problem.isEmpty() ? edtServerKey : edtServer)->setFocus();
            return;
        }
    }
    QDialog::accept();
}

} // namespace hchat
