#include "CallHistoryModel.h"

#include "contacts/store/CallDatabase.h"
#include "contacts/store/SqlCallStore.h"
#include "core/pipeline/PartyName.h"
#include "loc/LocGuru.h"
#include "platform/Clock.h"

#include <QLocale>
#include <QSqlError>

namespace {

int g_connections = 0;

QString groupKeyOf(const QVariantList& values)
{
    QStringList parts;
    for (const QVariant& v : values)
        parts << (v.isNull() ? QStringLiteral("\x01") : v.toString());
    return parts.join(QChar(0x1f));
}

} // namespace

CallHistoryModel::CallHistoryModel(const LocGuru& loc, QObject* parent)
    : QAbstractItemModel(parent), m_loc(loc),
      m_connectionName(QStringLiteral("phonavo-history-%1").arg(++g_connections))
{}

CallHistoryModel::~CallHistoryModel()
{
    resetNodes();
    dropConnection();
}

void CallHistoryModel::resetNodes()
{
    m_root.calls.clear();
    m_root.cursor.reset();
    m_root.done = true;
    m_groups.clear();
    m_groupCursor.reset();
    m_groupsDone = true;
}

void CallHistoryModel::dropConnection()
{
    if (!QSqlDatabase::contains(m_connectionName))
        return;
    QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
    m_connectedTo.clear();
}

bool CallHistoryModel::openConnection(QSqlDatabase& db)
{
    if (!m_database || !m_database->isOpen()) {
        dropConnection();
        m_lastError = m_loc.GetS(QStringLiteral("No call database is open"));
        return false;
    }
    const QString target = m_database->connectionString() + QLatin1Char('#') +
                           QString::number(m_database->generation());
    if (target != m_connectedTo || !QSqlDatabase::database(m_connectionName, false).isOpen()) {
        dropConnection();
        QSqlDatabase copy = QSqlDatabase::cloneDatabase(m_database->database(), m_connectionName);
        if (!copy.open()) {
            m_lastError = copy.lastError().text();
            dropConnection();
            return false;
        }
        m_connectedTo = target;
    }
    m_engine = m_database->engine();
    db = QSqlDatabase::database(m_connectionName, false);
    return true;
}

bool CallHistoryModel::start(QSqlQuery& query, const SqlStatement& statement)
{
    query.setForwardOnly(true);
    if (!query.prepare(statement.sql)) {
        m_lastError = query.lastError().text();
        return false;
    }
    for (const QVariant& v : statement.values)
        query.addBindValue(v);
    if (!query.exec()) {
        m_lastError = query.lastError().text();
        return false;
    }
    return true;
}

bool CallHistoryModel::refresh()
{
    beginResetModel();
    resetNodes();
    m_lastError.clear();
    QSqlDatabase db;
    bool ok = openConnection(db);
    if (ok) {
        m_query = std::make_unique<HistoryQuery>(m_engine, m_settings.filter, m_settings.sortColumn,
                                                 m_settings.order, m_settings.groupColumn);
        if (m_query->grouped()) {
            m_groupCursor = std::make_unique<QSqlQuery>(db);
            ok = start(*m_groupCursor, m_query->groups());
            m_groupsDone = !ok;
        } else {
            m_root.cursor = std::make_unique<QSqlQuery>(db);
            ok = start(*m_root.cursor, m_query->calls());
            m_root.done = !ok;
        }
    }
    if (!ok)
        resetNodes();
    endResetModel();
    if (!ok) {
        emit readFailed(m_lastError);
        return false;
    }
    // The first page now, so the window shows rows as soon as it is visible.
    if (m_query->grouped())
        readGroups();
    else
        readCalls(m_root, {});
    return m_lastError.isEmpty();
}

void CallHistoryModel::failed(const QString& error)
{
    m_lastError = error;
    emit readFailed(error);
}

void CallHistoryModel::readCalls(Node& node, const QModelIndex& parent)
{
    if (node.done || !node.cursor)
        return;
    std::vector<Call> page;
    QSqlQuery& q = *node.cursor;
    while (int(page.size()) < kPageSize && q.next()) {
        Call c;
        c.id = q.value(HistoryQuery::fCallID).toInt();
        c.date = readCallDate(q.value(HistoryQuery::fCallDate));
        c.end = readCallDate(q.value(HistoryQuery::fCallEnd));
        c.duration = readCallDate(q.value(HistoryQuery::fCallDuration));
        c.callerId = q.value(HistoryQuery::fCallerID).toString();
        c.callerName = q.value(HistoryQuery::fCallerName).toString();
        c.callerGuid = q.value(HistoryQuery::fCallerGUID).toString();
        c.callerExtra = q.value(HistoryQuery::fCallerExtra).toString();
        c.calledId = q.value(HistoryQuery::fCalledID).toString();
        c.calledName = q.value(HistoryQuery::fCalledName).toString();
        c.calledExtra = q.value(HistoryQuery::fCalledExtra).toString();
        c.incoming = q.value(HistoryQuery::fIncoming).toBool();
        c.answered = q.value(HistoryQuery::fAnswered).toBool();
        page.push_back(std::move(c));
    }
    m_rowsRead += qint64(page.size());
    const bool end = int(page.size()) < kPageSize;
    const QString error = q.lastError().isValid() ? q.lastError().text() : QString();
    if (end) {
        node.done = true;
        node.cursor.reset(); // no read is left open on the database
    }
    if (!page.empty()) {
        const int first = int(node.calls.size());
        beginInsertRows(parent, first, first + int(page.size()) - 1);
        std::move(page.begin(), page.end(), std::back_inserter(node.calls));
        endInsertRows();
    }
    if (!error.isEmpty())
        failed(error);
}

void CallHistoryModel::readGroups()
{
    if (m_groupsDone || !m_groupCursor)
        return;
    QSqlQuery& q = *m_groupCursor;
    const int n = m_query->groupValueCount();
    std::vector<std::unique_ptr<Node>> page;
    while (int(page.size()) < kPageSize && q.next()) {
        auto group = std::make_unique<Node>();
        for (int i = 0; i < n; ++i)
            group->values << q.value(i);
        group->count = q.value(n).toLongLong();
        group->position = int(m_groups.size() + page.size());
        page.push_back(std::move(group));
    }
    const QString error = q.lastError().isValid() ? q.lastError().text() : QString();
    if (int(page.size()) < kPageSize) {
        m_groupsDone = true;
        m_groupCursor.reset();
    }
    if (!page.empty()) {
        const int first = int(m_groups.size());
        beginInsertRows({}, first, first + int(page.size()) - 1);
        std::move(page.begin(), page.end(), std::back_inserter(m_groups));
        endInsertRows();
    }
    if (!error.isEmpty())
        failed(error);
}

CallHistoryModel::Node* CallHistoryModel::nodeOf(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return const_cast<Node*>(&m_root);
    if (parent.internalPointer() == &m_root && m_query && m_query->grouped() &&
        size_t(parent.row()) < m_groups.size())
        return m_groups[size_t(parent.row())].get();
    return nullptr;
}

const CallHistoryModel::Call* CallHistoryModel::callAt(const QModelIndex& index) const
{
    if (!index.isValid())
        return nullptr;
    const auto* node = static_cast<const Node*>(index.internalPointer());
    if (node == &m_root && m_query && m_query->grouped())
        return nullptr; // a group row
    if (size_t(index.row()) >= node->calls.size())
        return nullptr;
    return &node->calls[size_t(index.row())];
}

bool CallHistoryModel::isGroup(const QModelIndex& index) const
{
    return index.isValid() && index.internalPointer() == &m_root && m_query && m_query->grouped();
}

qint32 CallHistoryModel::callId(const QModelIndex& index) const
{
    const Call* c = callAt(index);
    return c ? c->id : 0;
}

CallSummary CallHistoryModel::summary(const QModelIndex& index) const
{
    CallSummary s;
    if (const Call* c = callAt(index)) {
        s.date = c->date;
        s.end = c->end;
        s.incoming = c->incoming;
        s.answered = c->answered;
        s.callerId = c->callerId;
        s.callerName = c->callerName;
        s.callerExtra = c->callerExtra;
        s.calledId = c->calledId;
        s.calledName = c->calledName;
        s.calledExtra = c->calledExtra;
    }
    return s;
}

QString CallHistoryModel::groupKey(const QModelIndex& index) const
{
    if (!isGroup(index))
        return {};
    return groupKeyOf(m_groups[size_t(index.row())]->values);
}

QModelIndex CallHistoryModel::groupByKey(const QString& key) const
{
    for (const auto& g : m_groups)
        if (groupKeyOf(g->values) == key)
            return createIndex(g->position, 0, const_cast<Node*>(&m_root));
    return {};
}

QModelIndex CallHistoryModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    return createIndex(row, column, nodeOf(parent));
}

QModelIndex CallHistoryModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    const auto* node = static_cast<const Node*>(child.internalPointer());
    if (node == &m_root)
        return {};
    return createIndex(node->position, 0, const_cast<Node*>(&m_root));
}

int CallHistoryModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    if (!parent.isValid())
        return m_query && m_query->grouped() ? int(m_groups.size()) : int(m_root.calls.size());
    const Node* node = isGroup(parent) ? m_groups[size_t(parent.row())].get() : nullptr;
    return node ? int(node->calls.size()) : 0;
}

int CallHistoryModel::columnCount(const QModelIndex&) const
{
    return HistoryColumns::Count;
}

bool CallHistoryModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return rowCount() > 0 || canFetchMore(parent);
    return isGroup(parent) && parent.column() == 0 && m_groups[size_t(parent.row())]->count > 0;
}

bool CallHistoryModel::canFetchMore(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return m_query && m_query->grouped() ? !m_groupsDone : !m_root.done;
    if (!isGroup(parent))
        return false;
    const Node& group = *m_groups[size_t(parent.row())];
    return !group.done;
}

void CallHistoryModel::fetchMore(const QModelIndex& parent)
{
    if (!parent.isValid()) {
        if (m_query && m_query->grouped())
            readGroups();
        else
            readCalls(m_root, {});
        return;
    }
    if (!isGroup(parent))
        return;
    Node& group = *m_groups[size_t(parent.row())];
    const QModelIndex first = index(parent.row(), 0);
    if (!group.cursor && !group.done) {
        group.cursor = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connectionName, false));
        if (!start(*group.cursor, m_query->callsOfGroup(group.values))) {
            group.cursor.reset();
            group.done = true;
            failed(m_lastError);
            return;
        }
    }
    readCalls(group, first);
}

void CallHistoryModel::sort(int column, Qt::SortOrder order)
{
    if (HistoryColumns::sortExpressions(column, m_engine).isEmpty())
        return;
    if (column == m_settings.sortColumn && order == m_settings.order)
        return;
    m_settings.sortColumn = column;
    m_settings.order = order;
    refresh();
    emit sorted(column, order);
}

QString CallHistoryModel::groupLabel(const Node& group) const
{
    using namespace HistoryColumns;
    const int column = m_settings.groupColumn;
    QString value;
    const QVariant first = group.values.value(0);
    switch (column) {
    case Caller:
    case Called:
        value = FormatPartyName(m_loc, first.toString(), group.values.value(1).toString());
        break;
    case CallDate:
        value = QLocale().toString(first.typeId() == QMetaType::QDate
                                       ? first.toDate()
                                       : QDate::fromString(first.toString(), Qt::ISODate),
                                   QLocale::ShortFormat);
        break;
    case Incoming:
    case Answered:
        value =
            first.toBool() ? m_loc.GetS(QStringLiteral("Yes")) : m_loc.GetS(QStringLiteral("No"));
        break;
    case CallDuration:
        value = readCallDate(first).time().toString(QStringLiteral("HH:mm:ss"));
        break;
    default:
        value = first.toString();
    }
    return m_loc.GetS(QString::fromLatin1(info(column).caption)) + QStringLiteral(": ") + value +
           QStringLiteral(" (") + QString::number(group.count) + QLatin1Char(')');
}

QString CallHistoryModel::cellText(const Call& c, int column) const
{
    using namespace HistoryColumns;
    switch (column) {
    case CallID:
        return QString::number(c.id);
    case CallDate:
        return QLocale().toString(c.date, QLocale::ShortFormat);
    case CallTime:
        return c.date.time().toString(QStringLiteral("HH:mm:ss"));
    case CallDuration:
        return c.duration.isValid() ? c.duration.time().toString(QStringLiteral("HH:mm:ss"))
                                    : QString();
    case Caller:
        return FormatPartyName(m_loc, c.callerId, c.callerName);
    case CallerNumber:
        return c.callerId;
    case CallerName:
        return c.callerName;
    case Called:
        return FormatPartyName(m_loc, c.calledId, c.calledName);
    case CalledNumber:
        return c.calledId;
    case CalledName:
        return c.calledName;
    case CallerGuid:
        return c.callerGuid;
    default:
        return {};
    }
}

QVariant CallHistoryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    if (isGroup(index)) {
        if (role == Qt::DisplayRole && index.column() == m_labelColumn)
            return groupLabel(*m_groups[size_t(index.row())]);
        return {};
    }
    const Call* c = callAt(index);
    if (!c)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return cellText(*c, index.column());
    case Qt::CheckStateRole:
        if (index.column() == HistoryColumns::Incoming)
            return c->incoming ? Qt::Checked : Qt::Unchecked;
        if (index.column() == HistoryColumns::Answered)
            return c->answered ? Qt::Checked : Qt::Unchecked;
        return {};
    case CallIdRole:
        return c->id;
    case TodayRole:
        return index.column() == HistoryColumns::CallDate &&
               c->date.date() >= Clock::instance().now().date();
    default:
        return {};
    }
}

QVariant CallHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= HistoryColumns::Count)
        return {};
    // The captions are translated here, whatever language is in use.
    return m_loc.GetS(QString::fromLatin1(HistoryColumns::info(section).caption));
}

Qt::ItemFlags CallHistoryModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
