#include "contacts/ui/AddressBookDialog.h"

#include "ControllerRig.h"
#include "Screenshot.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <unistd.h>

class TestUiAddressBookDialog : public QObject
{
    Q_OBJECT

    std::unique_ptr<ControllerRig> m_rig;
    QStringList m_counted;
    int m_restarts = 0;

    QString root() const { return m_rig->home.file(QStringLiteral("contacts")); }
    QString folder(const char* sub) const { return root() + QLatin1Char('/') + QLatin1String(sub); }
    QVariant stored(const char* name) const
    {
        return m_rig->settings.GetSettingHKCU(QStringLiteral("Outlook"), QString::fromLatin1(name),
                                              QVariant());
    }
    void store(const char* name, const QString& value)
    {
        m_rig->settings.SaveSettingHKCU(QStringLiteral("Outlook"), QString::fromLatin1(name),
                                        value);
    }
    std::unique_ptr<AddressBookDialog> open()
    {
        AddressBookDialog::Hooks hooks;
        hooks.countContacts = [this](const QString& f) {
            m_counted << f;
            return 3;
        };
        hooks.restartBuffer = [this] { ++m_restarts; };
        hooks.chooseJournalFolder = [this](const QString&) { return folder("../journal-picked"); };
        auto dialog = std::make_unique<AddressBookDialog>(*m_rig->form, std::move(hooks));
        dialog->show();
        return dialog;
    }
    template <typename T> static T* child(QWidget& w, const char* name)
    {
        return w.findChild<T*>(QString::fromLatin1(name));
    }
    static QCheckBox* box(QWidget& w, const char* name) { return child<QCheckBox>(w, name); }

private slots:
    void init()
    {
        m_rig = std::make_unique<ControllerRig>();
        m_counted.clear();
        m_restarts = 0;
        for (const char* sub : {"work/team", "family", ".vdirsyncer"})
            QVERIFY(QDir().mkpath(folder(sub)));
    }
    void cleanup() { m_rig.reset(); }

    void folderTreeWithTheStoredFolderSelected_data()
    {
        QTest::addColumn<QString>("storedFolder");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("notFoundLogged");
        QTest::newRow("empty: the root") << "" << 0 << false;
        QTest::newRow("a sub-folder") << "family" << 1 << false;
        QTest::newRow("two deep, trailing slash") << "work/team/" << 3 << false;
        QTest::newRow("outside the root: kept") << "../elsewhere" << 4 << false;
        QTest::newRow("gone: the root") << "missing" << 0 << true;
    }
    void folderTreeWithTheStoredFolderSelected()
    {
        QFETCH(QString, storedFolder);
        QFETCH(int, selected);
        QFETCH(bool, notFoundLogged);
        QVERIFY(QDir().mkpath(folder("../elsewhere")));
        if (!storedFolder.isEmpty())
            store("ContactsStoreID", folder(storedFolder.toLatin1().constData()));
        auto dialog = open();
        auto* combo = child<QComboBox>(*dialog, "cmbContactsFolder");
        QVERIFY(combo);
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        QStringList expected{root(), QStringLiteral("    family"), QStringLiteral("    work"),
                             QStringLiteral("        team")};
        QStringList paths{root(), folder("family"), folder("work"), folder("work/team")};
        if (selected == 4) {
            expected << m_rig->home.file(QStringLiteral("elsewhere"));
            paths << m_rig->home.file(QStringLiteral("elsewhere"));
        }
        QCOMPARE(texts, expected);
        QCOMPARE(dialog->folderPaths(), paths);
        QCOMPARE(combo->currentIndex(), selected);
        QCOMPARE(dialog->selectedFolder(), paths.at(selected));
        QCOMPARE(m_rig->anyMessage([](const QString& l) {
            return l.startsWith(QLatin1String("The contacts folder ")) &&
                   l.endsWith(QLatin1String(" was not found; the address book folder is selected"));
        }),
                 notFoundLogged);
    }

    void unreadableFolderIsLoggedAndSkipped()
    {
        if (::geteuid() == 0)
            QSKIP("the superuser reads every folder");
        QVERIFY(QFile::setPermissions(folder("work"), QFileDevice::WriteOwner));
        auto dialog = open();
        QFile::setPermissions(folder("work"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        QCOMPARE(dialog->folderPaths(), (QStringList{root(), folder("family")}));
        QVERIFY(m_rig->logged(
            QStringLiteral("The folder %1 cannot be read and is left out").arg(folder("work"))));
    }

    void boxesShowTheValuesAndFollowTheirRules()
    {
        store("CreateNewContact", QStringLiteral("0"));
        store("AddToJournal", QStringLiteral("1"));
        store("OpenContact", QStringLiteral("1"));
        auto dialog = open();
        // Stored values, and the defaults of those never stored.
        const QList<QPair<const char*, bool>> shown = {
            {"cbCreateNewContact", false}, {"cbIfNameAvailable", true},
            {"cbOpenNewContact", false},   {"cbAddJournalItem", true},
            {"cbOpenJournalItem", false},  {"cbOpenFoundContact", true},
            {"cbBufferContacts", true}};
        for (const auto& [name, checked] : shown)
            QVERIFY2(box(*dialog, name)->isChecked() == checked, name);
        QVERIFY(!box(*dialog, "cbIfNameAvailable")->isEnabled());
        QVERIFY(!box(*dialog, "cbOpenNewContact")->isEnabled());
        QVERIFY(box(*dialog, "cbOpenJournalItem")->isEnabled());
        saveScreenshot(*dialog, QStringLiteral("frmOutlookConnection"));

        box(*dialog, "cbCreateNewContact")->click();
        QVERIFY(box(*dialog, "cbIfNameAvailable")->isEnabled());
        QVERIFY(box(*dialog, "cbOpenNewContact")->isEnabled());
        box(*dialog, "cbAddJournalItem")->click();
        QVERIFY(!box(*dialog, "cbOpenJournalItem")->isEnabled());
    }

    void saveStoresAndCancelDoesNot_data()
    {
        QTest::addColumn<bool>("save");
        QTest::addColumn<bool>("buffer");
        QTest::addColumn<int>("folderIndex");
        QTest::newRow("save, buffer on, sub-folder") << true << true << 3;
        QTest::newRow("save, buffer off, root") << true << false << 0;
        QTest::newRow("cancel") << false << true << 1;
    }
    void saveStoresAndCancelDoesNot()
    {
        QFETCH(bool, save);
        QFETCH(bool, buffer);
        QFETCH(int, folderIndex);
        store("ContactsStoreID", folder("family"));
        store("BufferContacts", buffer ? QStringLiteral("0") : QStringLiteral("1"));
        auto dialog = open();
        box(*dialog, "cbBufferContacts")->click();
        box(*dialog, "cbCreateNewContact")->click();
        box(*dialog, "cbAddJournalItem")->click();
        box(*dialog, "cbOpenJournalItem")->click();
        child<QComboBox>(*dialog, "cmbContactsFolder")->setCurrentIndex(folderIndex);
        child<QPushButton>(*dialog, "btnJournalFolder")->click();
        QCOMPARE(child<QLineEdit>(*dialog, "txtJournalFolder")->text(),
                 m_rig->home.file(QStringLiteral("journal-picked")));
        child<QPushButton>(*dialog, save ? "btnSave" : "btnCancel")->click();
        QCOMPARE(dialog->result(), save ? int(QDialog::Accepted) : int(QDialog::Rejected));

        if (!save) {
            QCOMPARE(stored("CreateNewContact"), QVariant());
            QCOMPARE(stored("JournalFolder"), QVariant());
            QCOMPARE(stored("ContactsStoreID").toString(), folder("family"));
            QCOMPARE(m_restarts, 0);
            return;
        }
        const QString on = QStringLiteral("1"), off = QStringLiteral("0");
        QCOMPARE(stored("BufferContacts").toString(), buffer ? on : off);
        QCOMPARE(stored("CreateNewContact").toString(), on);
        QCOMPARE(stored("CreateIfName").toString(), on);
        QCOMPARE(stored("OpenNewContact").toString(), off);
        QCOMPARE(stored("AddToJournal").toString(), on);
        QCOMPARE(stored("OpenJournalEntry").toString(), on);
        QCOMPARE(stored("OpenContact").toString(), off);
        QCOMPARE(stored("ContactsStoreID").toString(),
                 folderIndex == 0 ? QString() : dialog->folderPaths().at(folderIndex));
        QCOMPARE(stored("JournalFolder").toString(),
                 m_rig->home.file(QStringLiteral("journal-picked")));
        QCOMPARE(m_restarts, buffer ? 1 : 0);
    }

    void journalOptionsHiddenWhenUnusable_data()
    {
        QTest::addColumn<QString>("noJournal");
        QTest::addColumn<bool>("blocked"); // a file where the folder should be
        QTest::addColumn<bool>("hidden");
        QTest::newRow("usable") << "0" << false << false;
        QTest::newRow("remembered as missing") << "1" << false << true;
        QTest::newRow("folder cannot be made") << "" << true << true;
    }
    void journalOptionsHiddenWhenUnusable()
    {
        QFETCH(QString, noJournal);
        QFETCH(bool, blocked);
        QFETCH(bool, hidden);
        if (!noJournal.isEmpty())
            store("NoJournal", noJournal);
        if (blocked) {
            m_rig->home.write(QStringLiteral("plain-file"), "x");
            store("JournalFolder", m_rig->home.file(QStringLiteral("plain-file/journal")));
        }
        store("AddToJournal", QStringLiteral("1"));
        store("OpenJournalEntry", QStringLiteral("1"));
        auto dialog = open();
        for (const char* name : {"cbAddJournalItem", "cbOpenJournalItem"}) {
            QCOMPARE(box(*dialog, name)->isVisible(), !hidden);
            QCOMPARE(box(*dialog, name)->isChecked(), !hidden);
        }
        QCOMPARE(stored("NoJournal").toString(), hidden ? QStringLiteral("1") : noJournal);
        QCOMPARE(m_rig->anyMessage([](const QString& l) {
            return l.startsWith(QLatin1String("The call journal folder "));
        }),
                 blocked);
        child<QPushButton>(*dialog, "btnSave")->click();
        QCOMPARE(stored("AddToJournal").toString(),
                 hidden ? QStringLiteral("0") : QStringLiteral("1"));
    }

    void testButtonCountsTheSelectedFolder()
    {
        auto dialog = open();
        child<QComboBox>(*dialog, "cmbContactsFolder")->setCurrentIndex(2);
        child<QPushButton>(*dialog, "btnTest")->click();
        QCOMPARE(m_counted, QStringList{folder("work")});
        const auto& boxes = m_rig->dialogs.history();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().prompt, QStringLiteral("Found 3 items in the selected folder"));
        QCOMPARE(boxes.first().style & MsgStyle::IconMask, MsgStyle::Information);

        // Without a way to count, there is nothing to test with.
        AddressBookDialog bare(*m_rig->form, {});
        QVERIFY(!child<QPushButton>(bare, "btnTest")->isEnabled());
    }
};

QTEST_MAIN(TestUiAddressBookDialog)
#include "TestUiAddressBookDialog.moc"
