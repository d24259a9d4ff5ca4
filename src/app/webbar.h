#pragma once

#include <QWidget>

class QComboBox;
class QLabel;

namespace hchat {

/// The web pane's bar: the room's caption and the address box, an editable
/// list holding the favourites. Until the first page it is all the pane shows.
class WebBar : public QWidget
{
    Q_OBJECT
public:
    explicit WebBar(QWidget *parent = nullptr);

    /// The favourites offered in the address box; what is typed stays.
    void setFavourites(const QStringList &favourites);

    QLabel *lblWebCaption = nullptr;
    QComboBox *cmbAddress = nullptr;

signals:
    /// Enter in the address box, or a favourite chosen from its list.
    void addressEntered(const QString &address);
};

} // namespace hchat
