#include "loc/LocGuru.h"
#include "loc/ui/FormTranslator.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/settings/SettingsStore.h"

#include "LangDbFixture.h"
#include "TestHome.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>
#include <QToolBox>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>

namespace {

// A window with one of each kind of text the translation knows.
struct Window
{
    std::unique_ptr<QWidget> root = std::make_unique<QWidget>();
    QLabel* label;
    QPushButton* button;
    QGroupBox* group;
    QCheckBox* tagged;
    QComboBox* combo;
    QListWidget* list;
    QTableWidget* table;
    QTreeWidget* tree;
    QStandardItemModel* model;
    QTabWidget* tabs;
    QToolBox* toolBox;
    QLineEdit* edit;
    QMenu* fileMenu;
    QMenu* languageMenu;
    QAction* exitAction;
    QAction* germanAction;
    QAction* taggedAction;
    QAction* dialAction;
    QToolBar* toolBar;
    QFileDialog* fileDialog;

    Window()
    {
        QWidget* w = root.get();
        w->setWindowTitle(QStringLiteral("Main"));
        auto* layout = new QVBoxLayout(w);
        auto* menuBar = new QMenuBar(w);
        layout->setMenuBar(menuBar);
        fileMenu = menuBar->addMenu(QStringLiteral("&File"));
        exitAction = fileMenu->addAction(QStringLiteral("E&xit"));
        languageMenu = fileMenu->addMenu(QStringLiteral("Language"));
        germanAction = languageMenu->addAction(QStringLiteral("German"));
        germanAction->setToolTip(QStringLiteral("Switch to German"));
        taggedAction = fileMenu->addAction(QStringLiteral("Keep"));
        taggedAction->setToolTip(QStringLiteral("Tip"));
        taggedAction->setProperty("Tag", QStringLiteral("!"));
        toolBar = new QToolBar(w);
        dialAction = toolBar->addAction(QStringLiteral("Dial"));
        layout->addWidget(toolBar);

        label = new QLabel(QStringLiteral("Name"), w);
        button = new QPushButton(QStringLiteral("&Start"), w);
        button->setToolTip(QStringLiteral("Starts"));
        group = new QGroupBox(QStringLiteral("Options"), w);
        tagged = new QCheckBox(QStringLiteral("Popup"), group);
        tagged->setToolTip(QStringLiteral("Shows popup"));
        tagged->setProperty("Tag", QStringLiteral("!no caption"));
        combo = new QComboBox(w);
        combo->addItems({QStringLiteral("One"), QStringLiteral("Two")});
        list = new QListWidget(w);
        list->addItem(QStringLiteral("Alpha"));
        table = new QTableWidget(1, 2, w);
        table->setHorizontalHeaderLabels({QStringLiteral("Date"), QStringLiteral("Number")});
        tree = new QTreeWidget(w);
        tree->setHeaderLabels({QStringLiteral("Caller")});
        auto* view = new QTableView(w);
        model = new QStandardItemModel(0, 1, view);
        model->setHorizontalHeaderLabels({QStringLiteral("Duration")});
        view->setModel(model);
        tabs = new QTabWidget(w);
        tabs->addTab(new QWidget, QStringLiteral("General"));
        tabs->setTabToolTip(0, QStringLiteral("General options"));
        tabs->addTab(new QWidget, QStringLiteral("Server"));
        toolBox = new QToolBox(w);
        toolBox->addItem(new QWidget, QStringLiteral("Page"));
        edit = new QLineEdit(QStringLiteral("user data"), w);
        fileDialog = new QFileDialog(w, QStringLiteral("Export texts"));
        fileDialog->setOption(QFileDialog::DontUseNativeDialog);
        fileDialog->setNameFilters({QStringLiteral("Databases (*.db)"), QStringLiteral("All (*)")});
        fileDialog->selectNameFilter(QStringLiteral("All (*)"));
        for (QWidget* child :
             {static_cast<QWidget*>(label), static_cast<QWidget*>(button),
              static_cast<QWidget*>(group), static_cast<QWidget*>(combo),
              static_cast<QWidget*>(list), static_cast<QWidget*>(table),
              static_cast<QWidget*>(tree), static_cast<QWidget*>(view), static_cast<QWidget*>(tabs),
              static_cast<QWidget*>(toolBox), static_cast<QWidget*>(edit)})
            layout->addWidget(child);
    }

    QString toolButtonText() const
    {
        auto* toolButton = qobject_cast<QToolButton*>(toolBar->widgetForAction(dialAction));
        return toolButton ? toolButton->text() : QString();
    }
};

// Width test doubling every text with '#': what a translated text looks like.
QString doubled(const QString& text)
{
    return text + QString(text.size(), QLatin1Char('#'));
}

} // namespace

class TestUiFormTranslator : public QObject
{
    Q_OBJECT

private slots:
    void translatesEveryKindOfText()
    {
        Window w;
        LocGuru loc;
        FormTranslator::TranslateForm(w.root.get(), loc); // no database, no width test
        QCOMPARE(w.root->windowTitle(), QStringLiteral("Main"));
        QCOMPARE(w.label->text(), QStringLiteral("Name"));

        loc.setbTestStrWidth(true);
        loc.setsStrWidthFactors(QStringLiteral("9999:100"));
        loc.setsPadChar(QStringLiteral("#"));
        FormTranslator::TranslateForm(w.root.get(), loc);

        QCOMPARE(w.root->windowTitle(), doubled(QStringLiteral("Main")));
        QCOMPARE(w.label->text(), doubled(QStringLiteral("Name")));
        QCOMPARE(w.button->text(), doubled(QStringLiteral("&Start")));
        QCOMPARE(w.button->toolTip(), doubled(QStringLiteral("Starts")));
        QCOMPARE(w.group->title(), doubled(QStringLiteral("Options")));
        // The Tag rule: only the tool tip.
        QCOMPARE(w.tagged->text(), QStringLiteral("Popup"));
        QCOMPARE(w.tagged->toolTip(), doubled(QStringLiteral("Shows popup")));
        QCOMPARE(w.combo->itemText(1), doubled(QStringLiteral("Two")));
        QCOMPARE(w.list->item(0)->text(), doubled(QStringLiteral("Alpha")));
        QCOMPARE(w.table->horizontalHeaderItem(1)->text(), doubled(QStringLiteral("Number")));
        QCOMPARE(w.tree->headerItem()->text(0), doubled(QStringLiteral("Caller")));
        QCOMPARE(w.model->headerData(0, Qt::Horizontal).toString(),
                 doubled(QStringLiteral("Duration")));
        QCOMPARE(w.tabs->tabText(1), doubled(QStringLiteral("Server")));
        QCOMPARE(w.tabs->tabToolTip(0), doubled(QStringLiteral("General options")));
        QCOMPARE(w.toolBox->itemText(0), doubled(QStringLiteral("Page")));
        QCOMPARE(w.edit->text(), QStringLiteral("user data"));
        // Menus, sub-menus and tool bars through their actions, each once.
        QCOMPARE(w.fileMenu->title(), doubled(QStringLiteral("&File")));
        QCOMPARE(w.exitAction->text(), doubled(QStringLiteral("E&xit")));
        QCOMPARE(w.exitAction->toolTip(), QStringLiteral("Exit#####"));
        QCOMPARE(w.languageMenu->title(), doubled(QStringLiteral("Language")));
        QCOMPARE(w.germanAction->toolTip(), doubled(QStringLiteral("Switch to German")));
        QCOMPARE(w.taggedAction->text(), QStringLiteral("Keep"));
        QCOMPARE(w.taggedAction->toolTip(), doubled(QStringLiteral("Tip")));
        QCOMPARE(w.dialAction->text(), doubled(QStringLiteral("Dial")));
        QCOMPARE(w.toolButtonText(), doubled(QStringLiteral("Dial")));
        QCOMPARE(w.fileDialog->windowTitle(), doubled(QStringLiteral("Export texts")));
        QCOMPARE(w.fileDialog->nameFilters().constFirst(),
                 doubled(QStringLiteral("Databases (*.db)")));
        QCOMPARE(w.fileDialog->selectedNameFilter(), doubled(QStringLiteral("All (*)")));
    }

    void translatesFromTheDatabase()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("langdata.db"));
        QVERIFY(makeLanguageDb(path, {{QStringLiteral("Main"), QStringLiteral("Haupt")},
                                      {QStringLiteral("&File"), QStringLiteral("&Datei")}}));
        Window w;
        LocGuru loc;
        loc.setsLanguageTableName(QStringLiteral("resstrings"));
        loc.setsForeignColumnName(QStringLiteral("German"));
        QVERIFY(loc.OpenLanguageDatabase(path, true, LocGuru::kSqlDatabase));
        FormTranslator::TranslateForm(w.root.get(), loc);
        QCOMPARE(w.root->windowTitle(), QStringLiteral("Haupt"));
        QCOMPARE(w.fileMenu->title(), QStringLiteral("&Datei"));
        QCOMPARE(w.label->text(), QStringLiteral("Name"));
    }

    void exportsTheTextsOfTheWindows()
    {
        QTemporaryDir dir;
        const QString current = dir.filePath(QStringLiteral("langdata.db"));
        QVERIFY(makeLanguageDb(current, {{QStringLiteral("Main"), QStringLiteral("Haupt")}}));
        const QString target = dir.filePath(QStringLiteral("export.db"));
        QVERIFY(makeLanguageDb(target, {{QStringLiteral("Gone"), QVariant(), false, true},
                                        {QStringLiteral("Name"), QStringLiteral("Name")}}));

        Window w;
        QWidget other;
        other.setWindowTitle(QStringLiteral("Second window"));
        auto* tooLong = new QLabel(QString(300, QLatin1Char('x')), &other);
        Q_UNUSED(tooLong);
        LocGuru loc;
        loc.setsLanguageTableName(QStringLiteral("resstrings"));
        loc.setsForeignColumnName(QStringLiteral("German"));
        QVERIFY(loc.OpenLanguageDatabase(current, true, LocGuru::kSqlDatabase));
        ScriptedDialogs dialogs;

        QVERIFY2(FormTranslator::ExportTexts({w.root.get(), &other}, target, loc, dialogs),
                 qPrintable(loc.sErrDescription()));

        const QVariantList used =
            querySql(target, QStringLiteral("SELECT Native FROM resstrings WHERE bIsUsed = 1"));
        QSet<QString> exported;
        for (const QVariant& text : used)
            exported.insert(text.toString());
        const QStringList texts =
            QStringLiteral("Main|Name|&Start|Starts|Options|Shows popup|One|Two|Alpha|Date|Number|"
                           "Caller|Duration|General|General options|Server|Page|&File|E&xit|"
                           "Language|German|Switch to German|Tip|Dial|Export texts|"
                           "Databases (*.db)|All (*)|Second window")
                .split(QLatin1Char('|'));
        const QSet<QString> expected(texts.cbegin(), texts.cend());
        QCOMPARE(exported, expected);
        QCOMPARE(used.size(), expected.size()); // no text twice
        QCOMPARE(querySql(target, QStringLiteral("SELECT bIsUsed FROM resstrings WHERE Native = "
                                                 "'Gone'")),
                 QVariantList{0});
        // The phrase too long for the column was reported and left out.
        QCOMPARE(dialogs.history().size(), 2);
        QVERIFY(
            dialogs.history()[0].prompt.startsWith(QStringLiteral("A phrase of 300 characters")));
        QCOMPARE(dialogs.history()[1].style, MsgStyle::OK + MsgStyle::Exclamation);

        // The language in use is back.
        QCOMPARE(loc.sLanguageDB(), current);
        QCOMPARE(loc.GetS(QStringLiteral("Main")), QStringLiteral("Haupt"));
        // The window itself was not touched.
        QCOMPARE(w.root->windowTitle(), QStringLiteral("Main"));
    }

    void exportCommand()
    {
        TestHome home;
        SettingsStore settings(home.file(QStringLiteral("user.reg")),
                               home.file(QStringLiteral("machine.reg")));
        ScriptedDialogs dialogs;
        LocGuru loc;
        loc.setsLanguageTableName(QStringLiteral("resstrings"));
        Window w;
        const QString target = home.file(QStringLiteral("new.db"));
        auto choose = [&target] { return target; };

        settings.SaveSettingHKCU(QString(), QStringLiteral("LanguageColumn"),
                                 QStringLiteral("German"));
        QVERIFY(!FormTranslator::ExportTextsCommand(nullptr, {w.root.get()}, loc, settings, dialogs,
                                                    choose));
        QCOMPARE(dialogs.history().constLast().prompt,
                 QStringLiteral("Please switch to native language first"));

        settings.SaveSettingHKCU(QString(), QStringLiteral("LanguageColumn"),
                                 QStringLiteral("Native"));
        dialogs.queueAnswer(MsgResult::No);
        QVERIFY(!FormTranslator::ExportTextsCommand(nullptr, {w.root.get()}, loc, settings, dialogs,
                                                    choose));
        QCOMPARE(dialogs.history().constLast().prompt,
                 QStringLiteral("Export to ") + target + QLatin1Char('?'));
        QVERIFY(!QFile::exists(target));

        dialogs.queueAnswer(MsgResult::Yes);
        QVERIFY(FormTranslator::ExportTextsCommand(nullptr, {w.root.get()}, loc, settings, dialogs,
                                                   choose));
        QVERIFY(querySql(target, QStringLiteral("SELECT Native FROM resstrings"))
                    .contains(QStringLiteral("Main")));
        QVERIFY(!loc.bDbIsOpen()); // none was open before
    }
};

QTEST_MAIN(TestUiFormTranslator)
#include "TestUiFormTranslator.moc"
