#include "core/controller/MainForm.h"
#include "notify/ui/MainWindow.h"
#include "notify/ui/RichToolTip.h"
#include "notify/ui/SysTray.h"
#include "platform/desktop/AutostartEntry.h"
#include "platform/desktop/ShellOpen.h"
#include "shell/settings/SettingsStore.h"

#include "ClippedTexts.h"
#include "DesktopRig.h"
#include "Screenshot.h"
#include "TestHome.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolTip>

namespace {

QByteArray userHive(const QByteArray& options = {})
{
    return "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\VirtualLines]\r\n"
           "\"Count\"=\"2\"\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\Devices\\Virtual line 1]\r\n"
           "\"Monitor\"=\"1\"\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Warnings]\r\n"
           "\"WarnSettingsLocked\"=\"1\"\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options]\r\n" +
           options + "\r\n";
}

QString storedOption(const DesktopRig& desktop, const char* name)
{
    return desktop.program->settings()
        .GetSettingHKCU(QStringLiteral("Options"), QString::fromLatin1(name), QStringLiteral("-"))
        .toString();
}

// The window of a modal exec() started by `open`: inspected, then closed.
void withModal(const std::function<void()>& open, const std::function<void(QWidget*)>& inspect)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        QVERIFY(dialog);
        seen = true;
        inspect(dialog);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    open();
    QVERIFY(seen);
}

} // namespace

class TestUiMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void pagesHoldTheirControls_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("controls");
        QTest::newRow("1") << "General"
                           << QStringList{
                                  "cbConnectOnStart", "cbHideOnstart",  "cbStartWithDesktop",
                                  "cmbTrayAction",    "txtCountryCode", "cbAddToCallHist",
                                  "lstLog",           "cbTapiLog",      "btnClearLog"};
        QTest::newRow("2") << "Connection"
                           << QStringList{"lstTapiDevices",           "btnEditDevice",
                                          "cmbOutgoingDevice",        "txtAcceptedNumber",
                                          "lstConnectionPlugins",     "btnConnectionPluginInfo",
                                          "btnEditConnPluginSettings"};
        QTest::newRow("3") << "Contacts"
                           << QStringList{"cmbDataConnection", "btnDataConnection",
                                          "btnEditContacts",   "fraReverseLookup",
                                          "cbReverseLookup",   "cmbReverseCountry",
                                          "cmbReversePlugin",  "btnReversePluginSettings"};
        QTest::newRow("4") << "Notification"
                           << QStringList{"cbPopup",
                                          "pbShowNotification",
                                          "cbAutoHide",
                                          "txtAutoHideSeconds",
                                          "slTransparency",
                                          "lblTransparency",
                                          "cbHideNotificationOnEndOfCall",
                                          "lstNotificationPlugins",
                                          "btnShowNotificationPluginInfo",
                                          "btnEditNotificationSettings"};
        QTest::newRow("5") << "Server"
                           << QStringList{"cbPhonavoServer", "txtPort",    "txtPassword",
                                          "txtPassword2",    "fraClients", "grdClients"};
        QTest::newRow("6") << "MSNs"
                           << QStringList{"grdMSNs", "btnNewMSN", "btnEditMSN", "btnDelMSN"};
    }

    // Each page is at its place, named after its number, and holds its controls.
    void pagesHoldTheirControls()
    {
        QFETCH(QString, caption);
        QFETCH(QStringList, controls);
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        DesktopRig desktop;
        QCOMPARE(desktop.program->start(), 0);
        QTabWidget* tabs = desktop.window()->tabPages();
        QCOMPARE(tabs->objectName(), QStringLiteral("TabStrip1"));
        QCOMPARE(tabs->count(), 6);
        QCOMPARE(tabs->currentIndex(), 0); // loading shows the first page
        const int number = QString::fromLatin1(QTest::currentDataTag()).toInt();
        QCOMPARE(tabs->tabText(number - 1), caption);
        QWidget* page = tabs->widget(number - 1);
        QCOMPARE(page->objectName(), QStringLiteral("pbTabPage%1").arg(number));
        for (const QString& control : controls)
            QVERIFY2(page->findChild<QWidget*>(control), qPrintable(control));
    }

    void menusAreComplete_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QStringList>("entries"); // objectName=caption, in order
        QTest::newRow("file") << "mnuFile"
                              << QStringList{"mnuExportTexts=Export texts", "mnuHide=&Hide window",
                                             "mnuExit=&Exit"};
        QTest::newRow("calls") << "mnuExtra"
                               << QStringList{"mnuCallHist=&Latest calls",
                                              "mnuStartCall=&Start call",
                                              "mnuSimulate=&Simulate call"};
        QTest::newRow("options") << "mnuOptions"
                                 << QStringList{"mnuBackupSettings=&Backup settings",
                                                "mnuResetWarnings=Reset warning messages",
                                                "mnuIgnoreOutlook=&Ignore address book",
                                                "mnuSetCallDB=&Set call-Database"};
        QTest::newRow("help") << "mnuHelp"
                              << QStringList{"mnuHelpIndex=&Index", "mnuFAQ=&FAQ",
                                             "mnuWebsite=&Website", "mnuAbout=&About"};
        QTest::newRow("tray") << "mnuTray" << QStringList{"mnuTrayShow=&Options",
                                                          "mnuCallHistTray=&Latest calls",
                                                          "mnuTrayStartCall=&Start call",
                                                          "mnuTrayHelp=&Help",
                                                          "mnuTrayAbout=&About",
                                                          "mnuTrayExit=&Exit"};
    }

    void menusAreComplete()
    {
        QFETCH(QString, menu);
        QFETCH(QStringList, entries);
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        DesktopRig desktop;
        QCOMPARE(desktop.program->start(), 0);
        auto* found = desktop.window()->findChild<QMenu*>(menu);
        QVERIFY(found);
        QStringList actual;
        for (QAction* action : found->actions())
            if (!action->isSeparator() && !action->menu())
                actual << action->objectName() + QLatin1Char('=') + action->text();
        QCOMPARE(actual, entries);
        if (menu == QLatin1String("mnuOptions")) {
            auto* language = found->findChild<QMenu*>(QStringLiteral("mnuLanguage"));
            QVERIFY(language);
            QCOMPARE(language->actions().size(), 7);
        }
    }

    // The entries of windows built elsewhere call their hook, and are
    // disabled while it is empty.
    void callMenuEntriesCallTheirHooks()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        DesktopRig desktop;
        QCOMPARE(desktop.program->start(), 0);
        MainWindow* window = desktop.window();
        const QList<QPair<const char*, std::function<void()>*>> entries = {
            {"mnuCallHist", &window->openCallHistory},
            {"mnuCallHistTray", &window->openCallHistory},
            {"mnuStartCall", &window->openStartCall},
            {"mnuTrayStartCall", &window->openStartCall},
            {"mnuSimulate", &window->simulateCall}};
        // The program fills the hooks; without them the entries are disabled.
        for (const auto& [name, hook] : entries)
            QVERIFY2(*hook, name);
        window->openCallHistory = {};
        window->openStartCall = {};
        window->simulateCall = {};
        emit desktop.child<QMenu>("mnuExtra")->aboutToShow();
        emit window->trayMenu()->aboutToShow();
        for (const auto& [name, hook] : entries)
            QVERIFY2(!desktop.child<QAction>(name)->isEnabled(), name);
        QStringList called;
        window->openCallHistory = [&called] { called << QStringLiteral("history"); };
        window->openStartCall = [&called] { called << QStringLiteral("dial"); };
        window->simulateCall = [&called] { called << QStringLiteral("simulate"); };
        // Opening a menu brings its entries up to date.
        emit desktop.child<QMenu>("mnuExtra")->aboutToShow();
        emit window->trayMenu()->aboutToShow();
        for (const auto& [name, hook] : entries)
            desktop.child<QAction>(name)->trigger();
        QCOMPARE(called, (QStringList{"history", "history", "dial", "dial", "simulate"}));
    }

    void trayActionDecidesDoubleClickAndBoldEntry_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("chosen"); // -1: left as loaded
        QTest::addColumn<bool>("historyWindow");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("boldEntry");
        QTest::addColumn<bool>("opensHistory");
        QTest::newRow("default shows the window")
            << QByteArray() << -1 << true << 0 << "mnuTrayShow" << false;
        QTest::newRow("stored history") << QByteArray("\"TrayIconAction\"=\"1\"\r\n") << -1 << true
                                        << 1 << "mnuCallHistTray" << true;
        QTest::newRow("chosen history")
            << QByteArray() << 1 << true << 1 << "mnuCallHistTray" << true;
        QTest::newRow("chosen back to settings") << QByteArray("\"TrayIconAction\"=\"1\"\r\n") << 0
                                                 << true << 0 << "mnuTrayShow" << false;
        QTest::newRow("history without its window")
            << QByteArray("\"TrayIconAction\"=\"1\"\r\n") << -1 << false << 1 << "mnuCallHistTray"
            << false;
        QTest::newRow("unknown stored value") << QByteArray("\"TrayIconAction\"=\"7\"\r\n") << -1
                                              << true << 0 << "mnuTrayShow" << false;
    }

    void trayActionDecidesDoubleClickAndBoldEntry()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, chosen);
        QFETCH(bool, historyWindow);
        QFETCH(int, shown);
        QFETCH(QString, boldEntry);
        QFETCH(bool, opensHistory);
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive(stored));
        DesktopRig desktop;
        QCOMPARE(desktop.program->start(), 0);
        MainWindow* window = desktop.window();
        int historyOpened = 0;
        if (historyWindow)
            window->openCallHistory = [&historyOpened] { ++historyOpened; };
        else
            window->openCallHistory = {};
        auto* combo = desktop.child<QComboBox>("cmbTrayAction");
        if (chosen >= 0) {
            combo->setCurrentIndex(chosen);
            // Stored at once, not only when the settings are saved.
            QCOMPARE(storedOption(desktop, "TrayIconAction"), QString::number(chosen));
        }
        QCOMPARE(combo->currentIndex(), shown);

        emit window->trayMenu()->aboutToShow();
        QVERIFY(window->trayMenu()->defaultAction());
        QCOMPARE(window->trayMenu()->defaultAction()->objectName(), boldEntry);

        window->hide();
        QVERIFY(window->sysTray());
        emit window->sysTray()->doubleClicked();
        QCOMPARE(historyOpened, opensHistory ? 1 : 0);
        QCOMPARE(window->isVisible(), !opensHistory);
    }

    void popupOptionsFollowTheirControls()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"),
                   userHive("\"ShowPopup\"=\"0\"\r\n\"Transparency\"=\"35\"\r\n"));
        DesktopRig desktop;
        QCOMPARE(desktop.program->start(), 0);
        MainOptions& options = desktop.program->mainForm().options();
        desktop.window()->tabPages()->setCurrentIndex(3);
        auto* popup = desktop.child<QCheckBox>("cbPopup");
        auto* group = desktop.child<QWidget>("pbShowNotification");
        auto* slider = desktop.child<QSlider>("slTransparency");
        auto* percent = desktop.child<QLabel>("lblTransparency");
        QVERIFY(!popup->isChecked());
        QVERIFY(group->isHidden()); // the popup's options only while there is a popup
        QCOMPARE(slider->value(), 35);
        QCOMPARE(percent->text(), QStringLiteral("35%"));

        popup->click();
        QVERIFY(options.flag(QStringLiteral("cbPopup")));
        QVERIFY(!group->isHidden());
        slider->setValue(60);
        QCOMPARE(percent->text(), QStringLiteral("60%"));
        QCOMPARE(options.number(QStringLiteral("slTransparency")), 60);

        auto* seconds = desktop.child<QLineEdit>("txtAutoHideSeconds");
        seconds->clear();
        QTest::keyClicks(seconds, QStringLiteral("2x5"));
        QCOMPARE(seconds->text(), QStringLiteral("25")); // letters never get in
        QCOMPARE(options.number(QStringLiteral("txtAutoHideSeconds")), 25);
        desktop.child<QCheckBox>("cbAutoHide")->click();
        QVERIFY(!options.flag(QStringLiteral("cbAutoHide")));
        QVERIFY(!seconds->isEnabled());
        auto* country = desktop.child<QLineEdit>("txtCountryCode");
        QTest::keyClicks(country, QStringLiteral("4a9"));
        QCOMPARE(options.text(QStringLiteral("txtCountryCode")), QStringLiteral("49"));

        // A value set elsewhere shows in its control.
        options.setValue(QStringLiteral("cbHideNotificationOnEndOfCall"), false);
        QVERIFY(!desktop.child<QCheckBox>("cbHideNotificationOnEndOfCall")->isChecked());
        options.setValue(QStringLiteral("slTransparency"), 10);
        QCOMPARE(percent->text(), QStringLiteral("10%"));

        // Locked while listening; the tray action is stored at once and stays free.
        desktop.child<QPushButton>("btnStartStop")->click();
        QVERIFY(desktop.program->mainForm().Active());
        for (const char* locked :
             {"cbPopup", "slTransparency", "txtCountryCode", "cbConnectOnStart", "cbAddToCallHist"})
            QVERIFY2(!desktop.child<QWidget>(locked)->isEnabled(), locked);
        QVERIFY(desktop.child<QWidget>("cmbTrayAction")->isEnabled());
        desktop.child<QPushButton>("btnStartStop")->click();
        QVERIFY(desktop.child<QWidget>("slTransparency")->isEnabled());

        // Saved with the other settings when monitoring started.
        QCOMPARE(storedOption(desktop, "ShowPopup"), QStringLiteral("1"));
        QCOMPARE(storedOption(desktop, "AutoHideSeconds"), QStringLiteral("25"));
        QCOMPARE(storedOption(desktop, "CountryCode"), QStringLiteral("49"));
    }

    // "Start with the desktop" is the user's autostart entry: written, read
    // back, removed; a place that takes no file is told and leaves it off.
    void startWithTheDesktopWritesAnAutostartEntry()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        const auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", oldConfig); });
        qputenv("XDG_CONFIG_HOME", home.file(QStringLiteral("config")).toUtf8());
        const QString entry =
            home.file(QStringLiteral("config/autostart/net.phonavo.Phonavo.desktop"));
        {
            DesktopRig desktop;
            QCOMPARE(desktop.program->start(), 0);
            auto* box = desktop.child<QCheckBox>("cbStartWithDesktop");
            QVERIFY(!box->isChecked());
            box->click();
            const QStringList lines =
                QString::fromUtf8(
                    home.read(QStringLiteral("config/autostart/net.phonavo.Phonavo.desktop")))
                    .split(QLatin1Char('\n'));
            QCOMPARE(lines.first(), QStringLiteral("[Desktop Entry]"));
            QVERIFY(lines.contains(QStringLiteral("Type=Application")));
            QVERIFY2(lines.contains(QStringLiteral("Exec=env \"PHONAVO_HOME=") +
                                    QDir(home.path()).absolutePath() + QStringLiteral("\" ") +
                                    QCoreApplication::applicationFilePath() +
                                    QStringLiteral(" /autostart")),
                     qPrintable(lines.join(QLatin1Char('\n'))));
        }
        {
            DesktopRig desktop;
            QCOMPARE(desktop.program->start(), 0);
            auto* box = desktop.child<QCheckBox>("cbStartWithDesktop");
            QVERIFY(box->isChecked());
            box->click();
            QVERIFY(!QFile::exists(entry));
        }
        // Switched off in the desktop's own settings.
        home.write(QStringLiteral("config/autostart/net.phonavo.Phonavo.desktop"),
                   "[Desktop Entry]\nType=Application\nExec=phonavo /autostart\nHidden=true\n");
        {
            DesktopRig desktop;
            QCOMPARE(desktop.program->start(), 0);
            QVERIFY(!desktop.child<QCheckBox>("cbStartWithDesktop")->isChecked());
        }
        home.write(QStringLiteral("blocker"), "a file, not a folder");
        qputenv("XDG_CONFIG_HOME", home.file(QStringLiteral("blocker")).toUtf8());
        {
            DesktopRig desktop;
            QCOMPARE(desktop.program->start(), 0);
            auto* box = desktop.child<QCheckBox>("cbStartWithDesktop");
            box->click();
            QVERIFY(!box->isChecked());
            QCOMPARE(desktop.dialogs.history().size(), 1);
            QVERIFY(desktop.dialogs.history().first().prompt.startsWith(
                QStringLiteral("The start with the desktop cannot be changed (") +
                home.file(QStringLiteral("blocker"))));
        }
        // Paths with blanks and the characters the format reserves stay one argument.
        QCOMPARE(AutostartEntry::execLine(QStringLiteral("/opt/my apps/pho$na\"vo"),
                                          {QStringLiteral("/autostart")}),
                 QStringLiteral("\"/opt/my apps/pho\\\\$na\\\\\"vo\" /autostart"));
    }

    // Windows open when the language changes speak the new one at once.
    void openWindowsFollowTheLanguage()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        DesktopRig desktop;
        QCOMPARE(desktop.program->start(), 0);
        MainWindow* window = desktop.window();
        window->simulateCall();
        auto* simulate = window->findChild<QDialog*>(QStringLiteral("frmSimulateCall"));
        QVERIFY(simulate);
        auto* button = simulate->findChild<QPushButton*>(QStringLiteral("btnSimulate"));
        QCOMPARE(button->text(), QStringLiteral("&Simulate"));
        // The simulated call is stored at once: its details are open too.
        button->click();
        window->openCallDetails(1);
        auto* details = window->findChild<QDialog*>(QStringLiteral("frmCallDetails"));
        QVERIFY(details);
        auto* direction = details->findChild<QLabel*>(QStringLiteral("lblDirection"));
        QCOMPARE(direction->text(), QStringLiteral("Incoming call"));
        window->findChild<QAction*>(QStringLiteral("mnuSetLangGerman"))->trigger();
        QCOMPARE(desktop.program->loc().sForeignColumnName(), QStringLiteral("German"));
        QCOMPARE(direction->text(), desktop.program->loc().GetS(QStringLiteral("Incoming call")));
        QVERIFY(direction->text() != QStringLiteral("Incoming call"));
        QVERIFY(button->text() != QStringLiteral("&Simulate"));
        QVERIFY(simulate->windowTitle() != QStringLiteral("Simulate call"));
        window->findChild<QAction*>(QStringLiteral("mnuSetLangEnglish"))->trigger();
        QCOMPARE(button->text(), QStringLiteral("&Simulate"));
        details->close();
        simulate->close();
    }

    void aboutWindowFromBothMenus_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::newRow("main menu") << "mnuAbout";
        QTest::newRow("tray menu") << "mnuTrayAbout";
    }

    void aboutWindowFromBothMenus()
    {
        QFETCH(QString, entry);
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        DesktopRig desktop;
        QCOMPARE(desktop.program->start(), 0);
        withModal([&] { desktop.window()->findChild<QAction*>(entry)->trigger(); },
                  [&](QWidget* about) {
                      QCOMPARE(about->objectName(), QStringLiteral("frmAbout"));
                      QCOMPARE(about->windowTitle(), QStringLiteral("About Phonavo"));
                      QCOMPARE(about->findChild<QLabel*>(QStringLiteral("lblVersion"))->text(),
                               QStringLiteral("Version ") + Program::versionText());
                      const QString link =
                          about->findChild<QLabel*>(QStringLiteral("lblWebsite"))->text();
                      QVERIFY2(link.contains(desktop.program->shell().homepageUrl()),
                               qPrintable(link));
                      saveScreenshot(*about, QStringLiteral("frmAbout"), false);
                  });
    }

    // Every text of every page fits in each language of the language menu, and
    // the window still fits a small laptop screen.
    void textsAreNotClipped_data()
    {
        QTest::addColumn<QString>("language");
        for (const char* language :
             {"German", "Spanish", "Dutch", "Norwegian", "French", "Swedish"})
            QTest::newRow(language) << QString::fromLatin1(language);
    }

    void textsAreNotClipped()
    {
        QFETCH(QString, language);
        TestHome home;
        home.write(QStringLiteral("user.reg"), userHive());
        DesktopRig desktop;
        QCOMPARE(desktop.program->start(), 0);
        MainWindow* window = desktop.window();
        // The server's controls show only while it is on: switched on to be seen.
        desktop.child<QCheckBox>("cbPhonavoServer")->setChecked(true);
        QTabWidget* tabs = window->tabPages();
        QStringList captions;
        for (int i = 0; i < tabs->count(); ++i) {
            captions << tabs->tabText(i);
            tabs->setCurrentIndex(i);
            saveScreenshot(*window, QStringLiteral("MainForm-%1").arg(captions.last()), false);
        }
        window->findChild<QAction*>(QStringLiteral("mnuSetLang") + language)->trigger();
        QCOMPARE(desktop.program->loc().sForeignColumnName(), language);
        QVERIFY(tabs->tabText(1) != QStringLiteral("Connection"));
        QVERIFY(QTest::qWaitForWindowExposed(window));

        QStringList clipped;
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            QApplication::processEvents();
            // A hidden page's layout takes its new texts' sizes only when it shows.
            const QSize hint = window->minimumSizeHint();
            if (hint.width() > 1366 || hint.height() > 740)
                clipped << QStringLiteral("the window on %1 (%2x%3)")
                               .arg(captions[i])
                               .arg(hint.width())
                               .arg(hint.height());
            clipped << clippedTexts(*window);
            // The smallest the user can make it cuts no text either.
            const QSize shown = window->size();
            window->resize(window->minimumSize());
            QApplication::processEvents();
            for (const QString& text : clippedTexts(*window))
                clipped << text + QStringLiteral(" at the smallest size");
            window->resize(shown);
            // The user guide shows two of the languages.
            if (language == QLatin1String("German") || language == QLatin1String("French"))
                saveScreenshot(*window, QStringLiteral("MainForm-%1-%2").arg(captions[i], language),
                               false);
        }
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral(", "))));
    }

    void richToolTipShowsTitleOverEscapedText()
    {
        QWidget tool;
        tool.setToolTip(QStringLiteral("plain"));
        tool.resize(200, 40);
        tool.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tool));
        auto* tip = new RichToolTip(&tool);
        const auto shownFor = [&tool] {
            QToolTip::hideText();
            QHelpEvent event(QEvent::ToolTip, QPoint(5, 5), tool.mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(&tool, &event);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        // Without texts of its own the widget's tool tip shows.
        QCOMPARE(shownFor(), QStringLiteral("plain"));
        tip->setTitle(QStringLiteral("Filter"));
        tip->setTipText(QStringLiteral("Name <or> number\nExtra & info"));
        QCOMPARE(shownFor(),
                 QStringLiteral("<qt><b>Filter</b><br>Name &lt;or&gt; number<br>Extra &amp; "
                                "info</qt>"));
        tip->setTitle(QString());
        QCOMPARE(shownFor(), QStringLiteral("<qt>Name &lt;or&gt; number<br>Extra &amp; info</qt>"));
        QCOMPARE(tool.toolTip(), QStringLiteral("plain"));
        QToolTip::hideText();
    }
};

QTEST_MAIN(TestUiMainWindow)
#include "TestUiMainWindow.moc"
