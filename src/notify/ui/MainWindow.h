#pragma once

#include "shell/startup/MainWindowView.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class CallPopupWindows;
class DialogEditors;
class FrmCallHistory;
class GeneralPage;
class NotificationPage;
class PluginPages;
class Program;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QTabWidget;
class QTableView;
class QTableWidget;
class QVBoxLayout;
class SysTray;

// The desktop program's main window: the view of the controller. It holds the
// option pages, the log, the device list and the start/stop button, and the
// menus. Its close button only hides it; Exit ends the program.
class MainWindow : public QMainWindow, public MainWindowView
{
    Q_OBJECT
public:
    explicit MainWindow(Program& program, QWidget* parent = nullptr);
    ~MainWindow() override;

    // MainWindowView
    void translate() override;
    void restorePosition() override;
    void showTrayIcon(bool show) override;
    void showWindow() override;
    void hideWindow() override;
    bool windowVisible() const override { return isVisible(); }
    void saveWindowState() override;

    SysTray* sysTray() const { return m_tray.get(); }
    // The caller popups the controller opens for calls.
    CallPopupWindows* callPopups() const { return m_popups.get(); }
    QMenu* trayMenu() const { return m_trayMenu; }
    // The option pages "General", "Connection", "Contacts", "Notification",
    // "Server" and "MSNs", in that order (tab captions are translated).
    QTabWidget* tabPages() const { return m_tabs; }

    // frmCallHistory, made when it is first opened (mnuCallHist, mnuCallHistTray).
    void showCallHistory();
    FrmCallHistory* callHistory() const { return m_callHistory.get(); }
    // Opens the call-details window for a database call id; the history's double click.
    std::function<void(qint32 dbCallId)> openCallDetails;
    // The windows of the Calls menu and the tray menu. A menu entry whose
    // hook is empty is disabled; the tray's double click with "Open call
    // history!" shows this window while openCallHistory is empty.
    std::function<void()> openCallHistory;
    std::function<void()> openStartCall;
    std::function<void()> simulateCall;
    // The tray action the double click and the bold tray entry follow.
    int trayIconAction() const;

    // Set once the program is unloading: the close button then really closes.
    void setUnloading(bool unloading) { m_unloading = unloading; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void buildTrayMenu();
    QWidget* buildConnectionPage();
    QWidget* buildServerPage();
    void attachServer();
    void attachPlugins();
    void translateClientCaptions();
    QWidget* buildNumbersPage();
    QWidget* buildContactsPage();
    void fillDataSources();
    void dataSourceChosen(int index);
    void updateEditContacts();
    void openDataSourceSettings();
    void editContacts();
    void ignoreAddressBook(bool ignore);
    QWidget* buildStatusBar();

    void fillDeviceList();
    void fillMsnGrid();
    void syncOptionControls();
    void refreshStatus();
    void onDeviceItemChanged(QListWidgetItem* item);
    void editCurrentDevice();
    void editCurrentMsn();
    void trayDoubleClicked();
    void prepareTrayMenu();
    void updateHookActions();
    void backupSettings();
    void tickLanguage(const QString& column);
    void changeLanguage(const QString& column);
    void exportTexts();
    void showAbout();

    Program& m_program;
    std::unique_ptr<DialogEditors> m_editors;
    std::unique_ptr<SysTray> m_tray;
    std::unique_ptr<CallPopupWindows> m_popups;
    std::unique_ptr<FrmCallHistory> m_callHistory;
    bool m_unloading = false;
    bool m_filling = false;

    QTabWidget* m_tabs = nullptr;
    GeneralPage* m_general = nullptr;
    NotificationPage* m_notification = nullptr;
    QListWidget* m_lstTapiDevices = nullptr;
    QPushButton* m_btnEditDevice = nullptr;
    QComboBox* m_cmbOutgoingDevice = nullptr;
    QVBoxLayout* m_connectionPluginsSlot = nullptr;
    PluginPages* m_pluginPages = nullptr;
    QLineEdit* m_txtAcceptedNumber = nullptr;
    QTableWidget* m_grdMSNs = nullptr;
    QWidget* m_serverPage = nullptr;
    QCheckBox* m_cbPhonavoServer = nullptr;
    QWidget* m_fraServer = nullptr;
    QWidget* m_fraClients = nullptr;
    QLineEdit* m_txtPort = nullptr;
    QLineEdit* m_txtPassword = nullptr;
    QLineEdit* m_txtPassword2 = nullptr;
    QTableView* m_grdClients = nullptr;
    QWidget* m_contactsPage = nullptr;
    QComboBox* m_cmbDataConnection = nullptr;
    QPushButton* m_btnDataConnection = nullptr;
    QPushButton* m_btnEditContacts = nullptr;
    QLabel* m_lblStatus = nullptr;
    QPushButton* m_btnStartStop = nullptr;
    QMenu* m_trayMenu = nullptr;
    QAction* m_mnuExportTexts = nullptr;
    QAction* m_mnuTrayShow = nullptr;
    QAction* m_mnuCallHistTray = nullptr;
    QList<QPair<QAction*, const std::function<void()>*>> m_hookActions;
};
