#pragma once

#include <QTreeView>

// The link tree view: read-only, every cell on one line with an ellipsis, the first column clipped
// short of its section's right edge and the others inset from both edges.
class TTreeList : public QTreeView
{
    Q_OBJECT
public:
    static constexpr int CellMargin = 5;

    explicit TTreeList(QWidget *parent = nullptr);
};
