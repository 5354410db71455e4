#pragma once

#include "CallTooltip.h"
#include "HistoryColumns.h"
#include "HistoryQuery.h"

#include <QAbstractItemModel>
#include <QSqlQuery>

#include <memory>
#include <vector>

class CallDatabase;
class LocGuru;

// The calls of table Calls for the history grid, newest first. Rows are read
// a page at a time as the view asks for them (fetchMore), so a table of any
// size opens at once. Grouped, the top level holds one row per group with its
// number of calls (GROUP BY in the database); a group's calls are read when
// it is opened. It reads on a connection of its own to the call database, so
// an open read never stands in the way of the store's writes.
class CallHistoryModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    static constexpr int kPageSize = 200;
    enum Role
    {
        CallIdRole = Qt::UserRole + 1, // the row's CallID, 0 for a group
        TodayRole                      // a call of today (or later): its date stands out
    };
    struct Settings
    {
        HistoryFilter filter;
        int sortColumn = HistoryColumns::CallDate;
        Qt::SortOrder order = Qt::DescendingOrder;
        int groupColumn = -1;
    };

    explicit CallHistoryModel(const LocGuru& loc, QObject* parent = nullptr);
    ~CallHistoryModel() override;

    // The call database to read; null or closed makes the list empty.
    void setDatabase(const CallDatabase* database) { m_database = database; }
    const Settings& settings() const { return m_settings; }
    void setSettings(const Settings& settings) { m_settings = settings; }
    // Reads the list again; false with the reason in lastError() (the list is then empty).
    bool refresh();
    QString lastError() const { return m_lastError; }
    // Call rows read from the database so far.
    qint64 rowsRead() const { return m_rowsRead; }

    // The column that shows a group's caption (the view's first visible one).
    void setLabelColumn(int column) { m_labelColumn = column; }
    bool isGroup(const QModelIndex& index) const;
    qint32 callId(const QModelIndex& index) const;
    CallSummary summary(const QModelIndex& index) const;
    // A group's identity across reloads, and the group row with that identity.
    QString groupKey(const QModelIndex& index) const;
    QModelIndex groupByKey(const QString& key) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    void sort(int column, Qt::SortOrder order) override;

signals:
    void readFailed(const QString& error);
    void sorted(int column, Qt::SortOrder order);

private:
    struct Call
    {
        qint32 id = 0;
        QDateTime date, end, duration;
        QString callerId, callerName, callerGuid, callerExtra;
        QString calledId, calledName, calledExtra;
        bool incoming = true;
        bool answered = false;
    };
    struct Node
    {
        int position = -1; // the group's row; -1 for the top level
        QVariantList values;
        qint64 count = 0;
        std::vector<Call> calls;
        std::unique_ptr<QSqlQuery> cursor;
        bool done = false;
    };

    bool openConnection(QSqlDatabase& db);
    void dropConnection();
    void resetNodes();
    bool start(QSqlQuery& query, const SqlStatement& statement);
    void readCalls(Node& node, const QModelIndex& parent);
    void readGroups();
    void failed(const QString& error);
    Node* nodeOf(const QModelIndex& parent) const;
    const Call* callAt(const QModelIndex& index) const;
    QString groupLabel(const Node& group) const;
    QString cellText(const Call& call, int column) const;

    const LocGuru& m_loc;
    const CallDatabase* m_database = nullptr;
    QString m_connectionName;
    QString m_connectedTo; // the call database's connection string and generation
    ConnectionString::Engine m_engine = ConnectionString::Engine::Unknown;
    Settings m_settings;
    std::unique_ptr<HistoryQuery> m_query;
    Node m_root;
    std::vector<std::unique_ptr<Node>> m_groups;
    std::unique_ptr<QSqlQuery> m_groupCursor;
    bool m_groupsDone = true;
    QString m_lastError;
    qint64 m_rowsRead = 0;
    int m_labelColumn = 0;
};
