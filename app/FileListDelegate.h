#pragma once

#include <QStyledItemDelegate>

class QListWidgetItem;
class TfrmVelmo;

// A file list item shows its name as a person reads it (see DisplayPath);
// a name that reads differently from its bytes keeps the real one in the
// item's data. Every file operation takes the real name.
void SetFileItemName(QListWidgetItem* item, const QString& name);
QString FileItemName(const QListWidgetItem* item);
// The names of the files that travel with an item's file (its companions),
// shown after its name as marks: "IMG_0001.JPG +CR2 +xmp".
void SetFileItemCompanions(QListWidgetItem* item, const QStringList& names);
QStringList FileItemCompanions(const QListWidgetItem* item);

// Gives every row of the file list the same size: as wide as the widest name
// of the last scan with the style's text margins (so the list scrolls
// sideways exactly far enough to show it whole) and one
// line of the list's font high.
class TFileListDelegate : public QStyledItemDelegate {
public:
    TFileListDelegate(const TfrmVelmo* form, QObject* parent)
        : QStyledItemDelegate(parent), Form(form) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    const TfrmVelmo* Form;
};
