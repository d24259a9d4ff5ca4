#pragma once

#include "protocol/sealedtransport.h"

#include <QWidget>

class QLabel;

namespace hchat {

/// Beside the status line: a lock and "encrypted" while the link is sealed,
/// "not encrypted" in a warning colour while it is plain, nothing while it
/// waits for its first answer.
class SealBadge : public QWidget
{
    Q_OBJECT
public:
    explicit SealBadge(QWidget *parent = nullptr);

    void showState(SealState state);
    /// What it shows now, for tests and the screen reader.
    QString text() const;

private:
    QLabel *m_lock = nullptr;
    QLabel *m_text = nullptr;
    SealState m_state = SealState::Waiting;
};

} // namespace hchat
