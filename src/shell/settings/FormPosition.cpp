#include "shell/settings/FormPosition.h"

#include "shell/settings/FormWindow.h"
#include "shell/settings/SettingsStore.h"

#include <algorithm>

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

    // Back onto the work area of its screen, e.g. after a monitor was removed:
    // the frame's top-left corner, where the title bar begins, always lies on
    // it. Right and bottom are exclusive edges, as the desktop reports them.
    const QRect normal = window.normalGeometry();
    const QMargins margins = window.frameMargins();
    const QRect frame(normal.topLeft(), QSize(normal.width() + margins.left() + margins.right(),
                                              normal.height() + margins.top() + margins.bottom()));
    const QRect area = window.workArea(frame);
    if (area.isEmpty())
        return;
    int left = frame.x();
    int top = frame.y();
    if (left >= area.x() + area.width())
        left = area.x() + area.width() - frame.width();
    if (top >= area.y() + area.height())
        top = area.y() + area.height() - frame.height();
    // A window larger than the area keeps its title bar on it.
    left = std::max(left, area.x());
    top = std::max(top, area.y());
    if (left != frame.x())
        window.setLeft(left);
    if (top != frame.y())
        window.setTop(top);
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
