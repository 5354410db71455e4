#include "LogListModel.h"

#include <algorithm>

LogListModel::LogListModel(int maxLines, QObject* parent)
    : QAbstractListModel(parent), m_maxLines(std::max(1, maxLines))
{}

int LogListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

QVariant LogListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return m_lines[static_cast<size_t>(index.row())];
    return {};
}

void LogListModel::appendLine(const QString& line)
{
    if (static_cast<int>(m_lines.size()) >= m_maxLines) {
        beginRemoveRows(QModelIndex(), 0, 0);
        m_lines.pop_front();
        endRemoveRows();
    }
    const int row = static_cast<int>(m_lines.size());
    beginInsertRows(QModelIndex(), row, row);
    m_lines.push_back(line);
    endInsertRows();
}

void LogListModel::clear()
{
    if (m_lines.empty())
        return;
    beginResetModel();
    m_lines.clear();
    endResetModel();
}

QStringList LogListModel::lines() const
{
    QStringList result;
    result.reserve(static_cast<qsizetype>(m_lines.size()));
    for (const QString& line : m_lines)
        result.append(line);
    return result;
}

QString LogListModel::line(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    return m_lines[static_cast<size_t>(row)];
}
