#pragma once

#include <QTreeView>

#include <functional>

// The call list: a tree view whose group rows show their caption across the
// whole row, with the arrow that opens them, from the first visible column.
// (A spanned row of QTreeView draws the first model column, which the call
// list keeps hidden.)
class HistoryGrid : public QTreeView
{
public:
    using QTreeView::QTreeView;
    void setGroupTest(std::function<bool(const QModelIndex&)> isGroup)
    {
        m_isGroup = std::move(isGroup);
    }

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;

private:
    int firstVisibleColumn() const;
    std::function<bool(const QModelIndex&)> m_isGroup;
};
