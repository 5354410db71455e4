#include "contacts/manager/ContactManagerLauncher.h"
#include "core/controller/MainForm.h"
#include "loc/ui/FormTranslator.h"
#include "notify/ui/MainWindow.h"
#include "notify/ui/SysTray.h"
#include "platform/AppPaths.h"
#include "platform/desktop/ShellOpen.h"
#include "platform/telephony/TelephonyHub.h"
#include "platform/telephony/VirtualLineProvider.h"
#include "server/connections/PhonavoServer.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/dialogs/Warnings.h"
#include "shell/settings/SettingsStore.h"
#include "shell/startup/ExitCommands.h"
#include "shell/startup/Program.h"

#include "../loc/LangDbFixture.h"
#include "DesktopRig.h"
#include "Screenshot.h"
#include "TestHome.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

namespace {

// Two virtual lines, the first one monitored.
const QByteArray kHive =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\VirtualLines]\r\n"
    "\"Count\"=\"2\"\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\Devices\\Virtual line 1]\r\n"
    "\"Monitor\"=\"1\"\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Warnings]\r\n"
    "\"WarnSettingsLocked\"=\"1\"\r\n\r\n";

QByteArray userHive(const QByteArray& extra = {})
{
    return kHive + extra;
}

QByteArray mainFormAt(int left, int top)
{
    return "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\MainForm]\r\n\"Left\"=\"" +
           QByteArray::number(left) + "\"\r\n\"Top\"=\"" + QByteArray::number(top) + "\"\r\n\r\n";
}

// The desktop program as `phonavo` runs it, with boxes answered by script.
using Desktop = DesktopRig;

} // namespace

class TestUiDesktopProgram : public QObject
{
    Q_OBJECT

private slots:
    void startsWithTheWindowAndItsLinesAndRunsStartStop()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        Desktop desktop;
        QCOMPARE(desktop.program->start(), 0);
        MainWindow* window = desktop.window();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(desktop.program->loaded());
        saveScreenshot(*window, QStringLiteral("MainForm"), false);

        auto* devices = desktop.child<QListWidget>("lstTapiDevices");
        QCOMPARE(devices->count(), 2);
        QCOMPARE(devices->item(1)->text(), QStringLiteral("Virtual line 2"));
        devices->item(1)->setCheckState(Qt::Checked);
        const qint32 id = devices->item(1)->data(Qt::UserRole).toInt();
        QVERIFY(desktop.program->mainForm().colDevices().find(id)->bMonitor);

        auto* status = desktop.child<QLabel>("lblStatus");
        QCOMPARE(status->text(), QStringLiteral("not listening"));
        QVERIFY(window->sysTray());
        QCOMPARE(window->sysTray()->toolTip(), QStringLiteral("Phonavo - idle"));
        desktop.child<QPushButton>("btnStartStop")->click();
        QVERIFY(desktop.program->mainForm().Active());
        QCOMPARE(status->text(), QStringLiteral("waiting for calls"));
        QCOMPARE(desktop.child<QPushButton>("btnStartStop")->text(), QStringLiteral("&Stop"));
        // Settings are locked while listening; own numbers and the log switch are not.
        for (const char* locked : {"lstTapiDevices", "btnEditDevice", "cmbOutgoingDevice",
                                   "txtAcceptedNumber", "cbAddToCallHist", "cbConnectOnStart",
                                   "cbHideOnstart", "cbPhonavoServer", "txtPort", "txtPassword"})
            QVERIFY2(!desktop.child<QWidget>(locked)->isEnabled(), locked);
        for (const char* open : {"btnNewMSN", "btnEditMSN", "btnDelMSN", "cbTapiLog"})
            QVERIFY2(desktop.child<QWidget>(open)->isEnabled(), open);
        QCOMPARE(window->sysTray()->toolTip(), QStringLiteral("Phonavo - Waiting for calls"));
        QVERIFY(window->sysTray()->showsActiveIcon());
        desktop.child<QPushButton>("btnStartStop")->click();
        QCOMPARE(window->sysTray()->toolTip(), QStringLiteral("Phonavo - idle"));
        QVERIFY(devices->isEnabled());
        QVERIFY(desktop.child<QWidget>("cbAddToCallHist")->isEnabled());
        // The controller chose the dialling device; the window shows that choice.
        QCOMPARE(desktop.child<QComboBox>("cmbOutgoingDevice")->currentText(),
                 QStringLiteral("Virtual line 1"));
    }

    // A new installation lists the plug-ins it ships at once; the server
    // plug-in cannot be pointed at this machine while the own server is on.
    void shippedPluginsAreListed()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        Desktop desktop;
        QCOMPARE(desktop.program->start(), 0);
        const auto lines = [&](const char* list) {
            QStringList texts;
            auto* widget = desktop.child<QListWidget>(list);
            for (int i = 0; i < widget->count(); ++i)
                texts << widget->item(i)->text() +
                             (widget->item(i)->checkState() == Qt::Checked ? "+" : "-");
            return texts;
        };
        QCOMPARE(lines("lstConnectionPlugins"), QStringList{"Phonavo Server-"});
        QCOMPARE(lines("lstNotificationPlugins"),
                 (QStringList{"Desktop notifications+", "MQTT (home automation)-"}));
        auto* plugins = desktop.child<QComboBox>("cmbReversePlugin");
        QStringList reverse;
        for (int i = 0; i < plugins->count(); ++i)
            reverse << plugins->itemText(i);
        QCOMPARE(reverse, (QStringList{"Region of the number (offline)",
                                       "Local phone book (CSV or vCard)"}));
        QCOMPARE(desktop.child<QComboBox>("cmbReverseCountry")->currentText(),
                 QStringLiteral("International"));
        auto* outgoing = desktop.child<QComboBox>("cmbOutgoingDevice");
        QCOMPARE(outgoing->itemText(outgoing->count() - 1), QStringLiteral("Phonavo Server"));

        desktop.program->settings().SaveSettingHKCU(
            QStringLiteral("ConnectionPlugins\\PhonavoConnectionTapiServer.Connection"),
            QStringLiteral("server"), QStringLiteral("LocalHost"));
        desktop.program->mainForm().options().setValue(QStringLiteral("cbPhonavoServer"), true);
        desktop.child<QListWidget>("lstConnectionPlugins")->item(0)->setCheckState(Qt::Checked);
        QCOMPARE(lines("lstConnectionPlugins"), QStringList{"Phonavo Server-"});
        QVERIFY(desktop.dialogs.shown()
                    .join(QLatin1Char('\n'))
                    .contains(QStringLiteral(
                        "Phonavo Server plugin: Not allowed to connect to local machine")));
    }

    void closeButtonOnlyHidesAndRemembersTheNotice()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        Desktop desktop;
        QCOMPARE(desktop.program->start(), 0);
        QSignalSpy quit(desktop.program.get(), &Program::quitRequested);

        desktop.dialogs.queueAnswer(MsgResult::OK, true); // "Don't show this message again"
        QCloseEvent first;
        QApplication::sendEvent(desktop.window(), &first);
        QVERIFY(!first.isAccepted());
        QCOMPARE(desktop.dialogs.history().size(), 1);
        QVERIFY(desktop.dialogs.history().first().prompt.startsWith(
            QStringLiteral("The program will not be closed.")));
        QVERIFY(!desktop.window()->isVisible() || desktop.window()->isMinimized());

        QCloseEvent second;
        QApplication::sendEvent(desktop.window(), &second);
        QVERIFY(!second.isAccepted());
        QCOMPARE(desktop.dialogs.history().size(), 1); // no notice any more
        QCOMPARE(quit.count(), 0);
        QCOMPARE(desktop.program->settings().GetSettingHKCU(
                     QStringLiteral("Warnings"), QStringLiteral("DontWarnOnlyHideOnX"), QString()),
                 QStringLiteral("1"));
    }

    void exitAsksOnlyWhileMonitoring()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        Desktop desktop;
        QCOMPARE(desktop.program->start(), 0);
        QSignalSpy quit(desktop.program.get(), &Program::quitRequested);
        ExitCommands& exits = desktop.program->exitCommands();
        MainForm& form = desktop.program->mainForm();

        form.startMonitoring();
        desktop.dialogs.queueAnswer(MsgResult::No, true);
        QVERIFY(!exits.mnuExit());
        QCOMPARE(quit.count(), 0);
        QVERIFY(form.Active());
        // A declined question remembers nothing.
        QVERIFY(!form.warnings().suppressed(QStringLiteral("DontAskClose")));

        desktop.dialogs.queueAnswer(MsgResult::Yes, false);
        QVERIFY(exits.mnuTrayExit());
        QCOMPARE(quit.count(), 1);
        QCOMPARE(quit.first().first().toInt(), 0);
        QVERIFY(!form.Active());               // unloading stopped monitoring
        QVERIFY(!desktop.window()->sysTray()); // and removed the tray icon
        QCOMPARE(desktop.dialogs.history().size(), 2);
    }

    void exitWithoutQuestionWhenStoppedOrTold()
    {
        for (const bool told : {false, true}) {
            TestHome home;
            home.write(QStringLiteral("user.reg"),
                       userHive(told ? QByteArray("[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\"
                                                  "Warnings]\r\n\"DontAskClose\"=\"1\"\r\n"
                                                  "\"WarnSettingsLocked\"=\"1\"\r\n\r\n")
                                     : QByteArray()));
            Desktop desktop;
            QCOMPARE(desktop.program->start(), 0);
            QSignalSpy quit(desktop.program.get(), &Program::quitRequested);
            if (told)
                desktop.program->mainForm().startMonitoring();
            QVERIFY(desktop.program->exitCommands().mnuExit());
            QCOMPARE(quit.count(), 1);
            QVERIFY(desktop.dialogs.history().isEmpty());
            // The window's state is written for the next start.
            QCOMPARE(desktop.program->settings().GetSettingHKCU(
                         QStringLiteral("MainForm"), QStringLiteral("Visible"), QString()),
                     QStringLiteral("1"));
        }
    }

    void windowStoredHiddenOrHideOnStartStartsHidden()
    {
        const QList<QByteArray> hives = {
            "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\MainForm]\r\n\"Visible\"=\"0\"\r\n",
            "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options]\r\n"
            "\"HideOnStart\"=\"1\"\r\n"};
        for (const QByteArray& extra : hives) {
            TestHome home;
            home.write(QStringLiteral("user.reg"), userHive(extra));
            Desktop desktop;
            QCOMPARE(desktop.program->start(), 0);
            QVERIFY(desktop.program->loaded());
            QVERIFY(!desktop.window()->isVisible());
            desktop.program->exitCommands().mnuTrayShow();
            QVERIFY(desktop.window()->isVisible());
        }
    }

    void automaticStartWaitsBeforeTheLinesOpen()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"),
                   userHive("[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options]\r\n"
                            "\"SleepOnStartup\"=\"1\"\r\n\"ConnectOnStart\"=\"1\"\r\n"));
        Desktop desktop({QStringLiteral("/autostart")});
        QSignalSpy finished(desktop.program.get(), &Program::loadingFinished);
        QCOMPARE(desktop.program->start(), 0);
        QVERIFY(desktop.program->autostart());
        // The event loop runs while the program waits; the lines come after.
        QVERIFY(desktop.program->mainForm().listedDevices().isEmpty());
        QVERIFY(!desktop.program->loaded());
        QVERIFY(finished.wait(5000));
        QCOMPARE(desktop.program->mainForm().listedDevices().size(), 2);
        QVERIFY(desktop.program->mainForm().Active());

        // Only the separate word counts.
        Desktop longer({QStringLiteral("/autostarter"), QStringLiteral("x/autostart")});
        QVERIFY(!longer.program->autostart());
    }

    void unusableLanguageSettingsFallBackToTheShippedDatabase()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"),
                   userHive("[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo]\r\n"
                            "\"LanguageColumn\"=\"Klingon\"\r\n\r\n"
                            "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\LangOptions]\r\n"
                            "\"DefaultLanguage\"=\"english please\"\r\n\r\n"));
        home.write(QStringLiteral("langdata.db"), "this is not a database");
        Desktop desktop;
        QCOMPARE(desktop.program->start(), 0);
        QVERIFY(desktop.program->loaded());
        // The broken file was named to the user and left as it was.
        QVERIFY(desktop.dialogs.shown()
                    .join(QLatin1Char('\n'))
                    .contains(QStringLiteral("While opening Language Database (")));
        QCOMPARE(home.read(QStringLiteral("langdata.db")), QByteArray("this is not a database"));
        QVERIFY(desktop.program->loc().bDbIsOpen());
    }

    void serverPageChecksThePasswordAndServesWithTheMonitor()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"),
                   userHive("[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\Server]"
                            "\r\n\"Port\"=\"0\"\r\n\"Enabled\"=\"1\"\r\n\r\n"));
        Desktop desktop;
        QCOMPARE(desktop.program->start(), 0);
        auto* retype = desktop.child<QLineEdit>("txtPassword2");
        QVERIFY(!desktop.child<QWidget>("fraClients")->isHidden());
        QVERIFY(desktop.child<QTableView>("grdClients")->model());

        retype->setText(QStringLiteral("typo"));
        desktop.child<QPushButton>("btnStartStop")->click();
        QVERIFY(!desktop.program->mainForm().Active());
        QVERIFY(desktop.dialogs.shown()
                    .join(QLatin1Char('\n'))
                    .contains(QStringLiteral("Please enter the password twice")));
        QCOMPARE(desktop.child<QTabWidget>("TabStrip1")->currentWidget(),
                 desktop.child<QCheckBox>("cbPhonavoServer")->parentWidget());
        saveScreenshot(*desktop.window(), QStringLiteral("MainForm-server"), false);

        retype->clear();
        desktop.child<QPushButton>("btnStartStop")->click();
        QVERIFY(desktop.program->mainForm().Active());
        QVERIFY(desktop.program->server()->isListening());
        QVERIFY(!desktop.child<QCheckBox>("cbPhonavoServer")->isEnabled());
        desktop.program->gCloseApplication();
        QVERIFY(!desktop.program->server()->isListening());
    }

    // Dialogs speak the language chosen while the program runs.
    void dialogsFollowALanguageChange()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        QVERIFY(makeLanguageDb(
            home.file(QStringLiteral("langdata.db")),
            {{QStringLiteral("Device settings"), QStringLiteral("Geräteeinstellungen")},
             {QStringLiteral("Edit MSN"), QStringLiteral("MSN bearbeiten")},
             {QStringLiteral("Database connection"), QStringLiteral("Datenbankverbindung")},
             {QStringLiteral("Test connection succeeded."), QStringLiteral("Verbindung steht.")}}));
        Desktop desktop;
        QCOMPARE(desktop.program->start(), 0);
        desktop.window()->findChild<QAction*>(QStringLiteral("mnuSetLangGerman"))->trigger();
        QCOMPARE(desktop.program->loc().sForeignColumnName(), QStringLiteral("German"));

        // Each modal dialog tells its title and closes itself again.
        const auto titleOf = [](const std::function<void()>& open) {
            QString title;
            QTimer::singleShot(0, [&title] {
                if (QWidget* dialog = QApplication::activeModalWidget()) {
                    title = dialog->windowTitle();
                    if (auto* button = dialog->findChild<QPushButton*>(QStringLiteral("btnTest")))
                        button->click();
                    if (auto* result = dialog->findChild<QLabel*>(QStringLiteral("lblTestResult")))
                        title += QLatin1Char('/') + result->text();
                    QMetaObject::invokeMethod(dialog, "reject");
                }
            });
            open();
            return title;
        };
        MainForm& form = desktop.program->mainForm();
        QCOMPARE(titleOf([&] { form.EditDevice(0); }), QStringLiteral("Geräteeinstellungen"));
        QCOMPARE(titleOf([&] { form.editMSN(1); }), QStringLiteral("MSN bearbeiten"));
        QCOMPARE(
            titleOf([&] {
                desktop.window()->findChild<QAction*>(QStringLiteral("mnuSetCallDB"))->trigger();
            }),
            QStringLiteral("Datenbankverbindung/Verbindung steht."));
    }

    void shippedLanguageDatabaseHoldsEveryWindowText()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        Desktop desktop;
        QCOMPARE(desktop.program->start(), 0);
        const QString copy = home.file(QStringLiteral("export.db"));
        QVERIFY(QFile::copy(AppPaths::dataFile(QStringLiteral("langdata.db")), copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        const auto nativeTexts = [&copy] {
            QStringList texts;
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                            QStringLiteral("export-check"));
                db.setDatabaseName(copy);
                if (db.open()) {
                    QSqlQuery query(QStringLiteral("SELECT Native FROM resstrings"), db);
                    while (query.next())
                        texts << query.value(0).toString();
                }
            }
            QSqlDatabase::removeDatabase(QStringLiteral("export-check"));
            return texts;
        };
        const QStringList shipped = nativeTexts();
        QVERIFY(!shipped.isEmpty());
        const QList<QWidget*> windows = {desktop.window(), desktop.window()->trayMenu()};
        QVERIFY(
            FormTranslator::ExportTexts(windows, copy, desktop.program->loc(), desktop.dialogs));
        // The export adds a row for every text the database did not hold.
        QStringList missing;
        for (const QString& text : nativeTexts())
            if (!shipped.contains(text))
                missing << QLatin1Char('"') + text + QLatin1Char('"');
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
    }

    void restoredWindowFrameStaysOnTheScreen_data()
    {
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        QTest::addColumn<QString>("corner");
        QTest::newRow("saved on the screen") << 1500 << 750 << "as saved";
        QTest::newRow("saved at the top-left corner") << 0 << 0 << "top-left";
        QTest::newRow("title bar above the screen") << -300 << -900 << "top-left";
        QTest::newRow("beyond the bottom right") << 300000 << 300000 << "bottom-right";
    }

    void restoredWindowFrameStaysOnTheScreen()
    {
        QFETCH(int, left);
        QFETCH(int, top);
        QFETCH(QString, corner);
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive(mainFormAt(left, top)));
        Desktop desktop;
        QCOMPARE(desktop.program->start(), 0);
        MainWindow* window = desktop.window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(window->frameGeometry() != window->geometry()); // the platform draws a frame
        const QRect area = window->screen()->availableGeometry();
        const QRect frame = window->frameGeometry();
        if (corner == QLatin1String("as saved")) {
            QCOMPARE(frame.topLeft(), QPoint(qRound(left * window->logicalDpiX() / 1440.0),
                                             qRound(top * window->logicalDpiY() / 1440.0)));
        } else if (corner == QLatin1String("top-left")) {
            QCOMPARE(frame.topLeft(), area.topLeft());
        } else {
            // Restored before it was shown, the window had no frame yet: it is
            // pulled back by the area inside the frame, and the frame's border
            // adds to that.
            const QPoint border(frame.width() - window->width(), frame.height() - window->height());
            QCOMPARE(frame.bottomRight(), area.bottomRight() + border);
        }
    }

    void windowPositionIsSavedAsTheFramePosition()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        const auto twips = [](int pixels, int dpi) { return qRound(pixels * 1440.0 / dpi); };
        QPoint saved;
        {
            Desktop desktop;
            QCOMPARE(desktop.program->start(), 0);
            MainWindow* window = desktop.window();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            window->move(40, 30); // where the frame goes
            QTRY_COMPARE(window->frameGeometry().topLeft(), QPoint(40, 30));
            // The call history, open at exit, keeps its filter too.
            window->openCallHistory();
            QWidget* history = nullptr;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->objectName() == QLatin1String("frmCallHistory") && top->isVisible())
                    history = top;
            QVERIFY(history);
            history->findChild<QLineEdit*>(QStringLiteral("txtFilter"))
                ->setText(QStringLiteral("Anna"));
            QVERIFY(desktop.program->exitCommands().mnuExit());
            const SettingsStore& settings = desktop.program->settings();
            QCOMPARE(settings.getString(SettingsStore::Hive::CurrentUser,
                                        QStringLiteral("CallHistWin"), QStringLiteral("Filter"),
                                        QString()),
                     QStringLiteral("Anna"));
            saved = {settings.getInt(SettingsStore::Hive::CurrentUser, QStringLiteral("MainForm"),
                                     QStringLiteral("Left"), -1),
                     settings.getInt(SettingsStore::Hive::CurrentUser, QStringLiteral("MainForm"),
                                     QStringLiteral("Top"), -1)};
            QCOMPARE(saved,
                     QPoint(twips(40, window->logicalDpiX()), twips(30, window->logicalDpiY())));
        }
        Desktop again;
        QCOMPARE(again.program->start(), 0);
        QVERIFY(QTest::qWaitForWindowExposed(again.window()));
        QCOMPARE(again.window()->frameGeometry().topLeft(), QPoint(40, 30));
    }

    void shellOpenFailuresSpeakTheProgramsLanguage_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QString>("expected");
        QTest::newRow("English") << QByteArray("Native") << "Error opening \n%1:\n\nPath not found";
        QTest::newRow("German") << QByteArray("German")
                                << "Fehler beim Öffnen von \n%1:\n\nPfad nicht gefunden";
    }

    void shellOpenFailuresSpeakTheProgramsLanguage()
    {
        QFETCH(QByteArray, language);
        QFETCH(QString, expected);
        TestHome home;
        home.write(QStringLiteral("user.reg"),
                   userHive("[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo]\r\n"
                            "\"LanguageColumn\"=\"" +
                            language + "\"\r\n\r\n"));
        Desktop desktop;
        QCOMPARE(desktop.program->start(), 0);
        const QString missing = home.file(QStringLiteral("no such folder/letter.pdf"));
        QVERIFY(!desktop.program->shell().ShellOpen(missing));
        QCOMPARE(desktop.dialogs.shown(), QStringList{expected.arg(missing)});
    }

    void dataSourceListAndItsButtons_data()
    {
        QTest::addColumn<QByteArray>("stored"); // Options\DataSource
        QTest::addColumn<bool>("addressBook");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("index");
        const QStringList two = {"no local data", "Database"};
        QTest::newRow("fresh installation") << QByteArray() << false << two << 1;
        QTest::newRow("address book gone") << QByteArray("2") << false << two << 0;
        QTest::newRow("beyond the list")
            << QByteArray("7") << true << two + QStringList{"Address book"} << 0;
        QTest::newRow("address book")
            << QByteArray("2") << true << two + QStringList{"Address book"} << 2;
    }

    void dataSourceListAndItsButtons()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, addressBook);
        QFETCH(QStringList, entries);
        QFETCH(int, index);
        TestHome home;
        // The address book is there unless the user switched it off.
        QByteArray options = "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options]\r\n";
        if (!stored.isEmpty())
            options += "\"DataSource\"=\"" + stored + "\"\r\n";
        if (!addressBook)
            options += "\"DisableOutlook\"=\"1\"\r\n";
        home.write(QStringLiteral("user.reg"), userHive(options + "\r\n"));
        Desktop desktop;
        Program& program = *desktop.program;
        QCOMPARE(program.start(), 0);
        QCOMPARE(program.addressBookAvailable(), addressBook);
        auto* list = desktop.child<QComboBox>("cmbDataConnection");
        auto* edit = desktop.child<QPushButton>("btnEditContacts");
        QStringList shown;
        for (int i = 0; i < list->count(); ++i)
            shown << list->itemText(i);
        QCOMPARE(shown, entries);
        QCOMPARE(list->currentIndex(), index);
        QCOMPARE(program.mainForm().options().number(QStringLiteral("cmbDataConnection")), index);
        QCOMPARE(edit->isHidden(), index != 1);

        // The edit button shows with "Database" only, and never once a plug-in hid it.
        list->setCurrentIndex(0);
        QVERIFY(edit->isHidden());
        QVERIFY(!desktop.child<QPushButton>("btnDataConnection")->isEnabled());
        list->setCurrentIndex(1);
        QVERIFY(!edit->isHidden());
        QCOMPARE(program.mainForm().options().number(QStringLiteral("cmbDataConnection")), 1);
        edit->setProperty("Tag", QStringLiteral("1"));
        QVERIFY(edit->isHidden());
        list->setCurrentIndex(0);
        list->setCurrentIndex(1);
        QVERIFY(edit->isHidden());
        QTabWidget* pages = desktop.window()->tabPages();
        for (int i = 0; i < pages->count(); ++i)
            if (pages->widget(i)->isAncestorOf(list))
                pages->setCurrentIndex(i);
        QCOMPARE(pages->tabText(pages->currentIndex()), QStringLiteral("Contacts"));
        saveScreenshot(*desktop.window(), QStringLiteral("MainForm-contacts-%1").arg(index), false);

        // "Database" opens the contact database dialog; the address book its own hook.
        QString opened;
        QTimer::singleShot(0, [&opened] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                opened = dialog->objectName();
                QMetaObject::invokeMethod(dialog, "reject");
            }
        });
        desktop.child<QPushButton>("btnDataConnection")->click();
        QCOMPARE(opened, QStringLiteral("frmDataConnection"));
        if (addressBook) {
            QWidget* parent = nullptr;
            program.openAddressBookSettings = [&parent](QWidget* p) { parent = p; };
            list->setCurrentIndex(2);
            desktop.child<QPushButton>("btnDataConnection")->click();
            QCOMPARE(parent, desktop.window());
        }
    }

    void editContactsStartsTheManagerOrSaysWhereItIsMissing()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        Desktop desktop;
        QCOMPARE(desktop.program->start(), 0);
        ContactManagerLauncher* manager = desktop.program->contactManager();
        QVERIFY(manager);
        const QString folder = home.file(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(folder));
        manager->setFolder(folder);
        auto* edit = desktop.child<QPushButton>("btnEditContacts");
        const auto storedSource = [&] {
            return desktop.program->settings()
                .GetSettingHKCU(QStringLiteral("Options"), QStringLiteral("DataSource"),
                                QStringLiteral("<unset>"))
                .toString();
        };
        const QString before = storedSource();
        edit->click();
        QCOMPARE(desktop.dialogs.shown().size(), 1);
        QVERIFY2(desktop.dialogs.shown().first().startsWith(
                     QStringLiteral("Unable to find \"phonavo-contacts\" in \"%1\"").arg(folder)),
                 qPrintable(desktop.dialogs.shown().first()));
        QCOMPARE(storedSource(), before);

        QFile script(folder + QStringLiteral("/phonavo-contacts"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"$#\" > \"$(dirname \"$0\")/started.new\"\n"
                     "mv \"$(dirname \"$0\")/started.new\" \"$(dirname \"$0\")/started\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        edit->click();
        QCOMPARE(storedSource(), QStringLiteral("1"));
        QTRY_VERIFY(QFile::exists(folder + QStringLiteral("/started")));
        QCOMPARE(home.read(QStringLiteral("bin/started")), QByteArray("0\n")); // no arguments
        QCOMPARE(desktop.dialogs.shown().size(), 1);
    }

    void ignoreAddressBookIsStoredAtOnceForTheNextStart_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("not set") << QByteArray();
        QTest::newRow("ignored") << QByteArray("1");
    }

    void ignoreAddressBookIsStoredAtOnceForTheNextStart()
    {
        QFETCH(QByteArray, stored);
        TestHome home;
        home.write(QStringLiteral("user.reg"),
                   userHive(stored.isEmpty()
                                ? QByteArray()
                                : "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options]\r\n"
                                  "\"DisableOutlook\"=\"" +
                                      stored + "\"\r\n\r\n"));
        Desktop desktop;
        QList<bool> ignoredAtStart;
        desktop.program->loadingSeams().startAddressBook = [&](bool ignored) {
            ignoredAtStart << ignored;
        };
        QCOMPARE(desktop.program->start(), 0);
        auto* menu = desktop.window()->findChild<QAction*>(QStringLiteral("mnuIgnoreOutlook"));
        QVERIFY(menu && menu->isCheckable());
        const bool ignored = !stored.isEmpty();
        QCOMPARE(menu->isChecked(), ignored);
        QCOMPARE(ignoredAtStart, QList<bool>{ignored});
        for (int round = 1; round <= 2; ++round) {
            menu->trigger();
            const bool now = ignored != (round == 1);
            QCOMPARE(menu->isChecked(), now);
            QCOMPARE(desktop.program->settings().GetSettingHKCU(
                         QStringLiteral("Options"), QStringLiteral("DisableOutlook"), QString()),
                     now ? QStringLiteral("1") : QStringLiteral("0"));
            QCOMPARE(desktop.dialogs.shown(),
                     QStringList(round, "You have to restart Phonavo to change this setting"));
        }
        QCOMPARE(ignoredAtStart.size(), 1); // nothing else happens before the next start
    }

    // A call on a virtual line pops the caller up through the whole program.
    void ringingLineShowsThePopup()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        Desktop desktop;
        QCOMPARE(desktop.program->start(), 0);
        desktop.child<QPushButton>("btnStartStop")->click();
        QVERIFY(desktop.program->mainForm().Active());
        auto* lines = desktop.program->telephony().findProvider<VirtualLineProvider>();
        QVERIFY(lines->ring(0, QStringLiteral("0301234"), QStringLiteral("4711"),
                            QStringLiteral("John Smith")));
        const auto popup = [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == QLatin1String("frmCall") && w->isVisible())
                    return w;
            return static_cast<QWidget*>(nullptr);
        };
        QTRY_VERIFY(popup());
        QCOMPARE(popup()->findChild<QLabel*>(QStringLiteral("lblCallerName"))->text(),
                 QStringLiteral("John Smith"));
        QCOMPARE(popup()->findChild<QLabel*>(QStringLiteral("lblCallerNumber"))->text(),
                 QStringLiteral("0301234"));
        saveScreenshot(*popup(), QStringLiteral("frmCall-desktop"), false);
        // Unloading closes it (after its fade-out).
        desktop.program->shutdown();
        QTRY_VERIFY(!popup());
    }

    void aFailingLoadingStepClosesTheProgram()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        Desktop desktop;
        desktop.program->loadingSeams().checkForUpdate = [] {
            throw std::runtime_error("update server on fire");
        };
        QSignalSpy quit(desktop.program.get(), &Program::quitRequested);
        QCOMPARE(desktop.program->start(), 0);
        QVERIFY(!desktop.program->loaded());
        QVERIFY(quit.wait(2000));
        QCOMPARE(quit.first().first().toInt(), 1);
        QVERIFY(desktop.dialogs.shown()
                    .join(QLatin1Char('\n'))
                    .contains(QStringLiteral("update server on fire")));
    }
};

QTEST_MAIN(TestUiDesktopProgram)
#include "TestUiDesktopProgram.moc"
