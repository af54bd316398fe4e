#pragma once

#include <QStyledItemDelegate>

class TfrmVelmo;

// Gives every row of the file list the same size: as wide as the widest name
// of the last scan (so the list scrolls sideways exactly that far) and one
// line of the list's font high.
class TFileListDelegate : public QStyledItemDelegate {
public:
    TFileListDelegate(const TfrmVelmo* form, QObject* parent)
        : QStyledItemDelegate(parent), Form(form) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const TfrmVelmo* Form;
};
