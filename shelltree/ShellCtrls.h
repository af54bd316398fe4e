#pragma once

#include <QTreeView>

class QFileSystemModel;

// The folder tree of the left pane: the file system's folders from the root
// down, read as they are expanded. Selecting a folder raises Change.
class TShellTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit TShellTreeView(QWidget* parent = nullptr);

    // The path of the selected folder; empty when nothing is selected.
    QString SelectedPath() const;
    // Selects the folder of a path; a path that cannot be resolved leaves the
    // tree as it is. Returns whether it was found.
    bool SelectPath(const QString& path);
    // Redraws the tree without reading its folders again.
    void Repaint();

signals:
    void Change();

private:
    QFileSystemModel* Model = nullptr;
};
