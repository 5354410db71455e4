#include "MainWindow.h"

#include "AboutDialog.h"
#include "DialogEditors.h"
#include "GeneralPage.h"
#include "NotificationPage.h"
#include "OptionBinding.h"
#include "SysTray.h"
#include "contacts/addressbook/AddressBookService.h"
#include "contacts/lookup/NumberLookup.h"
#include "contacts/manager/ContactManagerLauncher.h"
#include "contacts/store/CallDatabaseSwitch.h"
#include "contacts/ui/AddressBookDialog.h"
#include "contacts/ui/DataConnectionDialog.h"
#include "core/controller/MainForm.h"
#include "core/devices/ui/FrmDevice.h"
#include "history/ui/CallDetailsWindow.h"
#include "history/ui/FrmCallHistory.h"
#include "loc/Languages.h"
#include "loc/ui/FormTranslator.h"
#include "notify/ui/CallPopupWindow.h"
#include "platform/db/ui/ConnectionStringDialog.h"
#include "platform/desktop/ShellOpen.h"
#include "plugins/host/PluginHostService.h"
#include "plugins/ui/PluginPages.h"
#include "server/connections/PhonavoServer.h"
#include "server/msn/ui/FrmMSN.h"
#include "shell/dialling/CallSimulator.h"
#include "shell/dialling/ui/FrmSimulateCall.h"
#include "shell/dialling/ui/FrmStartCall.h"
#include "shell/dialogs/DialogService.h"
#include "shell/settings/FormPosition.h"
#include "shell/settings/SettingsStore.h"
#include "shell/startup/ExitCommands.h"
#include "shell/startup/Program.h"
#include "shell/ui/WidgetFormWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The main window's first size, in twips.
constexpr int kDefaultWidth = 9770;
constexpr int kDefaultHeight = 7790;

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QAction* namedAction(QMenu* menu, const char* name, const QString& caption)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QMenu* namedMenu(QMenu* menu, const char* name)
{
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

} // namespace

MainWindow::MainWindow(Program& program, QWidget* parent)
    : QMainWindow(parent), m_program(program),
      m_editors(std::make_unique<DialogEditors>(program.settings(), program.loc(),
                                                program.mainForm().sound(), this))
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromLatin1(MainForm::kProductName));
    // Every window of the program, the call history and popups too.
    QApplication::setWindowIcon(SysTray::stateIcon(true));
    MainForm& form = program.mainForm();
    form.setDeviceEditor(m_editors.get());
    form.setMsnEditor(m_editors.get());
    CallPopupContext popups;
    popups.form = &form;
    popups.addressBook = [&program] { return program.addressBook(); };
    popups.contactManager = [&program] { return program.contactManager(); };
    popups.contactEditingTakenOver = [this] {
        return m_btnEditContacts &&
               m_btnEditContacts->property("Tag").toString() == QLatin1String("1");
    };
    m_popups = std::make_unique<CallPopupWindows>(popups);
    form.setPopupFactory(m_popups.get());
    // Once the start is over, the first call's popup is made ready.
    QTimer::singleShot(CallPopupWindows::kSpareAfterMs, m_popups.get(),
                       &CallPopupWindows::prepareSpare);

    openCallHistory = [this] { showCallHistory(); };
    openStartCall = [this] { FrmStartCall::StartCall(m_program.mainForm(), QString(), this); };
    simulateCall = [this] {
        if (CallSimulator* simulator = m_program.callSimulator())
            FrmSimulateCall::ShowForm(m_program.mainForm(), *simulator, this);
    };
    openCallDetails = [this](qint32 dbCallId) { ::openCallDetails(m_program, dbCallId, this); };
    buildMenus();
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    m_tabs = named(new QTabWidget(central), "TabStrip1");
    // All six titles in full: the window is never narrower than its tabs.
    m_tabs->setUsesScrollButtons(false);
    m_tabs->setElideMode(Qt::ElideNone);
    m_general = new GeneralPage(form, program.log());
    m_notification = new NotificationPage(form.options());
    m_tabs->addTab(m_general, QStringLiteral("General"));
    m_tabs->addTab(buildConnectionPage(), QStringLiteral("Connection"));
    m_tabs->addTab(buildContactsPage(), QStringLiteral("Contacts"));
    m_tabs->addTab(m_notification, QStringLiteral("Notification"));
    m_tabs->addTab(buildServerPage(), QStringLiteral("Server"));
    m_tabs->addTab(buildNumbersPage(), QStringLiteral("MSNs"));
    // pbTabPage1 to pbTabPage6: each page's number is its tab's position.
    for (int i = 0; i < m_tabs->count(); ++i)
        m_tabs->widget(i)->setObjectName(QStringLiteral("pbTabPage%1").arg(i + 1));
    layout->addWidget(m_tabs, 1);
    layout->addWidget(buildStatusBar());
    setCentralWidget(central);

    connect(&form, &MainForm::statusChanged, this, &MainWindow::refreshStatus);
    connect(&form, &MainForm::deviceListChanged, this, &MainWindow::fillDeviceList);
    connect(&form, &MainForm::msnsChanged, this, &MainWindow::fillMsnGrid);
    connect(&form.options(), &MainOptions::changed, this, [this](const QString& control) {
        if (control == QLatin1String("cbPhonavoServer"))
            fillMsnGrid();
    });
    refreshStatus();
}

MainWindow::~MainWindow()
{
    MainForm& form = m_program.mainForm();
    form.setDeviceEditor(nullptr);
    form.setMsnEditor(nullptr);
    form.setPopupFactory(nullptr);
    if (m_tray)
        form.setTrayPresence(nullptr);
}

void MainWindow::buildMenus()
{
    ExitCommands& exits = m_program.exitCommands();
    QMenu* file = namedMenu(menuBar()->addMenu(QStringLiteral("&File")), "mnuFile");
    m_mnuExportTexts = namedAction(file, "mnuExportTexts", QStringLiteral("Export texts"));
    m_mnuExportTexts->setVisible(false);
    connect(m_mnuExportTexts, &QAction::triggered, this, &MainWindow::exportTexts);
    connect(namedAction(file, "mnuHide", QStringLiteral("&Hide window")), &QAction::triggered, this,
            [&exits] { exits.mnuHide(); });
    file->addSeparator();
    connect(namedAction(file, "mnuExit", QStringLiteral("&Exit")), &QAction::triggered, this,
            [&exits] { exits.mnuExit(); });

    // The windows of the Calls menu are reached through hooks (see the header).
    QMenu* calls = namedMenu(menuBar()->addMenu(QStringLiteral("&Calls")), "mnuExtra");
    m_hookActions = {
        {namedAction(calls, "mnuCallHist", QStringLiteral("&Latest calls")), &openCallHistory},
        {namedAction(calls, "mnuStartCall", QStringLiteral("&Start call")), &openStartCall},
        {namedAction(calls, "mnuSimulate", QStringLiteral("&Simulate call")), &simulateCall}};
    connect(calls, &QMenu::aboutToShow, this, &MainWindow::updateHookActions);

    QMenu* options = namedMenu(menuBar()->addMenu(QStringLiteral("&Options")), "mnuOptions");
    QMenu* language = namedMenu(options->addMenu(QStringLiteral("&Language")), "mnuLanguage");
    static const char* const kCaptions[] = {"English",   "German", "Spanish", "Dutch",
                                            "Norwegian", "French", "Swedish"};
    const auto& entries = Languages::menuEntries();
    for (int i = 0; i < entries.size(); ++i) {
        QAction* action = language->addAction(QString::fromLatin1(kCaptions[i]));
        action->setObjectName(entries[i].menuName);
        action->setCheckable(true);
        const QString column = entries[i].column;
        connect(action, &QAction::triggered, this, [this, column] { changeLanguage(column); });
    }
    connect(namedAction(options, "mnuBackupSettings", QStringLiteral("&Backup settings")),
            &QAction::triggered, this, &MainWindow::backupSettings);
    connect(namedAction(options, "mnuResetWarnings", QStringLiteral("Reset warning messages")),
            &QAction::triggered, this, [this] { m_program.mainForm().mnuResetWarnings(); });
    QAction* ignoreAddressBook =
        namedAction(options, "mnuIgnoreOutlook", QStringLiteral("&Ignore address book"));
    ignoreAddressBook->setCheckable(true);
    ignoreAddressBook->setChecked(SettingToBool(m_program.settings().GetSettingHKCU(
        QStringLiteral("Options"), QStringLiteral("DisableOutlook"), QStringLiteral("0"))));
    connect(ignoreAddressBook, &QAction::triggered, this, &MainWindow::ignoreAddressBook);

    connect(namedAction(options, "mnuSetCallDB", QStringLiteral("&Set call-Database")),
            &QAction::triggered, this, [this] {
                if (CallDatabaseSwitch* calls = m_program.callDatabaseSwitch())
                    calls->mnuSetCallDB([this](const QString& current) {
                        return PromptConnectionString(this, current, &m_program.loc());
                    });
            });

    QMenu* help = namedMenu(menuBar()->addMenu(QStringLiteral("&Help")), "mnuHelp");
    ShellOpener& shell = m_program.shell();
    connect(namedAction(help, "mnuHelpIndex", QStringLiteral("&Index")), &QAction::triggered, this,
            [&shell] { shell.DoOpenHelp(QStringLiteral("index")); });
    connect(namedAction(help, "mnuFAQ", QStringLiteral("&FAQ")), &QAction::triggered, this,
            [&shell] { shell.DoOpenHelp(QStringLiteral("faq")); });
    connect(namedAction(help, "mnuWebsite", QStringLiteral("&Website")), &QAction::triggered, this,
            [&shell] { shell.mnuWebsite(); });
    help->addSeparator();
    connect(namedAction(help, "mnuAbout", QStringLiteral("&About")), &QAction::triggered, this,
            &MainWindow::showAbout);
    buildTrayMenu();
}

void MainWindow::buildTrayMenu()
{
    ExitCommands& exits = m_program.exitCommands();
    ShellOpener& shell = m_program.shell();
    m_trayMenu = namedMenu(new QMenu(this), "mnuTray");
    m_trayMenu->setTitle(QStringLiteral("Tray"));
    m_mnuTrayShow = namedAction(m_trayMenu, "mnuTrayShow", QStringLiteral("&Options"));
    connect(m_mnuTrayShow, &QAction::triggered, this, [&exits] { exits.mnuTrayShow(); });
    m_mnuCallHistTray = namedAction(m_trayMenu, "mnuCallHistTray", QStringLiteral("&Latest calls"));
    m_hookActions.append({m_mnuCallHistTray, &openCallHistory});
    m_hookActions.append(
        {namedAction(m_trayMenu, "mnuTrayStartCall", QStringLiteral("&Start call")),
         &openStartCall});
    m_trayMenu->addSeparator();
    connect(namedAction(m_trayMenu, "mnuTrayHelp", QStringLiteral("&Help")), &QAction::triggered,
            this, [&shell] { shell.DoOpenHelp(QString()); });
    connect(namedAction(m_trayMenu, "mnuTrayAbout", QStringLiteral("&About")), &QAction::triggered,
            this, &MainWindow::showAbout);
    m_trayMenu->addSeparator();
    connect(namedAction(m_trayMenu, "mnuTrayExit", QStringLiteral("&Exit")), &QAction::triggered,
            this, [&exits] { exits.mnuTrayExit(); });

    for (const auto& [action, hook] : std::as_const(m_hookActions))
        connect(action, &QAction::triggered, this, [hook] {
            if (*hook)
                (*hook)();
        });
    updateHookActions();
}

void MainWindow::updateHookActions()
{
    for (const auto& [action, hook] : std::as_const(m_hookActions))
        action->setEnabled(bool(*hook));
}

QWidget* MainWindow::buildConnectionPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* lblDevices = named(new QLabel(QStringLiteral("&Monitored line devices:")), "lblDevices");
    layout->addWidget(lblDevices);
    m_lstTapiDevices = named(new QListWidget, "lstTapiDevices");
    lblDevices->setBuddy(m_lstTapiDevices);
    // Device names come from the line sources: never translated.
    m_lstTapiDevices->setProperty("Tag", QStringLiteral("!"));
    layout->addWidget(m_lstTapiDevices, 1);
    auto* deviceRow = new QHBoxLayout;
    m_btnEditDevice = named(new QPushButton(QStringLiteral("&Edit device...")), "btnEditDevice");
    deviceRow->addWidget(m_btnEditDevice);
    deviceRow->addStretch(1);
    layout->addLayout(deviceRow);

    auto* form = new QFormLayout;
    m_cmbOutgoingDevice = named(new QComboBox, "cmbOutgoingDevice");
    m_cmbOutgoingDevice->setProperty("Tag", QStringLiteral("!"));
    auto* lblOutgoing =
        named(new QLabel(QStringLiteral("Device for &outgoing calls:")), "lblOutgoingDevice");
    lblOutgoing->setBuddy(m_cmbOutgoingDevice);
    form->addRow(lblOutgoing, m_cmbOutgoingDevice);
    m_txtAcceptedNumber = named(new QLineEdit, "txtAcceptedNumber");
    m_txtAcceptedNumber->setToolTip(
        QStringLiteral("Only calls for these numbers are shown. Seperated by ;"));
    auto* lblAccepted =
        named(new QLabel(QStringLiteral("Only calls to this &number:")), "lblAcceptedNumber");
    lblAccepted->setBuddy(m_txtAcceptedNumber);
    form->addRow(lblAccepted, m_txtAcceptedNumber);
    layout->addLayout(form);
    // The connection plug-ins join here once they are loaded.
    m_connectionPluginsSlot = new QVBoxLayout;
    layout->addLayout(m_connectionPluginsSlot);

    MainForm& mainForm = m_program.mainForm();
    connect(m_lstTapiDevices, &QListWidget::itemChanged, this, &MainWindow::onDeviceItemChanged);
    connect(m_lstTapiDevices, &QListWidget::itemDoubleClicked, this,
            &MainWindow::editCurrentDevice);
    connect(m_btnEditDevice, &QPushButton::clicked, this, &MainWindow::editCurrentDevice);
    connect(m_cmbOutgoingDevice, &QComboBox::currentTextChanged, this,
            [this, &mainForm](const QString& name) {
                if (!m_filling)
                    mainForm.setOutgoingDevice(name);
            });
    OptionBinding::bind(m_txtAcceptedNumber, mainForm.options());
    return page;
}

QWidget* MainWindow::buildNumbersPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    m_grdMSNs = named(new QTableWidget(0, 3), "grdMSNs");
    m_grdMSNs->setHorizontalHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("MSN"), QStringLiteral("Clients")});
    m_grdMSNs->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grdMSNs->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grdMSNs->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grdMSNs->horizontalHeader()->setStretchLastSection(true);
    m_grdMSNs->verticalHeader()->hide();
    layout->addWidget(m_grdMSNs, 1);
    auto* buttons = new QHBoxLayout;
    auto* btnNew = named(new QPushButton(QStringLiteral("&New")), "btnNewMSN");
    auto* btnEdit = named(new QPushButton(QStringLiteral("&Edit")), "btnEditMSN");
    auto* btnDel = named(new QPushButton(QStringLiteral("&Delete")), "btnDelMSN");
    buttons->addWidget(btnNew);
    buttons->addWidget(btnEdit);
    buttons->addWidget(btnDel);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    MainForm& form = m_program.mainForm();
    connect(btnNew, &QPushButton::clicked, this, [&form] { form.newMSN(); });
    connect(btnEdit, &QPushButton::clicked, this, &MainWindow::editCurrentMsn);
    connect(m_grdMSNs, &QTableWidget::cellDoubleClicked, this, &MainWindow::editCurrentMsn);
    connect(btnDel, &QPushButton::clicked, this, [this, &form] {
        if (m_grdMSNs->currentRow() >= 0)
            form.deleteMSN(m_grdMSNs->currentRow() + 1);
    });
    return page;
}

QWidget* MainWindow::buildContactsPage()
{
    m_contactsPage = new QWidget;
    auto* layout = new QVBoxLayout(m_contactsPage);
    auto* source = named(new QGroupBox(QStringLiteral("Local contacts")), "fraDataConnection");
    auto* row = new QHBoxLayout(source);
    m_cmbDataConnection = named(new QComboBox, "cmbDataConnection");
    m_btnDataConnection =
        named(new QPushButton(QStringLiteral("&Settings...")), "btnDataConnection");
    m_btnEditContacts =
        named(new QPushButton(QStringLiteral("&Edit contacts...")), "btnEditContacts");
    // The list takes the room the edit button leaves when it is hidden.
    row->addWidget(m_cmbDataConnection, 1);
    row->addWidget(m_btnDataConnection);
    row->addWidget(m_btnEditContacts);
    layout->addWidget(source);
    layout->addStretch(1); // the reverse lookup goes above this once the plug-ins are loaded
    fillDataSources();

    // A connection plug-in hides the edit button by setting its Tag to "1".
    m_btnEditContacts->installEventFilter(this);
    connect(m_cmbDataConnection, &QComboBox::currentIndexChanged, this,
            &MainWindow::dataSourceChosen);
    connect(m_btnDataConnection, &QPushButton::clicked, this, &MainWindow::openDataSourceSettings);
    connect(m_btnEditContacts, &QPushButton::clicked, this, &MainWindow::editContacts);
    return m_contactsPage;
}

void MainWindow::fillDataSources()
{
    const bool filling = m_filling;
    m_filling = true;
    if (m_cmbDataConnection->count() == 0)
        m_cmbDataConnection->addItems(
            {QStringLiteral("no local data"), QStringLiteral("Database")});
    const bool addressBook = m_program.addressBookAvailable();
    if (addressBook && m_cmbDataConnection->count() < 3)
        m_cmbDataConnection->addItem(m_program.loc().GetS(QStringLiteral("Address book")));
    else if (!addressBook && m_cmbDataConnection->count() > 2)
        m_cmbDataConnection->removeItem(2);
    // Loading has already put an entry the list lacks back to "no local data".
    const int index = m_program.mainForm().options().number(QStringLiteral("cmbDataConnection"));
    m_cmbDataConnection->setCurrentIndex(index < m_cmbDataConnection->count() ? index : 0);
    m_filling = filling;
    updateEditContacts();
}

void MainWindow::dataSourceChosen(int index)
{
    if (!m_filling && index >= 0)
        m_program.mainForm().options().setValue(QStringLiteral("cmbDataConnection"), index);
    updateEditContacts();
}

void MainWindow::updateEditContacts()
{
    const int index = m_cmbDataConnection->currentIndex();
    m_btnEditContacts->setVisible(index == NumberLookup::Database &&
                                  m_btnEditContacts->property("Tag").toString() !=
                                      QLatin1String("1"));
    m_btnDataConnection->setEnabled(index != NumberLookup::NoLocalData);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_btnEditContacts && event->type() == QEvent::DynamicPropertyChange)
        updateEditContacts();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::openDataSourceSettings()
{
    switch (m_cmbDataConnection->currentIndex()) {
    case NumberLookup::Database: {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        DataConnectionDialog dialog(m_program.mainForm(), this);
        dialog.load();
        QApplication::restoreOverrideCursor();
        dialog.exec();
        break;
    }
    case NumberLookup::Outlook:
        if (m_program.openAddressBookSettings) {
            m_program.openAddressBookSettings(this);
        } else if (AddressBookService* book = m_program.addressBook()) {
            AddressBookDialog::Hooks hooks;
            hooks.countContacts = [book](const QString& folder) {
                return book->countContacts(folder);
            };
            hooks.restartBuffer = [book] { book->restartBufferTimer(); };
            AddressBookDialog dialog(m_program.mainForm(), hooks, this);
            dialog.exec();
        }
        break;
    default:
        break;
    }
}

void MainWindow::editContacts()
{
    ContactManagerLauncher* manager = m_program.contactManager();
    if (!manager)
        return;
    if (manager->exists()) {
        // The contact manager reads which source is in use from the settings.
        m_program.settings().SaveSettingHKCU(QStringLiteral("Options"),
                                             QStringLiteral("DataSource"),
                                             QString::number(m_cmbDataConnection->currentIndex()));
        m_program.settings().flush();
    }
    manager->start({});
}

void MainWindow::ignoreAddressBook(bool ignore)
{
    // Read once at start: the address book stays as it is until the next one.
    m_program.settings().SaveSettingHKCU(QStringLiteral("Options"),
                                         QStringLiteral("DisableOutlook"),
                                         ignore ? QStringLiteral("1") : QStringLiteral("0"));
    m_program.dialogs().messageBox(
        m_program.loc().GetS(QStringLiteral("You have to restart Phonavo to change this setting")),
        MsgStyle::Information, QString());
}

QWidget* MainWindow::buildServerPage()
{
    auto* page = new QWidget;
    m_serverPage = page;
    auto* layout = new QVBoxLayout(page);
    m_cbPhonavoServer =
        named(new QCheckBox(QStringLiteral("Serve for other clients")), "cbPhonavoServer");
    layout->addWidget(m_cbPhonavoServer);
    m_fraServer = named(new QWidget, "fraServer");
    auto* form = new QFormLayout(m_fraServer);
    form->setContentsMargins(0, 0, 0, 0);
    m_txtPort = named(new QLineEdit, "txtPort");
    m_txtPort->setValidator(new QIntValidator(0, 65535, m_txtPort));
    m_txtPassword = named(new QLineEdit, "txtPassword");
    m_txtPassword->setEchoMode(QLineEdit::Password);
    m_txtPassword2 = named(new QLineEdit, "txtPassword2");
    m_txtPassword2->setEchoMode(QLineEdit::Password);
    form->addRow(named(new QLabel(QStringLiteral("Port:")), "lblPort"), m_txtPort);
    form->addRow(named(new QLabel(QStringLiteral("Password:")), "lblPassword"), m_txtPassword);
    form->addRow(named(new QLabel(QStringLiteral("Repeat password:")), "lblPassword2"),
                 m_txtPassword2);
    layout->addWidget(m_fraServer);
    m_fraClients = named(new QGroupBox(QStringLiteral("Clients")), "fraClients");
    auto* clientsLayout = new QVBoxLayout(m_fraClients);
    m_grdClients = named(new QTableView, "grdClients");
    m_grdClients->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grdClients->horizontalHeader()->setStretchLastSection(true);
    m_grdClients->verticalHeader()->hide();
    clientsLayout->addWidget(m_grdClients);
    layout->addWidget(m_fraClients, 1);
    // Keeps the check box at the top while the server's controls are hidden.
    layout->addStretch(0);

    MainOptions& options = m_program.mainForm().options();
    connect(m_cbPhonavoServer, &QCheckBox::toggled, this, [this, &options](bool on) {
        if (!m_filling)
            options.setValue(QStringLiteral("cbPhonavoServer"), on);
        // The check box only shows or hides what belongs to the server.
        m_fraServer->setVisible(on);
        m_fraClients->setVisible(on);
    });
    connect(m_txtPort, &QLineEdit::textEdited, this,
            [&options](const QString& text) { options.setValue(QStringLiteral("txtPort"), text); });
    connect(m_txtPassword, &QLineEdit::textEdited, this, [&options](const QString& text) {
        options.setValue(QStringLiteral("txtPassword"), text);
    });
    connect(m_txtPassword2, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (PhonavoServer* server = m_program.server())
            server->setPasswordRetype(text);
    });
    return page;
}

void MainWindow::attachServer()
{
    PhonavoServer* server = m_program.server();
    if (!server || m_grdClients->model() == &server->clientsModel())
        return;
    m_grdClients->setModel(&server->clientsModel());
    translateClientCaptions();
    server->setPasswordRetype(m_txtPassword2->text());
    connect(server, &PhonavoServer::showServerPage, this, [this] {
        showWindow();
        m_tabs->setCurrentWidget(m_serverPage);
    });
}

QWidget* MainWindow::buildStatusBar()
{
    auto* bar = new QWidget;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    m_lblStatus = named(new QLabel, "lblStatus");
    m_btnStartStop = named(new QPushButton, "btnStartStop");
    auto* btnHide = named(new QPushButton(QStringLiteral("&Hide")), "btnHide");
    row->addWidget(m_lblStatus, 1);
    row->addWidget(m_btnStartStop);
    row->addWidget(btnHide);
    connect(m_btnStartStop, &QPushButton::clicked, this,
            [this] { m_program.mainForm().btnStartStop_Click(); });
    connect(btnHide, &QPushButton::clicked, this, [this] { m_program.exitCommands().mnuHide(); });
    return bar;
}

void MainWindow::translate()
{
    FormTranslator::TranslateForm(this, m_program.loc());
    FormTranslator::TranslateForm(m_trayMenu, m_program.loc());
    tickLanguage(m_program.loc().sForeignColumnName());
    m_mnuExportTexts->setVisible(m_program.mainForm().debugMode());
}

void MainWindow::tickLanguage(const QString& column)
{
    // Exactly one entry carries the check mark: the language in use.
    const QList<bool> checks = Languages::menuChecks(column);
    const auto& entries = Languages::menuEntries();
    for (int i = 0; i < entries.size() && i < checks.size(); ++i)
        if (auto* action = findChild<QAction*>(entries[i].menuName))
            action->setChecked(checks[i]);
}

void MainWindow::changeLanguage(const QString& column)
{
    Languages languages(m_program.loc(), m_program.settings(), m_program.dialogs());
    const bool changed = languages.ChangeLanguage(column, [this] {
        FormTranslator::TranslateForm(this, m_program.loc());
        FormTranslator::TranslateForm(m_trayMenu, m_program.loc());
        m_popups->retranslate();
        if (m_callHistory)
            m_callHistory->translate();
    });
    tickLanguage(changed ? column : m_program.loc().sForeignColumnName());
    translateClientCaptions();
}

void MainWindow::translateClientCaptions()
{
    // The clients grid is a model of the server's; its captions are set here.
    if (PhonavoServer* server = m_program.server()) {
        const LocGuru& loc = m_program.loc();
        server->clientsModel().setHeaderCaptions({loc.GetS(QStringLiteral("Connected")),
                                                  loc.GetS(QStringLiteral("Name")),
                                                  loc.GetS(QStringLiteral("IP"))});
    }
}

void MainWindow::exportTexts()
{
    FrmDevice device(m_program.settings(), m_program.loc(), m_program.mainForm().sound(), this);
    FrmMSN msn(m_program.loc(), this);
    ConnectionStringDialog connection(this, &m_program.loc());
    DataConnectionDialog contacts(m_program.mainForm(), this);
    FormTranslator::ExportTextsCommand(this,
                                       {this, m_trayMenu, &device, &msn, &connection, &contacts},
                                       m_program.loc(), m_program.settings(), m_program.dialogs());
}

void MainWindow::attachPlugins()
{
    PluginHostService* plugins = m_program.plugins();
    if (!plugins || m_pluginPages)
        return;
    m_pluginPages = new PluginPages(*plugins, m_program.mainForm(), this);
    m_connectionPluginsSlot->addWidget(m_pluginPages->connectionGroup());
    m_notification->addPluginGroup(m_pluginPages->notificationGroup());
    // The reverse lookup joins the contact sources on their page.
    auto* contacts = static_cast<QVBoxLayout*>(m_contactsPage->layout());
    contacts->insertWidget(contacts->count() - 1, m_pluginPages->reverseFrame());
    connect(&plugins->connections(), &ConnectionPluginList::listChanged, this,
            &MainWindow::fillDeviceList);
    translate(); // the new controls speak the language in use
}

void MainWindow::restorePosition()
{
    attachServer();
    attachPlugins();
    syncOptionControls();
    fillDeviceList();
    fillMsnGrid();
    m_tabs->setCurrentIndex(0);
    WidgetFormWindow window(this);
    window.setWidth(kDefaultWidth);
    window.setHeight(kDefaultHeight);
    FormPosition::RestoreFormPos(m_program.settings(), window, QStringLiteral("MainForm"), false);
}

void MainWindow::saveWindowState()
{
    WidgetFormWindow window(this);
    FormPosition::SaveFormPos(m_program.settings(), window, QStringLiteral("MainForm"));
    // An open call history keeps its place, layout and filter as when closed.
    if (m_callHistory && m_callHistory->isVisible())
        m_callHistory->close();
}

void MainWindow::showTrayIcon(bool show)
{
    MainForm& form = m_program.mainForm();
    if (!show) {
        form.setTrayPresence(nullptr);
        m_tray.reset();
        return;
    }
    if (!m_tray) {
        m_tray = std::make_unique<SysTray>(form, *m_trayMenu);
        connect(m_tray.get(), &SysTray::doubleClicked, this, &MainWindow::trayDoubleClicked);
        connect(m_tray.get(), &SysTray::menuAboutToShow, this, &MainWindow::prepareTrayMenu);
        form.setTrayPresence(m_tray.get());
    }
    m_tray->refresh();
}

void MainWindow::showWindow()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void MainWindow::hideWindow()
{
    // Without a tray to bring it back from, the window only goes to the task bar.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        showMinimized();
        return;
    }
    hide();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_unloading) {
        event->accept();
        return;
    }
    event->ignore();
    m_program.exitCommands().closeButton();
}

void MainWindow::fillDeviceList()
{
    MainForm& form = m_program.mainForm();
    m_filling = true;
    const qint32 current = m_lstTapiDevices->currentItem()
                               ? m_lstTapiDevices->currentItem()->data(Qt::UserRole).toInt()
                               : -1;
    m_lstTapiDevices->clear();
    m_cmbOutgoingDevice->clear();
    for (qint32 id : form.listedDevices()) {
        const DevicePtr device = form.colDevices().find(id);
        auto* item = new QListWidgetItem(form.deviceDisplayName(id), m_lstTapiDevices);
        item->setData(Qt::UserRole, id);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(device && device->bMonitor ? Qt::Checked : Qt::Unchecked);
        if (id == current)
            m_lstTapiDevices->setCurrentItem(item);
        m_cmbOutgoingDevice->addItem(form.deviceDisplayName(id), id);
    }
    if (PluginHost* plugins = form.pluginHost())
        for (const auto& [name, id] : plugins->outgoingDevices())
            m_cmbOutgoingDevice->addItem(name, id);
    // The controller has chosen the device (the first one when none was stored).
    m_cmbOutgoingDevice->setCurrentIndex(
        m_cmbOutgoingDevice->findText(form.options().text(QStringLiteral("cmbOutgoingDevice"))));
    m_filling = false;
    refreshStatus();
}

void MainWindow::onDeviceItemChanged(QListWidgetItem* item)
{
    if (m_filling || !item)
        return;
    m_lstTapiDevices->setCurrentItem(item);
    m_program.mainForm().setDeviceMonitored(item->data(Qt::UserRole).toInt(),
                                            item->checkState() == Qt::Checked);
}

void MainWindow::editCurrentDevice()
{
    if (QListWidgetItem* item = m_lstTapiDevices->currentItem())
        m_program.mainForm().EditDevice(item->data(Qt::UserRole).toInt());
}

void MainWindow::fillMsnGrid()
{
    MainForm& form = m_program.mainForm();
    const int row = m_grdMSNs->currentRow();
    m_grdMSNs->setRowCount(0);
    for (int i = 0; i < form.colMSNs().Count(); ++i) {
        const MSNPtr entry = form.colMSNs().Item(i + 1); // positions count from 1
        m_grdMSNs->insertRow(i);
        m_grdMSNs->setItem(i, 0, new QTableWidgetItem(entry->Name));
        m_grdMSNs->setItem(i, 1, new QTableWidgetItem(entry->MSN));
        m_grdMSNs->setItem(i, 2, new QTableWidgetItem(entry->Clients));
    }
    m_grdMSNs->setColumnHidden(2, !form.options().flag(QStringLiteral("cbPhonavoServer")));
    if (row >= 0 && row < m_grdMSNs->rowCount())
        m_grdMSNs->selectRow(row);
}

void MainWindow::editCurrentMsn()
{
    if (m_grdMSNs->currentRow() >= 0)
        m_program.mainForm().editMSN(m_grdMSNs->currentRow() + 1);
}

void MainWindow::syncOptionControls()
{
    const MainOptions& options = m_program.mainForm().options();
    m_filling = true;
    m_general->syncLogSwitch();
    m_cbPhonavoServer->setChecked(options.flag(QStringLiteral("cbPhonavoServer")));
    fillDataSources();
    m_fraServer->setVisible(m_cbPhonavoServer->isChecked());
    m_fraClients->setVisible(m_cbPhonavoServer->isChecked());
    m_txtPort->setText(options.text(QStringLiteral("txtPort")));
    m_txtPassword->setText(options.text(QStringLiteral("txtPassword")));
    // The confirmation starts equal: only a changed password needs typing twice.
    m_txtPassword2->setText(options.text(QStringLiteral("txtPassword")));
    m_filling = false;
}

void MainWindow::refreshStatus()
{
    const MainForm& form = m_program.mainForm();
    m_lblStatus->setText(form.statusText());
    m_btnStartStop->setText(form.startStopCaption());
    // Settings are locked while listening. The own numbers stay editable (a
    // change counts from the next call on), and so does cbTapiLog, which
    // switches the log file on and off at once.
    const bool editable = !form.optionsLocked();
    const QList<QWidget*> options = {m_lstTapiDevices, m_txtAcceptedNumber, m_cbPhonavoServer,
                                     m_fraServer};
    for (QWidget* option : options)
        option->setEnabled(editable);
    m_general->setLocked(!editable);
    m_notification->setLocked(!editable);
    m_btnEditDevice->setEnabled(editable && form.canEditDevices());
    m_cmbOutgoingDevice->setEnabled(editable && m_cmbOutgoingDevice->count() > 0);
    if (m_pluginPages)
        m_pluginPages->setLocked(!editable);
}

int MainWindow::trayIconAction() const
{
    return m_program.settings()
        .GetSettingHKCU(QStringLiteral("Options"), QStringLiteral("TrayIconAction"),
                        QStringLiteral("0"))
        .toString()
        .trimmed()
        .toInt();
}

void MainWindow::trayDoubleClicked()
{
    if (trayIconAction() == 1 && openCallHistory)
        openCallHistory();
    else
        m_program.exitCommands().mnuTrayShow();
}

void MainWindow::prepareTrayMenu()
{
    updateHookActions();
    // The bold entry is what a double click does.
    m_trayMenu->setDefaultAction(trayIconAction() == 1 ? m_mnuCallHistTray : m_mnuTrayShow);
    raise();
}

void MainWindow::showCallHistory()
{
    if (!m_callHistory) {
        m_callHistory = std::make_unique<FrmCallHistory>(m_program);
        m_callHistory->openDetails = openCallDetails;
    }
    m_callHistory->ShowHistory(false);
}

void MainWindow::backupSettings()
{
    const QString file = QFileDialog::getSaveFileName(
        this, m_program.loc().GetS(QStringLiteral("Backup settings")),
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
            QStringLiteral("/phonavo-settings.reg"),
        QStringLiteral("(*.reg)"));
    m_program.mainForm().backupSettingsTo(file);
}

void MainWindow::showAbout()
{
    AboutDialog about(m_program.loc(), m_program.shell(), this);
    about.exec();
}
