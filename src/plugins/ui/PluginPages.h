#pragma once

#include <QGroupBox>
#include <QObject>

class MainForm;
class PluginHostService;
class QCheckBox;
class QComboBox;
class QListWidget;
class QPushButton;
class QWidget;

// The main window's plug-in controls: the connection and notification plug-in
// lists with their information and settings buttons, and the reverse-lookup
// frame (country, plug-in, settings). Built once the plug-ins are loaded.
class PluginPages : public QObject
{
    Q_OBJECT
public:
    PluginPages(PluginHostService& host, MainForm& form, QObject* parent = nullptr);

    QWidget* connectionGroup() const { return m_connectionGroup; }
    QWidget* notificationGroup() const { return m_notificationGroup; }
    QWidget* reverseFrame() const { return m_fraReverseLookup; }

    void fillConnectionList();
    void fillNotificationList();
    void fillReverseCountries();
    // The option controls are locked while monitoring runs.
    void setLocked(bool locked);

private:
    void buildConnectionGroup();
    void buildNotificationGroup();
    void buildReverseFrame();
    void fillReversePlugins();
    void updateReverseButtons();

    PluginHostService& m_host;
    MainForm& m_form;
    bool m_filling = false;

    QGroupBox* m_connectionGroup = nullptr;
    QListWidget* m_lstConnectionPlugins = nullptr;
    QPushButton* m_btnConnectionPluginInfo = nullptr;
    QPushButton* m_btnEditConnPluginSettings = nullptr;
    QGroupBox* m_notificationGroup = nullptr;
    QListWidget* m_lstNotificationPlugins = nullptr;
    QPushButton* m_btnShowNotificationPluginInfo = nullptr;
    QPushButton* m_btnEditNotificationSettings = nullptr;
    QGroupBox* m_fraReverseLookup = nullptr;
    QCheckBox* m_cbReverseLookup = nullptr;
    QComboBox* m_cmbReverseCountry = nullptr;
    QComboBox* m_cmbReversePlugin = nullptr;
    QPushButton* m_btnReversePluginSettings = nullptr;
};
