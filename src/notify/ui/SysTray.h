#pragma once

#include "core/pipeline/CallSeams.h"

#include <QIcon>
#include <QObject>

class QAction;
class QMenu;
class QSystemTrayIcon;
class MainForm;

// The tray icon (frmSysTray): shows whether monitoring runs, says so in its
// tool tip, and offers the tray menu. Made and removed by ShowHideTrayIcon.
class SysTray : public QObject, public TrayPresence
{
    Q_OBJECT
public:
    // The tray tool tip is kept to the length the shell field always had.
    static constexpr int kMaxToolTip = 63;

    SysTray(MainForm& form, QMenu& trayMenu, QObject* parent = nullptr);
    ~SysTray() override;

    // TrayPresence
    void setToolTip(const QString& text) override;
    void refresh() override;
    void reRegister() override;

    QString toolTip() const { return m_toolTip; }
    bool showsActiveIcon() const { return m_activeIcon; }

    static QIcon stateIcon(bool active);

signals:
    void doubleClicked();
    void menuAboutToShow();

private:
    MainForm& m_form;
    QMenu& m_menu;
    QSystemTrayIcon* m_icon = nullptr;
    QString m_toolTip;
    bool m_activeIcon = false;
};
