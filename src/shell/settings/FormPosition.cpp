#include "shell/settings/FormPosition.h"

#include "shell/settings/FormWindow.h"
#include "shell/settings/SettingsStore.h"

namespace {

constexpr auto kUser = SettingsStore::Hive::CurrentUser;

QString keyFor(const FormWindow& window, const QString& keyName)
{
    return keyName.isEmpty() ? window.objectName() : keyName;
}

} // namespace

void FormPosition::RestoreFormPos(SettingsStore& store, FormWindow& window, const QString& keyName,
                                  bool withSize)
{
    const QString key = keyFor(window, keyName);
    window.setLeft(store.getInt(kUser, key, QStringLiteral("Left"), window.normalGeometry().x()));
    window.setTop(store.getInt(kUser, key, QStringLiteral("Top"), window.normalGeometry().y()));
    const int state = store.getInt(kUser, key, QStringLiteral("WindowState"), window.windowState());
    if (state >= FormWindow::Normal && state <= FormWindow::Maximized)
        window.setWindowState(state);

    if (withSize) {
        window.setWidth(std::max(
            store.getInt(kUser, key, QStringLiteral("Width"), window.normalGeometry().width()),
            MinWidth));
        window.setHeight(std::max(
            store.getInt(kUser, key, QStringLiteral("Height"), window.normalGeometry().height()),
            MinHeight));
    }

    // Back onto the work area, e.g. after a monitor was removed. Right and
    // bottom are exclusive edges, as the desktop reports them.
    const QRect area = window.workArea();
    const int areaRight = area.x() + area.width();
    const int areaBottom = area.y() + area.height();
    QRect g = window.normalGeometry();
    if (g.x() < area.x())
        window.setLeft(area.x());
    if (g.y() < area.y())
        window.setTop(area.y());
    g = window.normalGeometry();
    if (areaRight >= 1 && g.x() > areaRight)
        window.setLeft(areaRight - g.width());
    if (areaBottom >= 1 && g.y() > areaBottom)
        window.setTop(areaBottom - g.height());
}

void FormPosition::SaveFormPos(SettingsStore& store, FormWindow& window, const QString& keyName)
{
    const QString key = keyFor(window, keyName);
    const int state = window.windowState();
    if (state != FormWindow::Minimized && state != FormWindow::Maximized) {
        store.SaveSettingHKCU(key, QStringLiteral("Left"), QString::number(window.left()));
        store.SaveSettingHKCU(key, QStringLiteral("Top"), QString::number(window.top()));
        store.SaveSettingHKCU(key, QStringLiteral("Width"), QString::number(window.width()));
        store.SaveSettingHKCU(key, QStringLiteral("Height"), QString::number(window.height()));
    }
    store.SaveSettingHKCU(key, QStringLiteral("WindowState"), QString::number(state));
    store.SaveSettingHKCU(key, QStringLiteral("Visible"),
                          window.isVisible() ? QStringLiteral("1") : QStringLiteral("0"));
}
