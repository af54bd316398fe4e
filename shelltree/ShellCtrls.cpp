#include "shelltree/ShellCtrls.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>

TShellTreeView::TShellTreeView(QWidget* parent) : QTreeView(parent) {
    Model = new QFileSystemModel(this);
    Model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    Model->setReadOnly(true);
    Model->setRootPath(QDir::rootPath());
    setModel(Model);
    for (int column = 1; column < Model->columnCount(); ++column)
        hideColumn(column);
    header()->hide();
    setIndentation(19);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex&, const QModelIndex&) { emit Change(); });
}

QString TShellTreeView::SelectedPath() const {
    const QModelIndex index = currentIndex();
    if (!index.isValid())
        return QString();
    return Model->filePath(index);
}

bool TShellTreeView::SelectPath(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    const QModelIndex index = Model->index(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (!index.isValid())
        return false;
    if (index == currentIndex())
        return true;
    setCurrentIndex(index);
    scrollTo(index);
    return true;
}

void TShellTreeView::Repaint() { viewport()->update(); }
