#include "ClientsModel.h"

#include <algorithm>

ClientsModel::ClientsModel(QObject* parent) : QAbstractTableModel(parent), m_captions(headerTexts())
{}

QStringList ClientsModel::headerTexts()
{
    return {QStringLiteral("Connected"), QStringLiteral("Name"), QStringLiteral("IP")};
}

int ClientsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ClientsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ClientsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole || index.row() >= m_rows.size())
        return {};
    return m_rows[index.row()].value(index.column());
}

QVariant ClientsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return m_captions.value(section);
}

void ClientsModel::setHeaderCaptions(const QStringList& captions)
{
    m_captions = captions;
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

void ClientsModel::addRow(const QString& connected, const QString& name, const QString& ip)
{
    const int r = int(m_rows.size());
    beginInsertRows(QModelIndex(), r, r);
    m_rows.append({connected, name, ip});
    endInsertRows();
}

int ClientsModel::removeAddress(const QString& ip)
{
    int removed = 0;
    for (int r = int(m_rows.size()) - 1; r >= 0; --r) {
        if (m_rows[r][ColIP] != ip)
            continue;
        beginRemoveRows(QModelIndex(), r, r);
        m_rows.removeAt(r);
        endRemoveRows();
        ++removed;
    }
    return removed;
}

int ClientsModel::rowsOf(const QString& ip) const
{
    return int(std::count_if(m_rows.cbegin(), m_rows.cend(),
                             [&ip](const QStringList& row) { return row[ColIP] == ip; }));
}

void ClientsModel::renameAddress(const QString& ip, const QString& name)
{
    for (int r = 0; r < m_rows.size(); ++r) {
        if (m_rows[r][ColIP] != ip)
            continue;
        m_rows[r][ColName] = name;
        emit dataChanged(index(r, ColName), index(r, ColName));
    }
}

void ClientsModel::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}
