#pragma once

#include <QList>
#include <QString>

class SettingsStore;

// The stored layout of the history grid (section grdCalls): column widths
// (0: hidden), the sort key and the grouping. Values from another version of
// the layout, or values that make no sense, give the default layout.
struct HistoryLayout
{
    static constexpr int kVersion = 1;
    static constexpr int kMaxWidth = 4000; // device-independent pixels

    QList<int> widths;
    int sortColumn = 0;
    Qt::SortOrder order = Qt::DescendingOrder;
    int groupColumn = -1;

    static HistoryLayout defaults();
    // problem: why a stored layout was not used; empty when it was, or none was stored.
    static HistoryLayout load(const SettingsStore& settings, const QString& section,
                              QString* problem);
    void save(SettingsStore& settings, const QString& section) const;

    bool operator==(const HistoryLayout&) const = default;
};
