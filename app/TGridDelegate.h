#pragma once

#include <QStyledItemDelegate>

// Draws the grid lines of a report list between cells.
class TGridDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
