#include "HistoryLayout.h"

#include "HistoryColumns.h"
#include "shell/settings/SettingsStore.h"

#include <QRegularExpression>

namespace {

using Hive = SettingsStore::Hive;

QString keyPath(const QString& section)
{
    return SettingsStore::rootKey() + QLatin1Char('\\') + section;
}

QString groupsText(int groupColumn)
{
    if (groupColumn < 0)
        return QStringLiteral("<Groups/>");
    return QStringLiteral("<Groups><Group><Prop name=\"ColKey\" value=\"%1\"/></Group></Groups>")
        .arg(QLatin1String(HistoryColumns::info(groupColumn).key));
}

} // namespace

HistoryLayout HistoryLayout::defaults()
{
    HistoryLayout layout;
    for (int c = 0; c < HistoryColumns::Count; ++c) {
        const auto& info = HistoryColumns::info(c);
        layout.widths << (info.hidden ? 0 : HistoryColumns::twipsToPixels(info.widthTwips));
    }
    layout.sortColumn = HistoryColumns::CallDate;
    return layout;
}

HistoryLayout HistoryLayout::load(const SettingsStore& settings, const QString& section,
                                  QString* problem)
{
    const auto value = [&](const QString& name) {
        return settings.getString(Hive::CurrentUser, section, name, QString());
    };
    HistoryLayout layout = defaults();
    const QStringList names = settings.RegEnumValues(Hive::CurrentUser, keyPath(section));
    if (names.size() <= 1)
        return layout; // nothing stored
    const auto refuse = [&](const QString& why) {
        if (problem)
            *problem = why;
        return defaults();
    };
    if (value(QStringLiteral("Version")) != QString::number(kVersion))
        return refuse(
            QStringLiteral("layout version \"%1\"").arg(value(QStringLiteral("Version"))));
    for (int c = 0; c < HistoryColumns::Count; ++c) {
        const QString text = value(QString::number(c + 1) + QStringLiteral("WIDTH"));
        if (text.isEmpty())
            continue;
        bool ok = false;
        const int width = text.toInt(&ok);
        if (!ok || width < 0 || width > kMaxWidth)
            return refuse(QStringLiteral("width of column %1 is \"%2\"").arg(c + 1).arg(text));
        layout.widths[c] = width;
    }
    if (const QString sort = value(QStringLiteral("1SO")); !sort.isEmpty()) {
        static const QRegularExpression kSort(QStringLiteral("^(\\w+) (ASC|DESC)$"));
        const auto m = kSort.match(sort);
        const int column = m.hasMatch() ? HistoryColumns::byKey(m.captured(1)) : -1;
        if (column < 0 || HistoryColumns::sortExpressions(column, {}).isEmpty())
            return refuse(QStringLiteral("sort key \"%1\"").arg(sort));
        layout.sortColumn = column;
        layout.order =
            m.captured(2) == QLatin1String("ASC") ? Qt::AscendingOrder : Qt::DescendingOrder;
    }
    if (const QString group = value(QStringLiteral("1GR")); !group.isEmpty()) {
        const int column = HistoryColumns::byKey(group);
        if (column < 0 || HistoryColumns::groupExpressions(column, {}).isEmpty())
            return refuse(QStringLiteral("grouping \"%1\"").arg(group));
        layout.groupColumn = column;
    }
    if (value(QStringLiteral("Groups")) != groupsText(layout.groupColumn))
        return refuse(QStringLiteral("groups \"%1\"").arg(value(QStringLiteral("Groups"))));
    return layout;
}

void HistoryLayout::save(SettingsStore& settings, const QString& section) const
{
    settings.deleteKeyTree(Hive::CurrentUser, keyPath(section));
    const auto put = [&](const QString& name, const QString& text) {
        settings.SaveSettingHKCU(section, name, text);
    };
    put(QStringLiteral("Version"), QString::number(kVersion));
    put(QStringLiteral("1SO"),
        QLatin1String(HistoryColumns::info(sortColumn).key) +
            (order == Qt::AscendingOrder ? QStringLiteral(" ASC") : QStringLiteral(" DESC")));
    for (int c = 0; c < widths.size(); ++c)
        put(QString::number(c + 1) + QStringLiteral("WIDTH"), QString::number(widths.at(c)));
    if (groupColumn >= 0)
        put(QStringLiteral("1GR"), QLatin1String(HistoryColumns::info(groupColumn).key));
    put(QStringLiteral("Groups"), groupsText(groupColumn));
    // Groups open closed, so there is no list of closed ones to keep.
    put(QStringLiteral("Collapsed"), QString());
}
