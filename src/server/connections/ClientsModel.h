#pragma once

#include <QAbstractTableModel>
#include <QStringList>

// The grid of listed clients (grdClients): one row per accepted "listen",
// columns "Connected", "Name" and the IP address. Its row count is the number
// of listed clients the server limit counts.
class ClientsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        ColConnected,
        ColName,
        ColIP,
        ColumnCount
    };

    explicit ClientsModel(QObject* parent = nullptr);

    // Header captions as the language database knows them; translated by the view.
    static QStringList headerTexts();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    void setHeaderCaptions(const QStringList& captions);

    void addRow(const QString& connected, const QString& name, const QString& ip);
    // Removes every row of this address, from the last row up.
    int removeAddress(const QString& ip);
    int rowsOf(const QString& ip) const;
    // Renames every row of this address.
    void renameAddress(const QString& ip, const QString& name);
    void clear();
    QStringList row(int r) const { return m_rows.value(r); }

private:
    QList<QStringList> m_rows;
    QStringList m_captions;
};
