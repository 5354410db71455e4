#pragma once

#include <QWidget>

class MainForm;
class ProgramLog;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListView;

// The "General" option page: what happens at start, the tray icon's double
// click, the own country code, the call history switch, and the program log.
class GeneralPage : public QWidget
{
    Q_OBJECT
public:
    GeneralPage(MainForm& form, ProgramLog& log, QWidget* parent = nullptr);

    // Options are locked while monitoring runs; the tray action (stored at
    // once, it only concerns the tray) and the log switch are not.
    void setLocked(bool locked);
    // cbTapiLog follows the log switch of the settings.
    void syncLogSwitch();

private:
    void showTrayAction(int action);
    void trayActionChosen(int index);
    void startWithDesktop(bool on);
    void showLogLine(const QModelIndex& index);

    MainForm& m_form;
    ProgramLog& m_log;
    bool m_syncing = false;
    QCheckBox* m_cbConnectOnStart = nullptr;
    QCheckBox* m_cbHideOnstart = nullptr;
    QCheckBox* m_cbStartWithDesktop = nullptr;
    QComboBox* m_cmbTrayAction = nullptr;
    QLineEdit* m_txtCountryCode = nullptr;
    QCheckBox* m_cbAddToCallHist = nullptr;
    QListView* m_lstLog = nullptr;
    QCheckBox* m_cbTapiLog = nullptr;
};
