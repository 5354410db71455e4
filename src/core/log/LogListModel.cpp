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

namespace {

qint64 sizeOf(const QString& line)
{
    return qint64(line.size()) * qint64(sizeof(QChar));
}

} // namespace

void LogListModel::setMaxBytes(qint64 bytes)
{
    m_maxBytes = std::max<qint64>(bytes, 1);
    qsizetype excess = 0;
    qint64 bytesLeft = m_bytes;
    for (const QString& line : m_lines) {
        if (bytesLeft <= m_maxBytes)
            break;
        bytesLeft -= sizeOf(line);
        ++excess;
    }
    dropOldest(excess);
}

void LogListModel::dropOldest(qsizetype count)
{
    if (count <= 0)
        return;
    beginRemoveRows(QModelIndex(), 0, int(count - 1));
    for (qsizetype i = 0; i < count; ++i) {
        m_bytes -= sizeOf(m_lines.front());
        m_lines.pop_front();
    }
    endRemoveRows();
}

void LogListModel::appendLine(const QString& line)
{
    // Room for the new line: the oldest ones go, never the new one itself.
    qsizetype excess = 0;
    qint64 bytesLeft = m_bytes;
    qsizetype linesLeft = qsizetype(m_lines.size());
    for (const QString& old : m_lines) {
        if (linesLeft < m_maxLines && bytesLeft + sizeOf(line) <= m_maxBytes)
            break;
        bytesLeft -= sizeOf(old);
        --linesLeft;
        ++excess;
    }
    dropOldest(excess);
    const int row = static_cast<int>(m_lines.size());
    beginInsertRows(QModelIndex(), row, row);
    m_lines.push_back(line);
    m_bytes += sizeOf(line);
    endInsertRows();
}

void LogListModel::clear()
{
    if (m_lines.empty())
        return;
    beginResetModel();
    m_lines.clear();
    m_bytes = 0;
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
