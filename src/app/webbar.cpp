#include "app/webbar.h"

#include "settings/widgettools.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace hchat {

WebBar::WebBar(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pnlWebBar"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed); // the page below takes the height
    auto *layout = flushLayout<QHBoxLayout>(this, 6);
    lblWebCaption = named<QLabel>("lblWebCaption", this);
    lblWebCaption->setTextFormat(Qt::PlainText);
    QFont bold = lblWebCaption->font();
    bold.setBold(true);
    lblWebCaption->setFont(bold);
    lblWebCaption->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    cmbAddress = named<QComboBox>("cmbAddress", this);
    cmbAddress->setEditable(true);
    cmbAddress->setInsertPolicy(QComboBox::NoInsert);
    cmbAddress->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbAddress->setMinimumContentsLength(24);
    cmbAddress->lineEdit()->setPlaceholderText(tr("Address or favourite: Enter opens it here"));
    cmbAddress->setToolTip(tr("Posted links and images open in this pane"));
    layout->addWidget(lblWebCaption, 1);
    layout->addWidget(cmbAddress, 2);
    connect(cmbAddress->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        // A favourite typed out is reported by the box itself, as activated.
        const QString address = cmbAddress->currentText().trimmed();
        if (!address.isEmpty() && cmbAddress->findText(cmbAddress->currentText()) < 0)
            emit addressEntered(address);
    });
    connect(cmbAddress, &QComboBox::activated, this,
            [this](int index) { emit addressEntered(cmbAddress->itemText(index)); });
}

void WebBar::setFavourites(const QStringList &favourites)
{
    const QString typed = cmbAddress->currentText();
    const QSignalBlocker block(cmbAddress);
    cmbAddress->clear();
    cmbAddress->addItems(favourites);
    cmbAddress->setCurrentIndex(-1);
    cmbAddress->setEditText(typed);
}

} // namespace hchat
