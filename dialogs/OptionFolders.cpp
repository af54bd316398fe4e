// The options dialog's folder page: the grid of the output folders and
// its buttons.
#include "dialogs/Option.h"

#include "dialogs/DialogParts.h"
#include "dialogs/Input.h"
#include "dialogs/InputHandOver.h"
#include "dialogs/SharedMessage.h"
#include "platform/FileName.h"
#include "platform/MessageBox.h"
#include "settings/Settings.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionHeader>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include <algorithm>
#include <memory>
#include <utility>

namespace {
const QString CornerText = QStringLiteral("No");

// The key of a slot as its grid row shows it: the digit, with a Shift mark
// for the second ten.
QString OutFolderKeyName(int slot) {
    const QString digit = QString::number(slot % OutFolderRowSize);
    return slot < OutFolderRowSize ? digit : QStringLiteral("⇧") + digit;
}

// Hands the painting of every slot cell to the dialog.
class TFolderGridDelegate : public QStyledItemDelegate {
public:
    explicit TFolderGridDelegate(const TfrmOption* form)
        : QStyledItemDelegate(nullptr), Form(form) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        Form->sgdFolderDrawCell(painter, option, index);
    }

private:
    const TfrmOption* Form;
};

// The grid always has exactly one selected row, the current one: a click
// outside the rows or a Ctrl+click on the selected row keeps it.
class TFolderGrid : public QTableWidget {
public:
    using QTableWidget::QTableWidget;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent*) const override {
        if (!index.isValid())
            return QItemSelectionModel::NoUpdate;
        return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    }
};

// Paints the header cell at the grid's top left corner with its text.
class TCornerPainter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint)
            return false;
        auto* corner = static_cast<QWidget*>(watched);
        QStyleOptionHeader opt;
        opt.initFrom(corner);
        // A header cell, not a button: never drawn greyed.
        opt.state |= QStyle::State_Enabled;
        opt.palette.setCurrentColorGroup(QPalette::Active);
        opt.rect = corner->rect();
        opt.position = QStyleOptionHeader::OnlyOneSection;
        opt.text = CornerText;
        opt.textAlignment = Qt::AlignCenter;
        QStylePainter painter(corner);
        painter.drawControl(QStyle::CE_Header, opt);
        return true;
    }
};

// Lets the border between the slot numbers and the titles be dragged, as
// the other column borders can.
class TNoColumnSizer : public QObject {
public:
    TNoColumnSizer(QTableView* grid, QHeaderView* header)
        : QObject(header), Grid(grid), Header(header) {
        Header->viewport()->setMouseTracking(true);
        Header->viewport()->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        const auto* mouse = dynamic_cast<QMouseEvent*>(event);
        if (!mouse)
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            Dragging = mouse->button() == Qt::LeftButton && OnBorder(mouse->position().x());
            return Dragging;
        case QEvent::MouseMove:
            if (Dragging) {
                Header->setFixedWidth(std::max(8, int(mouse->position().x()) + 1));
                Grid->doItemsLayout();
                return true;
            }
            if (OnBorder(mouse->position().x()))
                Header->viewport()->setCursor(Qt::SplitHCursor);
            else
                Header->viewport()->unsetCursor();
            return false;
        case QEvent::MouseButtonRelease:
            return std::exchange(Dragging, false);
        default:
            return false;
        }
    }

private:
    bool OnBorder(qreal x) const { return x >= Header->width() - 4; }
    QTableView* Grid;
    QHeaderView* Header;
    bool Dragging = false;
};
} // namespace

void TfrmOption::CreateFolderPage() {
    auto* folders = Named(new QGroupBox(QStringLiteral("出力フォルダ"), tbsFolder), "GroupBox5");
    folders->setGeometry(8, 8, 369, 265);
    sgdFolder = Named(new TFolderGrid(OutFolderCount, 2, folders), "sgdFolder");
    sgdFolder->setGeometry(12, 24, 241, 229);
    sgdFolder->setSelectionBehavior(QAbstractItemView::SelectRows);
    sgdFolder->setSelectionMode(QAbstractItemView::SingleSelection);
    sgdFolder->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Ten rows show; the second ten scroll in below them.
    sgdFolder->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    sgdFolder->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    sgdFolder->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    sgdFolder->setWordWrap(false);
    // Tab leaves the grid; the arrow keys move between its rows.
    sgdFolder->setTabKeyNavigation(false);
    sgdFolder->setItemDelegate(new TFolderGridDelegate(this));
    sgdFolder->itemDelegate()->setParent(sgdFolder);
    // Row 0 and column 0 are the headers: they stay in place and keep the
    // slot numbers while the contents move.
    QHeaderView* top = sgdFolder->horizontalHeader();
    top->setFixedHeight(18);
    top->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    top->setSectionsClickable(false);
    top->setHighlightSections(false);
    top->setSectionResizeMode(QHeaderView::Interactive);
    top->setMinimumSectionSize(8);
    QHeaderView* left = sgdFolder->verticalHeader();
    left->setSectionResizeMode(QHeaderView::Fixed);
    left->setMinimumSectionSize(18);
    left->setDefaultSectionSize(18);
    left->setFixedWidth(20);
    left->setDefaultAlignment(Qt::AlignCenter);
    // A click on a slot number selects its row.
    left->setSectionsClickable(true);
    left->setHighlightSections(false);
    new TNoColumnSizer(sgdFolder, left);
    sgdFolder->setCornerButtonEnabled(false);
    if (auto* corner = sgdFolder->findChild<QAbstractButton*>())
        corner->installEventFilter(new TCornerPainter(sgdFolder));
    for (int r = 0; r < OutFolderCount; ++r)
        for (int c = 0; c < 2; ++c)
            sgdFolder->setItem(r, c, new QTableWidgetItem);

    btnInput = MakeButton(QStringLiteral("登録(&E)"), "btnInput", folders, QRect(272, 24, 75, 25));
    btnClear =
        MakeButton(QStringLiteral("クリア(&C)"), "btnClear", folders, QRect(272, 56, 75, 25));
    btnUp = MakeButton(QStringLiteral("上へ(&U)"), "btnUp", folders, QRect(272, 88, 75, 25));
    btnDown = MakeButton(QStringLiteral("下へ(&D)"), "btnDown", folders, QRect(272, 120, 75, 25));
}

QString TfrmOption::Cell(int col, int row) const {
    if (row == 0)
        return col == 0 ? CornerText : sgdFolder->horizontalHeaderItem(col - 1)->text();
    if (col == 0)
        return sgdFolder->verticalHeaderItem(row - 1)->text();
    const QTableWidgetItem* item = sgdFolder->item(row - 1, col - 1);
    // The folder cell keeps the folder exactly; it shows its readable form.
    return col == 2 ? item->data(Qt::UserRole).toString() : item->text();
}

void TfrmOption::SetCell(int col, int row, const QString& text) {
    if (row == 0) {
        if (col > 0)
            sgdFolder->setHorizontalHeaderItem(col - 1, new QTableWidgetItem(text));
        return;
    }
    if (col == 0) {
        sgdFolder->setVerticalHeaderItem(row - 1, new QTableWidgetItem(text));
        return;
    }
    QTableWidgetItem* item = sgdFolder->item(row - 1, col - 1);
    if (col == 2) {
        item->setData(Qt::UserRole, text);
        item->setText(DisplayPath(text));
    } else {
        item->setText(text);
    }
}

int TfrmOption::SelectedRow() const {
    return qBound(1, sgdFolder->currentRow() + 1, OutFolderCount);
}

void TfrmOption::SelectRow(int row) {
    sgdFolder->setCurrentCell(row - 1, 0);
}

void TfrmOption::InitGrid() {
    sgdFolder->verticalHeader()->setFixedWidth(20);
    sgdFolder->setColumnWidth(0, 100);
    sgdFolder->setColumnWidth(1, 220);
    SetCell(0, 0, CornerText);
    SetCell(1, 0, QStringLiteral("表示名"));
    SetCell(2, 0, QStringLiteral("パス"));
    for (int n = 1; n <= OutFolderCount; ++n)
        SetCell(0, n, OutFolderKeyName(n - 1));
    SelectRow(FirstEmptyRow());
}

int TfrmOption::FirstEmptyRow() const {
    for (int n = 1; n <= OutFolderCount; ++n)
        if (Cell(1, n).isEmpty())
            return n;
    return 1;
}

void TfrmOption::SetButtonState() {
    const int row = SelectedRow();
    btnClear->setEnabled(!Cell(1, row).isEmpty());
    btnUp->setEnabled(row != 1);
    btnDown->setEnabled(row != OutFolderCount);
    btnInput->setEnabled(true);
}

void TfrmOption::sgdFolderClick() {
    SetButtonState();
}

void TfrmOption::sgdFolderDrawCell(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& pal = option.palette;
    painter->save();
    painter->fillRect(option.rect, selected ? pal.highlight() : pal.base());
    painter->setPen(selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
    painter->setFont(option.font);
    // Clipped to the cell; an ampersand underlines the character after it.
    const QRect text = option.rect.adjusted(2, 2, -2, -2);
    painter->setClipRect(option.rect);
    painter->drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
}

void TfrmOption::btnInputClick() {
    const int r = SelectedRow();
    // A filled row is edited only when the user says so.
    if (!Cell(1, r).isEmpty()) {
        MsgText =
            QStringLiteral("既に入力されています。") + QChar(13) + QStringLiteral("修正しますか？");
        MsgFlags = mbQuestionYesNo;
        ShowMessageBox(kConfirmCaption);
        if (MsgResult == idNo)
            return;
    }
    // The row is handed to the entry dialog.
    InputTitle = Cell(1, r);
    InputPath = Cell(2, r);
    // The entry dialog, released on every path.
    const auto frmInput = std::make_unique<TfrmInput>(this);
    frmInput->exec();
    // Taken back only when the entry was confirmed.
    if (InputOK) {
        SetCell(1, r, InputTitle);
        SetCell(2, r, InputPath);
    }
    SetButtonState();
}

void TfrmOption::btnClearClick() {
    const int r = SelectedRow();
    SetCell(1, r, QString());
    SetCell(2, r, QString());
    SetButtonState();
}

void TfrmOption::SwapRows(int row, int other) {
    const QString title = Cell(1, row);
    const QString path = Cell(2, row);
    SetCell(1, row, Cell(1, other));
    SetCell(2, row, Cell(2, other));
    SetCell(1, other, title);
    SetCell(2, other, path);
    SelectRow(other);
}

void TfrmOption::btnUpClick() {
    const int r = SelectedRow();
    if (r > 1)
        SwapRows(r, r - 1);
}

void TfrmOption::btnDownClick() {
    const int r = SelectedRow();
    if (r < OutFolderCount)
        SwapRows(r, r + 1);
}
