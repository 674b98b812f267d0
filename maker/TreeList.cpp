#include "maker/TreeList.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

class TTreeListDelegate : public QStyledItemDelegate
{
public:
    TTreeListDelegate(QHeaderView *header, QObject *parent) : QStyledItemDelegate(parent), FHeader(header) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        QString text = item.text;
        text.replace(u'\r', u' ').replace(u'\n', u' ');
        item.text.clear();
        // Background, selection and focus as the palette and style draw them.
        const QWidget *view = item.widget;
        view->style()->drawControl(QStyle::CE_ItemViewItem, &item, painter, view);

        const int column = index.column();
        const int sectionLeft = FHeader->sectionViewportPosition(column);
        const int sectionRight = sectionLeft + FHeader->sectionSize(column);
        QRect box = item.rect;
        Qt::Alignment align = Qt::AlignLeft;
        if (column == 0) {
            box.setRight(sectionRight - TTreeList::CellMargin);
        } else {
            box.setLeft(sectionLeft + TTreeList::CellMargin);
            box.setRight(sectionRight - TTreeList::CellMargin);
            align = FHeader->model()->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
            if (!(align & Qt::AlignHorizontal_Mask))
                align = FHeader->defaultAlignment();
        }
        if (box.width() <= 0)
            return;
        const QPalette::ColorGroup group = !(item.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : (item.state & QStyle::State_Active) ? QPalette::Active
                                                                                 : QPalette::Inactive;
        const bool selected = item.state & QStyle::State_Selected;
        painter->save();
        painter->setClipRect(box);
        painter->setPen(item.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(item.font);
        const QString shown = item.fontMetrics.elidedText(text, Qt::ElideRight, box.width());
        painter->drawText(box, int((align & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter) | Qt::TextSingleLine, shown);
        painter->restore();
    }

private:
    QHeaderView *FHeader;
};

} // namespace

TTreeList::TTreeList(QWidget *parent) : QTreeView(parent)
{
    setEditTriggers(NoEditTriggers);
    setIndentation(19);
    setUniformRowHeights(true);
    setTextElideMode(Qt::ElideRight);
    setItemDelegate(new TTreeListDelegate(header(), this));
}
