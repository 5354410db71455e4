#include "HistoryQuery.h"

#include "HistoryColumns.h"

#include <QStringList>

namespace {

const QString kFields = QStringLiteral(
    "CallID, CallDate, CallEnd, CallDuration, CallerID, CallerName, CallerGUID, CallerExtra, "
    "CalledID, CalledName, CalledExtra, Incoming, Answered");

QString direction(Qt::SortOrder order)
{
    return order == Qt::AscendingOrder ? QStringLiteral(" ASC") : QStringLiteral(" DESC");
}

} // namespace

HistoryQuery::HistoryQuery(ConnectionString::Engine engine, HistoryFilter filter, int sortColumn,
                           Qt::SortOrder order, int groupColumn)
    : m_engine(engine), m_filter(std::move(filter)), m_sortColumn(sortColumn), m_order(order),
      m_groupColumn(HistoryColumns::groupExpressions(groupColumn, engine).isEmpty() ? -1
                                                                                    : groupColumn)
{
    if (HistoryColumns::sortExpressions(m_sortColumn, engine).isEmpty()) {
        m_sortColumn = HistoryColumns::CallDate;
        m_order = Qt::DescendingOrder;
    }
    // With no column to search, the names are searched.
    if (!m_filter.numbers && !m_filter.names && !m_filter.extra)
        m_filter.names = true;
}

QString HistoryQuery::containsPattern(const QString& text)
{
    QString escaped;
    for (const QChar c : text) {
        if (c == QLatin1Char('!') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            escaped += QLatin1Char('!');
        escaped += c;
    }
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

int HistoryQuery::groupValueCount() const
{
    return int(HistoryColumns::groupExpressions(m_groupColumn, m_engine).size());
}

QString HistoryQuery::where(QVariantList& values) const
{
    const QString text = m_filter.text.trimmed();
    if (text.isEmpty())
        return {};
    QStringList columns;
    if (m_filter.names)
        columns << QStringLiteral("CalledName") << QStringLiteral("CallerName");
    if (m_filter.numbers)
        columns << QStringLiteral("CallerID") << QStringLiteral("CalledID");
    if (m_filter.extra)
        columns << QStringLiteral("CallerExtra") << QStringLiteral("CalledExtra");
    QStringList tests;
    const QString pattern = containsPattern(text);
    for (const QString& column : columns) {
        tests << column + QStringLiteral(" LIKE ? ESCAPE '!'");
        values << pattern;
    }
    return QLatin1Char('(') + tests.join(QStringLiteral(" OR ")) + QLatin1Char(')');
}

QString HistoryQuery::orderBy() const
{
    QStringList parts;
    for (const QString& e : HistoryColumns::sortExpressions(m_sortColumn, m_engine))
        parts << e + direction(m_order);
    // Newest first within equal values; the date index serves the plain order.
    if (m_sortColumn != HistoryColumns::CallDate)
        parts << QStringLiteral("CallDate DESC");
    return QStringLiteral(" ORDER BY ") + parts.join(QStringLiteral(", "));
}

SqlStatement HistoryQuery::calls() const
{
    SqlStatement s;
    const QString filter = where(s.values);
    s.sql = QStringLiteral("SELECT ") + kFields + QStringLiteral(" FROM Calls") +
            (filter.isEmpty() ? QString() : QStringLiteral(" WHERE ") + filter) + orderBy();
    return s;
}

SqlStatement HistoryQuery::groups() const
{
    SqlStatement s;
    const QStringList exprs = HistoryColumns::groupExpressions(m_groupColumn, m_engine);
    const QString filter = where(s.values);
    // Dates newest first; a group column that is also the sort column follows its order.
    Qt::SortOrder order =
        m_groupColumn == HistoryColumns::CallDate ? Qt::DescendingOrder : Qt::AscendingOrder;
    if (m_groupColumn == m_sortColumn)
        order = m_order;
    QStringList ordered;
    for (const QString& e : exprs)
        ordered << e + direction(order);
    s.sql = QStringLiteral("SELECT ") + exprs.join(QStringLiteral(", ")) +
            QStringLiteral(", COUNT(*) FROM Calls") +
            (filter.isEmpty() ? QString() : QStringLiteral(" WHERE ") + filter) +
            QStringLiteral(" GROUP BY ") + exprs.join(QStringLiteral(", ")) +
            QStringLiteral(" ORDER BY ") + ordered.join(QStringLiteral(", "));
    return s;
}

SqlStatement HistoryQuery::callsOfGroup(const QVariantList& groupValues) const
{
    SqlStatement s;
    const QStringList exprs = HistoryColumns::groupExpressions(m_groupColumn, m_engine);
    QStringList tests;
    const QString filter = where(s.values);
    if (!filter.isEmpty())
        tests << filter;
    for (int i = 0; i < exprs.size(); ++i) {
        const QVariant value = groupValues.value(i);
        if (value.isNull()) {
            tests << exprs.at(i) + QStringLiteral(" IS NULL");
        } else {
            tests << exprs.at(i) + QStringLiteral(" = ?");
            s.values << value;
        }
    }
    s.sql = QStringLiteral("SELECT ") + kFields + QStringLiteral(" FROM Calls WHERE ") +
            tests.join(QStringLiteral(" AND ")) + orderBy();
    return s;
}
