#include "FrmCallHistory.h"

#include "GroupArea.h"
#include "HistoryGrid.h"
#include "contacts/store/SqlCallStore.h"
#include "core/controller/MainForm.h"
#include "loc/LocGuru.h"
#include "loc/ui/FormTranslator.h"
#include "shell/dialogs/Warnings.h"
#include "shell/settings/FormPosition.h"
#include "shell/settings/SettingsStore.h"
#include "shell/startup/Program.h"
#include "shell/ui/WidgetFormWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDrag>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

const QString kWindowKey = QStringLiteral("CallHistWin");
const QString kGridKey = QStringLiteral("grdCalls");
constexpr int kDefaultWidth = 11000; // twips
constexpr int kDefaultHeight = 6000;

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// Today's calls stand out in the tool-tip colours of the desktop's theme.
class TodayDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(CallHistoryModel::TodayRole).toBool()) {
            option->backgroundBrush = option->palette.toolTipBase();
            option->palette.setColor(QPalette::Text, option->palette.toolTipText().color());
        }
    }
};

QString htmlLines(const QString& text)
{
    QString html = text.toHtmlEscaped();
    html.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    html.replace(QLatin1Char('\r'), QStringLiteral("<br>"));
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return html;
}

} // namespace

FrmCallHistory::FrmCallHistory(Program& program, QWidget* parent)
    : QMainWindow(parent), m_program(program), m_model(program.loc())
{
    setObjectName(QStringLiteral("frmCallHistory"));
    setWindowTitle(QStringLiteral("Call history"));
    m_model.setDatabase(program.callDatabase());
    buildControls();

    m_tmrRefresh.setObjectName(QStringLiteral("tmrRefresh"));
    m_tmrRefresh.setSingleShot(true);
    m_tmrRefresh.setInterval(100);
    connect(&m_tmrRefresh, &QTimer::timeout, this, &FrmCallHistory::RefreshList);
    m_tmrResetSel.setObjectName(QStringLiteral("tmrResetSel"));
    m_tmrResetSel.setSingleShot(true);
    m_tmrResetSel.setInterval(0);
    connect(&m_tmrResetSel, &QTimer::timeout, this, &FrmCallHistory::reopenGroups);
    connect(&program, &Program::callHistoryChanged, this, [this] {
        if (isVisible())
            m_tmrRefresh.start();
    });

    // Opening: texts, layout, filter boxes, then the list once.
    SettingsStore& settings = program.settings();
    QString problem;
    const HistoryLayout layout = HistoryLayout::load(settings, kGridKey, &problem);
    if (!problem.isEmpty())
        program.mainForm().LogStr(
            GetS(QStringLiteral("The stored layout of the call history cannot be used (%s); the "
                                "default layout is used"),
                 {problem}));
    applyLayout(layout);
    const auto flag = [&](const char* name) {
        return settings.getBool(SettingsStore::Hive::CurrentUser, kWindowKey,
                                QString::fromLatin1(name), true);
    };
    m_cbFilterNumber->setChecked(flag("FilterNumbers"));
    m_cbFilterNames->setChecked(flag("FilterNames"));
    m_cbFilterExtrainfo->setChecked(flag("FilterExtra"));
    translate();
    m_loading = false;
}

FrmCallHistory::~FrmCallHistory() = default;

QString FrmCallHistory::GetS(const QString& text, const QStringList& params) const
{
    return m_program.loc().GetS(text, params);
}

void FrmCallHistory::buildControls()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    QAction* clear = file->addAction(QStringLiteral("&Clear list"));
    clear->setObjectName(QStringLiteral("mnuClearHist"));
    connect(clear, &QAction::triggered, this, &FrmCallHistory::clearList);
    file->addSeparator();
    QAction* close = file->addAction(QStringLiteral("&Close"));
    close->setObjectName(QStringLiteral("mnuCloseWin"));
    connect(close, &QAction::triggered, this, &QWidget::close);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    m_groupArea = new GroupArea(central);
    connect(m_groupArea, &GroupArea::columnDropped, this,
            [this](const QString& key) { groupBy(HistoryColumns::byKey(key)); });
    connect(m_groupArea, &GroupArea::ungroupRequested, this, [this] { groupBy(-1); });
    layout->addWidget(m_groupArea);

    auto* filterRow = new QHBoxLayout;
    auto* lblFilter = named(new QLabel(QStringLiteral("Filter")), "lblFilter");
    m_txtFilter = named(new QLineEdit, "txtFilter");
    m_txtFilter->setClearButtonEnabled(true);
    lblFilter->setBuddy(m_txtFilter);
    m_cbFilterNumber = named(new QCheckBox(QStringLiteral("Numbers")), "cbFilterNumber");
    m_cbFilterNames = named(new QCheckBox(QStringLiteral("Names")), "cbFilterNames");
    m_cbFilterExtrainfo = named(new QCheckBox(QStringLiteral("Extra info")), "cbFilterExtrainfo");
    filterRow->addWidget(lblFilter);
    filterRow->addWidget(m_txtFilter, 1);
    for (QCheckBox* box : {m_cbFilterNumber, m_cbFilterNames, m_cbFilterExtrainfo}) {
        filterRow->addWidget(box);
        box->setVisible(false); // only while there is a search text
        connect(box, &QCheckBox::toggled, this, &FrmCallHistory::filterChanged);
    }
    connect(m_txtFilter, &QLineEdit::textChanged, this, &FrmCallHistory::filterChanged);
    layout->addLayout(filterRow);

    m_grid = named(new HistoryGrid, "grdCalls");
    m_grid->setGroupTest([this](const QModelIndex& index) { return m_model.isGroup(index); });
    m_grid->setModel(&m_model);
    m_grid->setItemDelegate(new TodayDelegate(m_grid));
    m_grid->setUniformRowHeights(true);
    m_grid->setRootIsDecorated(false);
    m_grid->setAllColumnsShowFocus(true);
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->header()->setSectionsMovable(false);
    m_grid->header()->setSortIndicatorShown(true);
    m_grid->header()->setSectionsClickable(true);
    m_grid->header()->setContextMenuPolicy(Qt::CustomContextMenu);
    m_grid->header()->viewport()->installEventFilter(this);
    m_grid->viewport()->installEventFilter(this);
    m_grid->installEventFilter(this);
    connect(m_grid->header(), &QHeaderView::customContextMenuRequested, this,
            &FrmCallHistory::showHeaderMenu);
    connect(m_grid->header(), &QHeaderView::sectionClicked, this, [this](int section) {
        const auto& s = m_model.settings();
        const Qt::SortOrder order = s.sortColumn == section && s.order == Qt::DescendingOrder
                                        ? Qt::AscendingOrder
                                        : Qt::DescendingOrder;
        m_model.sort(section, order);
    });
    connect(&m_model, &CallHistoryModel::sorted, this, [this](int column, Qt::SortOrder order) {
        m_grid->header()->setSortIndicator(column, order);
        saveLayout();
    });
    connect(m_grid, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!m_model.isGroup(index))
            showCallDetails();
    });
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent) {
        if (!parent.isValid())
            placeGroupCaptions();
    });
    connect(&m_model, &CallHistoryModel::readFailed, this, &FrmCallHistory::readFailed);
    layout->addWidget(m_grid, 1);

    m_lblError = named(new QLabel, "lblHistoryError");
    m_lblError->setProperty("Tag", QStringLiteral("!"));
    m_lblError->setWordWrap(true);
    m_lblError->setVisible(false);
    layout->addWidget(m_lblError);

    auto* buttons = new QHBoxLayout;
    m_btnCallDetails = named(new QPushButton(QStringLiteral("Call &details")), "btnCallDetails");
    m_btnDeleteSelected =
        named(new QPushButton(QStringLiteral("&Delete selected")), "btnDeleteSelected");
    connect(m_btnCallDetails, &QPushButton::clicked, this, &FrmCallHistory::showCallDetails);
    connect(m_btnDeleteSelected, &QPushButton::clicked, this, &FrmCallHistory::deleteSelected);
    buttons->addStretch(1);
    buttons->addWidget(m_btnCallDetails);
    buttons->addWidget(m_btnDeleteSelected);
    layout->addLayout(buttons);
    setCentralWidget(central);
}

void FrmCallHistory::translate()
{
    FormTranslator::TranslateForm(this, m_program.loc());
    m_txtFilter->setPlaceholderText(GetS(QStringLiteral("Enter search text...")));
    m_model.headerDataChanged(Qt::Horizontal, 0, HistoryColumns::Count - 1);
    // A column that showed its caption in full still does in the new
    // language; one the user made narrower stays so.
    QHeaderView* header = m_grid->header();
    for (int c = 0; c < HistoryColumns::Count; ++c) {
        const int needed = header->sectionSizeHint(c);
        const int before = m_captionWidths.value(c, -1);
        if (before >= 0 && !header->isSectionHidden(c) && header->sectionSize(c) >= before &&
            header->sectionSize(c) < needed)
            header->resizeSection(c, needed);
        m_captionWidths[c] = needed;
    }
    updateGroupArea();
}

void FrmCallHistory::updateGroupArea()
{
    const int column = m_model.settings().groupColumn;
    m_groupArea->showState(
        column < 0 ? GetS(QStringLiteral("Drop column header here to group by that column"))
                   : GetS(QStringLiteral("Grouped by %s"),
                          {GetS(QString::fromLatin1(HistoryColumns::info(column).caption))}),
        column >= 0, GetS(QStringLiteral("&Remove grouping")));
    m_grid->setRootIsDecorated(column >= 0);
}

void FrmCallHistory::applyLayout(const HistoryLayout& layout)
{
    QHeaderView* header = m_grid->header();
    for (int c = 0; c < HistoryColumns::Count; ++c) {
        const int width = layout.widths.value(c);
        header->setSectionHidden(c, width == 0);
        // The default widths never cut a (translated) caption, nor a date.
        if (width > 0)
            header->resizeSection(
                c, layout == HistoryLayout::defaults() ? qMax(width, defaultWidth(c)) : width);
    }
    CallHistoryModel::Settings s = m_model.settings();
    s.sortColumn = layout.sortColumn;
    s.order = layout.order;
    s.groupColumn = layout.groupColumn;
    m_model.setSettings(s);
    header->setSortIndicator(layout.sortColumn, layout.order);
    updateGroupArea();
}

int FrmCallHistory::defaultWidth(int column) const
{
    int width = m_grid->header()->sectionSizeHint(column);
    if (column == HistoryColumns::CallDate) {
        // The longest date of the user's format, with room for a group's arrow.
        const QString widest = QLocale().toString(QDateTime(QDate(2028, 12, 28), QTime(23, 59, 59)),
                                                  QLocale::ShortFormat);
        width = qMax(width,
                     m_grid->fontMetrics().horizontalAdvance(widest) + 2 * m_grid->indentation() +
                         2 * m_grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 24);
    }
    return width;
}

HistoryLayout FrmCallHistory::currentLayout() const
{
    HistoryLayout layout;
    const QHeaderView* header = m_grid->header();
    for (int c = 0; c < HistoryColumns::Count; ++c)
        layout.widths << (header->isSectionHidden(c) ? 0 : qMax(1, header->sectionSize(c)));
    layout.sortColumn = m_model.settings().sortColumn;
    layout.order = m_model.settings().order;
    layout.groupColumn = m_model.settings().groupColumn;
    return layout;
}

void FrmCallHistory::saveLayout()
{
    currentLayout().save(m_program.settings(), kGridKey);
}

void FrmCallHistory::ShowHistory(bool refreshOnly)
{
    if (refreshOnly) {
        RefreshList();
        return;
    }
    if (!isVisible()) {
        WidgetFormWindow window(this);
        window.setWidth(kDefaultWidth);
        window.setHeight(kDefaultHeight);
        FormPosition::RestoreFormPos(m_program.settings(), window, kWindowKey, true);
    }
    RefreshList();
    show();
    raise();
    activateWindow();
}

void FrmCallHistory::RefreshList()
{
    m_tmrRefresh.stop();
    if (!m_cbFilterNumber->isChecked() && !m_cbFilterNames->isChecked() &&
        !m_cbFilterExtrainfo->isChecked()) {
        const QSignalBlocker block(m_cbFilterNames);
        m_cbFilterNames->setChecked(true);
    }
    // Groups that are open now are opened again once the list is back.
    if (m_model.settings().groupColumn >= 0) {
        m_openGroups.clear();
        for (int row = 0; row < m_model.rowCount(); ++row) {
            const QModelIndex group = m_model.index(row, 0);
            if (m_grid->isExpanded(group))
                m_openGroups.insert(m_model.groupKey(group));
        }
    }
    CallHistoryModel::Settings s = m_model.settings();
    s.filter.text = m_txtFilter->text();
    s.filter.numbers = m_cbFilterNumber->isChecked();
    s.filter.names = m_cbFilterNames->isChecked();
    s.filter.extra = m_cbFilterExtrainfo->isChecked();
    m_model.setSettings(s);
    m_model.setDatabase(m_program.callDatabase());
    if (m_model.refresh() && !m_lblError->isHidden()) {
        m_lblError->hide();
        m_lastError.clear();
    }
    if (!m_openGroups.isEmpty())
        m_tmrResetSel.start();
}

void FrmCallHistory::reopenGroups()
{
    for (const QString& key : std::as_const(m_openGroups))
        if (const QModelIndex group = m_model.groupByKey(key); group.isValid())
            m_grid->expand(group);
}

void FrmCallHistory::placeGroupCaptions()
{
    const bool grouped = m_model.settings().groupColumn >= 0;
    m_grid->setRootIsDecorated(grouped);
    if (!grouped)
        return;
    // The grid draws a group row's caption across the row from the first
    // visible column, which also carries the arrow that opens the group.
    const QHeaderView* header = m_grid->header();
    int label = 0;
    for (int visual = 0; visual < header->count(); ++visual)
        if (!header->isSectionHidden(header->logicalIndex(visual))) {
            label = header->logicalIndex(visual);
            break;
        }
    m_model.setLabelColumn(label);
    m_grid->setTreePosition(label);
}

void FrmCallHistory::filterChanged()
{
    const bool searching = !m_txtFilter->text().trimmed().isEmpty();
    for (QCheckBox* box : {m_cbFilterNumber, m_cbFilterNames, m_cbFilterExtrainfo})
        box->setVisible(searching);
    if (!m_loading)
        RefreshList();
}

void FrmCallHistory::groupBy(int column)
{
    if (column >= 0 && HistoryColumns::groupExpressions(column, {}).isEmpty())
        return;
    CallHistoryModel::Settings s = m_model.settings();
    if (s.groupColumn == column)
        return;
    s.groupColumn = column;
    m_model.setSettings(s);
    m_openGroups.clear();
    updateGroupArea();
    saveLayout();
    RefreshList();
}

void FrmCallHistory::readFailed(const QString& error)
{
    const QString text = GetS(QStringLiteral("The call history cannot be read: %s"), {error});
    m_lblError->setText(text);
    m_lblError->show();
    // Every save reloads the list: the same trouble is logged once.
    if (text != m_lastError)
        m_program.mainForm().LogStr(text);
    m_lastError = text;
}

void FrmCallHistory::showCallDetails()
{
    const QModelIndex current = m_grid->currentIndex();
    const qint32 id = m_model.callId(current);
    if (id != 0 && openDetails)
        openDetails(id);
}

void FrmCallHistory::deleteSelected()
{
    QList<qint32> ids;
    for (const QModelIndex& index : m_grid->selectionModel()->selectedRows())
        if (const qint32 id = m_model.callId(index); id != 0)
            ids << id;
    if (ids.isEmpty())
        return;
    Warnings warnings(m_program.settings(), m_program.dialogs(), m_program.loc());
    if (!warnings.askQuestion(QStringLiteral("DontAskDeleteCallsFromHist"),
                              QStringLiteral("Are you sure to DELETE the selected call(s)?")))
        return;
    SqlCallStore* store = m_program.callStore();
    int failed = 0;
    for (const qint32 id : std::as_const(ids))
        if (!store || !store->deleteCall(id))
            ++failed;
    if (failed > 0)
        m_program.mainForm().RaiseError(
            GetS(QStringLiteral("%s calls could not be deleted from the call history"),
                 {QString::number(failed)}));
    saveLayout();
    RefreshList();
}

void FrmCallHistory::clearList()
{
    Warnings warnings(m_program.settings(), m_program.dialogs(), m_program.loc());
    if (!warnings.askQuestion(QStringLiteral("DontAskClearHist"),
                              QStringLiteral("Do you really want to clear the list of calls?")))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    SqlCallStore* store = m_program.callStore();
    const bool cleared = store && store->deleteAll();
    RefreshList();
    QApplication::restoreOverrideCursor();
    if (!cleared)
        m_program.mainForm().RaiseError(
            GetS(QStringLiteral("The call history could not be cleared")));
}

void FrmCallHistory::showBalloon(const QPoint& pos, const QPoint& globalPos)
{
    const QModelIndex index = m_grid->indexAt(pos);
    if (m_model.callId(index) == 0) {
        QToolTip::hideText();
        return;
    }
    const CallSummary call = m_model.summary(index);
    const LocGuru& loc = m_program.loc();
    QToolTip::showText(globalPos,
                       QStringLiteral("<b>") + CallTooltip::title(loc, call).toHtmlEscaped() +
                           QStringLiteral("</b><br>") + htmlLines(CallTooltip::text(loc, call)),
                       m_grid->viewport(), m_grid->visualRect(index));
}

void FrmCallHistory::showHeaderMenu(const QPoint& pos)
{
    const int column = m_grid->header()->logicalIndexAt(pos);
    QMenu menu(this);
    if (column >= 0 && !HistoryColumns::groupExpressions(column, {}).isEmpty())
        connect(menu.addAction(GetS(QStringLiteral("Group by this column"))), &QAction::triggered,
                this, [this, column] { groupBy(column); });
    menu.addSeparator();
    for (int c = 0; c < HistoryColumns::Count; ++c) {
        QAction* toggle =
            menu.addAction(GetS(QString::fromLatin1(HistoryColumns::info(c).caption)));
        toggle->setCheckable(true);
        toggle->setChecked(!m_grid->header()->isSectionHidden(c));
        connect(toggle, &QAction::toggled, this, [this, c](bool shown) {
            m_grid->header()->setSectionHidden(c, !shown);
            if (shown && m_grid->header()->sectionSize(c) < 20)
                m_grid->header()->resizeSection(
                    c, HistoryColumns::twipsToPixels(HistoryColumns::info(c).widthTwips));
            saveLayout();
        });
    }
    menu.exec(m_grid->header()->mapToGlobal(pos));
}

bool FrmCallHistory::eventFilter(QObject* watched, QEvent* event)
{
    QHeaderView* header = m_grid->header();
    if (watched == header->viewport()) {
        // A header dragged down out of the header row is dropped on the group area.
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* e = static_cast<QMouseEvent*>(event);
            m_pressedSection = header->logicalIndexAt(e->position().toPoint());
            m_pressPos = e->position().toPoint();
        } else if (event->type() == QEvent::MouseMove && m_pressedSection >= 0) {
            const auto* e = static_cast<QMouseEvent*>(event);
            if ((e->buttons() & Qt::LeftButton) &&
                qAbs(e->position().toPoint().y() - m_pressPos.y()) > header->height()) {
                const int section = m_pressedSection;
                m_pressedSection = -1;
                auto* mime = new QMimeData;
                mime->setData(GroupArea::mimeType(), QByteArray(HistoryColumns::info(section).key));
                auto* drag = new QDrag(header);
                drag->setMimeData(mime);
                drag->exec(Qt::MoveAction);
                return true;
            }
        } else if (event->type() == QEvent::MouseButtonRelease) {
            m_pressedSection = -1;
        }
    } else if (watched == m_grid->viewport() && event->type() == QEvent::ToolTip) {
        const auto* e = static_cast<QHelpEvent*>(event);
        showBalloon(e->pos(), e->globalPos());
        return true;
    } else if (watched == m_grid && event->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        deleteSelected();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void FrmCallHistory::saveSettings()
{
    SettingsStore& settings = m_program.settings();
    saveLayout();
    WidgetFormWindow window(this);
    FormPosition::SaveFormPos(settings, window, kWindowKey);
    settings.SaveSettingHKCU(kWindowKey, QStringLiteral("Filter"), m_txtFilter->text());
    const auto flag = [&](const char* name, const QCheckBox* box) {
        settings.SaveSettingHKCU(kWindowKey, QString::fromLatin1(name),
                                 box->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    };
    flag("FilterNumbers", m_cbFilterNumber);
    flag("FilterNames", m_cbFilterNames);
    flag("FilterExtra", m_cbFilterExtrainfo);
}

void FrmCallHistory::closeEvent(QCloseEvent* event)
{
    saveSettings();
    m_tmrRefresh.stop();
    QMainWindow::closeEvent(event);
}
