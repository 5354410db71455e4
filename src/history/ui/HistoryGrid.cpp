#include "HistoryGrid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>

int HistoryGrid::firstVisibleColumn() const
{
    const QHeaderView* h = header();
    for (int visual = 0; visual < h->count(); ++visual)
        if (!h->isSectionHidden(h->logicalIndex(visual)))
            return h->logicalIndex(visual);
    return 0;
}

void HistoryGrid::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const
{
    if (!m_isGroup || !m_isGroup(index)) {
        QTreeView::drawRow(painter, option, index);
        return;
    }
    const int column = firstVisibleColumn();
    const int left = columnViewportPosition(column);
    const int right = qMax(left, header()->length() - header()->offset());
    QStyleOptionViewItem row = option;
    row.rect = QRect(left, option.rect.y(), right - left, option.rect.height());
    if (selectionModel() && selectionModel()->isRowSelected(index.row(), index.parent()))
        row.state |= QStyle::State_Selected;
    if (currentIndex().row() == index.row() && currentIndex().parent() == index.parent() &&
        hasFocus())
        row.state |= QStyle::State_HasFocus;
    style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &row, painter, this);
    const int arrow = rootIsDecorated() ? indentation() : 0;
    if (arrow > 0)
        drawBranches(painter, QRect(left, row.rect.y(), arrow, row.rect.height()), index);
    QStyleOptionViewItem caption = row;
    caption.rect.setLeft(left + arrow);
    itemDelegateForIndex(index)->paint(painter, caption, index.siblingAtColumn(column));
}
