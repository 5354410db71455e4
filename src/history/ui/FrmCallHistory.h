#pragma once

#include "history/CallHistoryModel.h"
#include "history/HistoryLayout.h"

#include "HistoryGrid.h"

#include <QHash>
#include <QMainWindow>
#include <QPoint>
#include <QSet>
#include <QTimer>

#include <functional>

class GroupArea;
class Program;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

// frmCallHistory: the calls of the call database, newest first, with the
// filter, grouping by a dragged column header, the balloon of a call, and
// deleting single calls or the whole list.
class FrmCallHistory : public QMainWindow
{
    Q_OBJECT
public:
    explicit FrmCallHistory(Program& program, QWidget* parent = nullptr);
    ~FrmCallHistory() override;

    // Opens the call-details window for a database call id (set by its owner).
    std::function<void(qint32 dbCallId)> openDetails;

    // refreshOnly false: restores the position, reloads and shows the window;
    // true: only reloads the list.
    void ShowHistory(bool refreshOnly);
    void RefreshList();
    // Groups the list by a column (-1: no grouping) and stores the layout.
    void groupBy(int column);
    void deleteSelected();
    void clearList();
    void translate();

    CallHistoryModel& model() { return m_model; }
    QTreeView* grid() const { return m_grid; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void applyLayout(const HistoryLayout& layout);
    HistoryLayout currentLayout() const;
    // A column's width in the default layout: its design width, widened to
    // what its caption (and, for the date, its longest value) needs.
    int defaultWidth(int column) const;
    void saveLayout();
    void updateGroupArea();
    void filterChanged();
    void showCallDetails();
    void placeGroupCaptions();
    void reopenGroups();
    void readFailed(const QString& error);
    void showBalloon(const QPoint& pos, const QPoint& globalPos);
    void showHeaderMenu(const QPoint& pos);
    void saveSettings();
    QString GetS(const QString& text, const QStringList& params = {}) const;

    Program& m_program;
    CallHistoryModel m_model;
    bool m_loading = true;
    QSet<QString> m_openGroups;      // groups open before a reload
    QHash<int, int> m_captionWidths; // what each column's caption needed when last translated
    QString m_lastError;

    GroupArea* m_groupArea = nullptr;
    QLineEdit* m_txtFilter = nullptr;
    QCheckBox* m_cbFilterNumber = nullptr;
    QCheckBox* m_cbFilterNames = nullptr;
    QCheckBox* m_cbFilterExtrainfo = nullptr;
    HistoryGrid* m_grid = nullptr;
    QLabel* m_lblError = nullptr;
    QPushButton* m_btnCallDetails = nullptr;
    QPushButton* m_btnDeleteSelected = nullptr;
    QTimer m_tmrRefresh;  // coalesces the saves of one call into one reload
    QTimer m_tmrResetSel; // opens the remembered groups again after a reload
    int m_pressedSection = -1;
    QPoint m_pressPos;
};
