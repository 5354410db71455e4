#include "contacts/store/CallDatabase.h"
#include "contacts/store/SqlCallStore.h"
#include "core/calls/CCall.h"
#include "core/log/ProgramLog.h"
#include "history/CallTooltip.h"
#include "history/ui/FrmCallHistory.h"
#include "history/ui/GroupArea.h"
#include "notify/ui/MainWindow.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/settings/SettingsStore.h"
#include "shell/startup/Program.h"

#include "Screenshot.h"
#include "TestHome.h"

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>
#include <QTreeView>

namespace {

const QByteArray kHive = "Windows Registry Editor Version 5.00\r\n\r\n"
                         "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Warnings]\r\n"
                         "\"WarnSettingsLocked\"=\"1\"\r\n\r\n";

struct Call
{
    qint32 id;
    const char* callerId;
    const char* callerName;
    const char* callerExtra;
    const char* calledId;
    bool answered;
};

// The desktop program on a fresh SQLite call history, and its history window.
struct History
{
    explicit History(const QByteArray& extraHive = {})
    {
        home.write(QStringLiteral("user.reg"), kHive + extraHive);
        Program::FrontEnd frontEnd;
        frontEnd.headless = false;
        frontEnd.dialogs = &dialogs;
        frontEnd.createView = [](Program& p) -> std::unique_ptr<MainWindowView> {
            return std::make_unique<MainWindow>(p);
        };
        program = std::make_unique<Program>(frontEnd);
        if (program->start() != 0)
            qFatal("the program did not start");
    }
    MainWindow* mainWindow() const { return dynamic_cast<MainWindow*>(program->view()); }
    FrmCallHistory* open() const
    {
        mainWindow()->findChild<QAction*>(QStringLiteral("mnuCallHist"))->trigger();
        return mainWindow()->callHistory();
    }
    template <typename T> T* child(const char* name) const
    {
        return mainWindow()->callHistory()->findChild<T*>(QString::fromLatin1(name));
    }
    // Calls nine hours apart, the highest id newest.
    void insert(const QList<Call>& calls) const
    {
        QSqlDatabase db = program->callDatabase()->database();
        db.transaction();
        QSqlQuery q(db);
        q.prepare(QStringLiteral(
            "INSERT INTO Calls (CallID, CallerID, CallerName, CallerExtra, CalledID, CalledName, "
            "Answered, Incoming, CallDate, CallEnd) VALUES (?, ?, ?, ?, ?, 'Office', ?, 1, ?, ?)"));
        for (const Call& c : calls) {
            const QDateTime at = QDateTime(QDate(2024, 3, 1), QTime(8, 0)).addSecs(c.id * 9 * 3600);
            for (const QVariant& v : QVariantList{
                     c.id, c.callerId, c.callerName, c.callerExtra, c.calledId, c.answered,
                     at.toString(Qt::ISODateWithMs), at.addSecs(125).toString(Qt::ISODateWithMs)})
                q.addBindValue(v);
            if (!q.exec())
                qFatal("insert failed");
        }
        db.commit();
    }
    int storedCalls() const
    {
        QSqlQuery q(program->callDatabase()->database());
        q.exec(QStringLiteral("SELECT COUNT(*) FROM Calls"));
        return q.next() ? q.value(0).toInt() : -1;
    }

    TestHome home;
    ScriptedDialogs dialogs;
    std::unique_ptr<Program> program;
};

const QList<Call> kCalls = {
    {1, "0301111", "Anna Ahrens", "ACME Berlin", "100", true},
    {2, "0402222", "Bert", "", "200", false},
    {3, "0503333", "", "50%_off", "100", true},
    {4, "", "O'Brien", "", "200", false},
    {5, "0301111", "Anna Ahrens", "", "100", false},
};

QList<qint32> shownIds(const CallHistoryModel& model, const QModelIndex& parent = {})
{
    QList<qint32> ids;
    for (int row = 0; row < model.rowCount(parent); ++row)
        ids << model.callId(model.index(row, 0, parent));
    return ids;
}

} // namespace

class TestUiCallHistory : public QObject
{
    Q_OBJECT

private slots:
    void filter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("boxes"); // N numbers, A names, E extra texts
        QTest::addColumn<QList<qint32>>("ids");
        QTest::newRow("no text: all, newest first") << ""
                                                    << "NAE" << QList<qint32>{5, 4, 3, 2, 1};
        QTest::newRow("extra text only") << "ACME"
                                         << "E" << QList<qint32>{1};
        QTest::newRow("extra text not searched") << "ACME"
                                                 << "NA" << QList<qint32>{};
        QTest::newRow("numbers") << "0402"
                                 << "N" << QList<qint32>{2};
        QTest::newRow("names find parts") << "ahrens"
                                          << "A" << QList<qint32>{5, 1};
        QTest::newRow("percent is a letter") << "%_"
                                             << "NAE" << QList<qint32>{3};
        QTest::newRow("apostrophe") << "O'Brien"
                                    << "A" << QList<qint32>{4};
        QTest::newRow("no box: names searched") << "Bert"
                                                << "" << QList<qint32>{2};
    }
    void filter()
    {
        QFETCH(QString, text);
        QFETCH(QString, boxes);
        QFETCH(QList<qint32>, ids);
        History h;
        h.insert(kCalls);
        FrmCallHistory* window = h.open();
        QVERIFY(window->isVisible());
        QCOMPARE(h.child<QLineEdit>("txtFilter")->placeholderText(),
                 QStringLiteral("Enter search text..."));
        h.child<QLineEdit>("txtFilter")->setText(text);
        h.child<QCheckBox>("cbFilterNumber")->setChecked(boxes.contains(QLatin1Char('N')));
        h.child<QCheckBox>("cbFilterNames")->setChecked(boxes.contains(QLatin1Char('A')));
        h.child<QCheckBox>("cbFilterExtrainfo")->setChecked(boxes.contains(QLatin1Char('E')));
        QCOMPARE(shownIds(window->model()), ids);
        QCOMPARE(h.child<QCheckBox>("cbFilterNames")->isChecked(),
                 boxes.contains(QLatin1Char('A')) || boxes.isEmpty());
        QCOMPARE(h.child<QCheckBox>("cbFilterNumber")->isVisibleTo(window), !text.isEmpty());
        QVERIFY(h.child<QLabel>("lblHistoryError")->isHidden());
        saveScreenshot(*window, QStringLiteral("frmCallHistory-filter"), false);
    }

    // A header dropped on the group area groups the list: one row per caller
    // with its count, and a group's calls are read only when it is opened.
    void groupingByDroppedHeader()
    {
        History h;
        h.insert(kCalls);
        FrmCallHistory* window = h.open();
        CallHistoryModel& model = window->model();
        auto* area = window->findChild<GroupArea*>(QStringLiteral("fraGroupArea"));
        QMimeData mime;
        mime.setData(GroupArea::mimeType(), "Caller");
        const qint64 before = model.rowsRead();
        QVERIFY(area->takeDrop(&mime));

        QStringList groups;
        for (int row = 0; row < model.rowCount(); ++row)
            groups << model.index(row, HistoryColumns::CallDate)
                          .data()
                          .toString(); // first shown column
        QCOMPARE(groups, (QStringList{"Caller: O'Brien (1)", "Caller: Anna Ahrens (0301111) (2)",
                                      "Caller: Bert (0402222) (1)", "Caller: 0503333 (1)"}));
        QCOMPARE(model.rowsRead(), before); // nothing read for closed groups
        const QModelIndex anna = model.index(1, 0);
        window->grid()->expand(anna);
        QTRY_COMPARE(shownIds(model, anna), (QList<qint32>{5, 1}));
        QCOMPARE(model.rowsRead(), before + 2);
        SettingsStore& settings = h.program->settings();
        QCOMPARE(settings.getString(SettingsStore::Hive::CurrentUser, "grdCalls", "1GR", {}),
                 QStringLiteral("Caller"));

        // An open group stays open when a saved call reloads the list.
        window->RefreshList();
        QTRY_VERIFY(window->grid()->isExpanded(model.index(1, 0)));

        h.child<QPushButton>("btnUngroup")->click();
        QCOMPARE(shownIds(model), (QList<qint32>{5, 4, 3, 2, 1}));
        QCOMPARE(settings.getString(SettingsStore::Hive::CurrentUser, "grdCalls", "Groups", {}),
                 QStringLiteral("<Groups/>"));
        window->groupBy(HistoryColumns::CallDate);
        QVERIFY(settings.getString(SettingsStore::Hive::CurrentUser, "grdCalls", "Groups", {})
                    .contains(QStringLiteral("<Prop name=\"ColKey\" value=\"CallDate\"")));
        QCOMPARE(model.rowCount(), 3); // three days, newest first
        QVERIFY(model.index(0, HistoryColumns::CallDate)
                    .data()
                    .toString()
                    .endsWith(QStringLiteral(" (1)")));
        QVERIFY(model.index(1, HistoryColumns::CallDate)
                    .data()
                    .toString()
                    .endsWith(QStringLiteral(" (3)")));
        window->grid()->expand(model.index(1, 0));
        QTest::qWait(50);
        saveScreenshot(*window, QStringLiteral("frmCallHistory-grouped"), false);
    }

    void deleteAsksAndRemembers()
    {
        History h;
        h.insert(kCalls);
        FrmCallHistory* window = h.open();
        QTreeView* grid = window->grid();
        const auto selectRows = [&](std::initializer_list<int> rows) {
            grid->clearSelection();
            for (int row : rows)
                grid->selectionModel()->select(window->model().index(row, 0),
                                               QItemSelectionModel::Select |
                                                   QItemSelectionModel::Rows);
        };
        selectRows({0, 1});
        h.dialogs.queueAnswer(MsgResult::No);
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(h.storedCalls(), 5);
        QCOMPARE(h.dialogs.history().size(), 1);
        QCOMPARE(h.dialogs.history().last().prompt,
                 QStringLiteral("Are you sure to DELETE the selected call(s)?"));

        h.dialogs.queueAnswer(MsgResult::Yes, true); // "Don't show this message again"
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(shownIds(window->model()), (QList<qint32>{3, 2, 1}));
        QCOMPARE(h.storedCalls(), 3);

        selectRows({2});
        h.child<QPushButton>("btnDeleteSelected")->click();
        QCOMPARE(h.dialogs.history().size(), 2); // not asked again
        QCOMPARE(shownIds(window->model()), (QList<qint32>{3, 2}));

        h.dialogs.queueAnswer(MsgResult::Yes);
        window->findChild<QAction*>(QStringLiteral("mnuClearHist"))->trigger();
        QCOMPARE(h.dialogs.history().last().prompt,
                 QStringLiteral("Do you really want to clear the list of calls?"));
        QCOMPARE(h.storedCalls(), 0);
        QCOMPARE(window->model().rowCount(), 0);
    }

    // A call saved while the window is visible shows up; a hidden window reads nothing.
    void refreshesWhenACallIsSaved()
    {
        History h;
        FrmCallHistory* window = h.open();
        QCOMPARE(window->model().rowCount(), 0);
        CCall call(h.program->callStore());
        call.setCallerID(QStringLiteral("0301111"));
        call.CallerName = QStringLiteral("Anna");
        call.SaveCall();
        QTRY_COMPARE(window->model().rowCount(), 1);
        QCOMPARE(window->model().index(0, HistoryColumns::Caller).data().toString(),
                 QStringLiteral("Anna (0301111)"));

        window->close();
        const qint64 read = window->model().rowsRead();
        CCall second(h.program->callStore());
        second.SaveCall();
        QTest::qWait(150);
        QCOMPARE(window->model().rowsRead(), read);
    }

    void layoutIsStoredAndRestored()
    {
        History h;
        FrmCallHistory* window = h.open();
        QHeaderView* header = window->grid()->header();
        header->resizeSection(HistoryColumns::Caller, 321);
        header->setSectionHidden(HistoryColumns::Answered, true);
        header->setSectionHidden(HistoryColumns::CallerName, false);
        header->resizeSection(HistoryColumns::CallerName, 111);
        window->model().sort(HistoryColumns::Caller, Qt::AscendingOrder);
        window->groupBy(HistoryColumns::Incoming);
        window->close();

        FrmCallHistory again(*h.program);
        QHeaderView* restored = again.grid()->header();
        QCOMPARE(restored->sectionSize(HistoryColumns::Caller), 321);
        QVERIFY(restored->isSectionHidden(HistoryColumns::Answered));
        QCOMPARE(restored->sectionSize(HistoryColumns::CallerName), 111);
        QCOMPARE(again.model().settings().sortColumn, int(HistoryColumns::Caller));
        QCOMPARE(again.model().settings().order, Qt::AscendingOrder);
        QCOMPARE(again.model().settings().groupColumn, int(HistoryColumns::Incoming));
    }

    void brokenLayoutGivesDefaults_data()
    {
        QTest::addColumn<QByteArray>("values");
        QTest::newRow("another version")
            << QByteArray("\"Version\"=\"7\"\r\n\"1SO\"=\"Caller ASC\"\r\n");
        QTest::newRow("old grid's format")
            << QByteArray("\"1SO\"=\"<SortKeys><Key col=3/>\"\r\n\"Groups\"=\"<Groups/>\"\r\n");
        QTest::newRow("letters in a width")
            << QByteArray("\"Version\"=\"1\"\r\n\"6WIDTH\"=\"wide\"\r\n");
        QTest::newRow("unknown sort key")
            << QByteArray("\"Version\"=\"1\"\r\n\"1SO\"=\"Nope DESC\"\r\n");
        QTest::newRow("picture column grouped") << QByteArray(
            "\"Version\"=\"1\"\r\n\"1GR\"=\"CallerImage\"\r\n\"Groups\"=\"<Groups/>\"\r\n");
    }
    void brokenLayoutGivesDefaults()
    {
        QFETCH(QByteArray, values);
        History h("[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\grdCalls]\r\n" + values +
                  "\r\n");
        FrmCallHistory* window = h.open();
        QVERIFY(window->isVisible());
        QCOMPARE(window->model().settings().sortColumn, int(HistoryColumns::CallDate));
        QCOMPARE(window->model().settings().groupColumn, -1);
        QHeaderView* header = window->grid()->header();
        QVERIFY(header->isSectionHidden(HistoryColumns::CallID));
        QCOMPARE(header->sectionSize(HistoryColumns::Caller),
                 qMax(HistoryColumns::twipsToPixels(3000),
                      header->sectionSizeHint(HistoryColumns::Caller)));
        QVERIFY(h.program->log().lines().join('\n').contains(
            QStringLiteral("The stored layout of the call history cannot be used")));
    }

    // A large table opens with one page read; more pages come as the view scrolls.
    void readsLazily()
    {
        History h;
        QList<Call> many;
        for (int i = 1; i <= 5000; ++i)
            many.append({i, "0301111", "Anna", "", "100", false});
        h.insert(many);
        FrmCallHistory* window = h.open();
        CallHistoryModel& model = window->model();
        const qint64 opened = model.rowsRead();
        QVERIFY2(opened <= 2 * CallHistoryModel::kPageSize, qPrintable(QString::number(opened)));
        QCOMPARE(model.rowCount(), int(opened));
        QCOMPARE(model.callId(model.index(0, 0)), 5000);
        window->grid()->scrollToBottom();
        QTRY_VERIFY(model.rowCount() > opened);
        QVERIFY(model.rowsRead() < 5000);
    }

    void lostDatabaseShowsAMessage()
    {
        History h;
        h.insert(kCalls);
        FrmCallHistory* window = h.open();
        QString connection = h.program->callDatabase()->connectionString();
        h.program->callDatabase()->close();
        window->RefreshList();
        auto* error = h.child<QLabel>("lblHistoryError");
        QVERIFY(!error->isHidden());
        QVERIFY(error->text().startsWith(QStringLiteral("The call history cannot be read: ")));
        QCOMPARE(window->model().rowCount(), 0);
        QVERIFY(h.program->callDatabase()->OpenCallDatabase(connection, {}));
        window->RefreshList();
        QVERIFY(error->isHidden());
        QCOMPARE(window->model().rowCount(), 5);
    }

    void balloonText_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("duration");
        QTest::newRow("hours") << qint64(3725) << "1:02:05 hours";
        QTest::newRow("minutes") << qint64(125) << "2:05 minutes";
        QTest::newRow("seconds") << qint64(42) << "42 seconds";
    }
    void balloonText()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, duration);
        History h;
        h.insert(kCalls);
        QCOMPARE(CallTooltip::FormatDuration(h.program->loc(), seconds), duration);
        FrmCallHistory* window = h.open();
        // Call 1 was answered and lasted 125 s; call 2 has an end but was not answered.
        const CallSummary answered = window->model().summary(window->model().index(4, 0));
        QVERIFY(CallTooltip::text(h.program->loc(), answered)
                    .contains(QStringLiteral("Duration: 2:05 minutes")));
        QVERIFY(CallTooltip::text(h.program->loc(), answered)
                    .contains(QStringLiteral("0301111\nAnna Ahrens\nACME Berlin")));
        const CallSummary missed = window->model().summary(window->model().index(3, 0));
        QVERIFY(
            CallTooltip::text(h.program->loc(), missed).contains(QStringLiteral("Not answered")));
        QCOMPARE(CallTooltip::title(h.program->loc(), missed), QStringLiteral("Incoming call"));
    }
};

QTEST_MAIN(TestUiCallHistory)
#include "TestUiCallHistory.moc"
