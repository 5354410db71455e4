#pragma once

#include <QWidget>

class MainOptions;
class QCheckBox;
class QLabel;
class QLineEdit;
class QSlider;
class QVBoxLayout;

// The "Notification" option page: whether and how the caller popup shows
// (auto-hide with its seconds, transparency, closing at the end of the call);
// the notification plug-ins join it once they are loaded.
class NotificationPage : public QWidget
{
    Q_OBJECT
public:
    explicit NotificationPage(MainOptions& options, QWidget* parent = nullptr);

    void addPluginGroup(QWidget* group);
    void setLocked(bool locked);

private:
    void showTransparency(int percent);
    void updateEnabled();

    MainOptions& m_options;
    bool m_locked = false;
    QCheckBox* m_cbPopup = nullptr;
    QWidget* m_pbShowNotification = nullptr;
    QCheckBox* m_cbAutoHide = nullptr;
    QLineEdit* m_txtAutoHideSeconds = nullptr;
    QSlider* m_slTransparency = nullptr;
    QLabel* m_lblTransparency = nullptr;
    QCheckBox* m_cbHideNotificationOnEndOfCall = nullptr;
    QVBoxLayout* m_layout = nullptr;
};
