#include "GeneralPage.h"

#include "OptionBinding.h"
#include "core/controller/MainForm.h"
#include "core/log/LogListModel.h"
#include "core/log/ProgramLog.h"
#include "platform/desktop/AutostartEntry.h"
#include "shell/dialogs/DialogService.h"
#include "shell/settings/SettingsStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

GeneralPage::GeneralPage(MainForm& form, ProgramLog& log, QWidget* parent)
    : QWidget(parent), m_form(form), m_log(log)
{
    MainOptions& options = form.options();
    auto* layout = new QVBoxLayout(this);

    auto* start = named(new QGroupBox(QStringLiteral("Program start")), "fraStart");
    auto* startLayout = new QVBoxLayout(start);
    m_cbConnectOnStart =
        named(new QCheckBox(QStringLiteral("Start monitoring when the program starts")),
              "cbConnectOnStart");
    m_cbHideOnstart =
        named(new QCheckBox(QStringLiteral("Hide this window on start")), "cbHideOnstart");
    m_cbStartWithDesktop =
        named(new QCheckBox(QStringLiteral("Start with the desktop")), "cbStartWithDesktop");
    startLayout->addWidget(m_cbConnectOnStart);
    startLayout->addWidget(m_cbHideOnstart);
    startLayout->addWidget(m_cbStartWithDesktop);
    layout->addWidget(start);

    auto* fields = new QFormLayout;
    m_cmbTrayAction = named(new QComboBox, "cmbTrayAction");
    m_cmbTrayAction->addItems(
        {QStringLiteral("Open settings"), QStringLiteral("Open call history!")});
    auto* lblTrayAction =
        named(new QLabel(QStringLiteral("Double click on the tray &icon:")), "lblTrayAction");
    lblTrayAction->setBuddy(m_cmbTrayAction);
    fields->addRow(lblTrayAction, m_cmbTrayAction);
    m_txtCountryCode = named(new QLineEdit, "txtCountryCode");
    // A country code is digits only; a letter would break every number rule.
    m_txtCountryCode->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,4}")), m_txtCountryCode));
    m_txtCountryCode->setToolTip(QStringLiteral("Without international prefix, e.g. 49"));
    auto* lblCountryCode =
        named(new QLabel(QStringLiteral("Own &country code:")), "lblCountryCode");
    lblCountryCode->setBuddy(m_txtCountryCode);
    fields->addRow(lblCountryCode, m_txtCountryCode);
    layout->addLayout(fields);
    m_cbAddToCallHist =
        named(new QCheckBox(QStringLiteral("Add calls to the call history")), "cbAddToCallHist");
    layout->addWidget(m_cbAddToCallHist);

    auto* logBox = named(new QGroupBox(QStringLiteral("Log")), "fraLog");
    auto* logLayout = new QVBoxLayout(logBox);
    m_lstLog = named(new QListView, "lstLog");
    m_lstLog->setModel(log.model());
    m_lstLog->setUniformItemSizes(true);
    m_lstLog->setEditTriggers(QAbstractItemView::NoEditTriggers);
    logLayout->addWidget(m_lstLog, 1);
    auto* row = new QHBoxLayout;
    m_cbTapiLog = named(new QCheckBox(QStringLiteral("Log telephony events")), "cbTapiLog");
    auto* btnClearLog = named(new QPushButton(QStringLiteral("&Clear log")), "btnClearLog");
    row->addWidget(m_cbTapiLog);
    row->addStretch(1);
    row->addWidget(btnClearLog);
    logLayout->addLayout(row);
    layout->addWidget(logBox, 1);

    for (QCheckBox* box : {m_cbConnectOnStart, m_cbHideOnstart, m_cbAddToCallHist})
        OptionBinding::bind(box, options);
    OptionBinding::bind(m_txtCountryCode, options);
    showTrayAction(options.number(QStringLiteral("cmbTrayAction")));
    connect(m_cmbTrayAction, &QComboBox::currentIndexChanged, this, &GeneralPage::trayActionChosen);
    connect(&options, &MainOptions::changed, this,
            [this](const QString& control, const QVariant& value) {
                if (control == QLatin1String("cmbTrayAction"))
                    showTrayAction(value.toInt());
            });

    LogListModel* model = log.model();
    connect(model, &QAbstractItemModel::rowsInserted, m_lstLog, &QListView::scrollToBottom);
    connect(m_lstLog, &QListView::doubleClicked, this, &GeneralPage::showLogLine);
    connect(btnClearLog, &QPushButton::clicked, this, [model] { model->clear(); });
    connect(m_cbTapiLog, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_syncing)
            m_form.setTapiLog(on);
    });
    syncLogSwitch();
    m_cbStartWithDesktop->setChecked(AutostartEntry::isEnabled());
    connect(m_cbStartWithDesktop, &QCheckBox::toggled, this, &GeneralPage::startWithDesktop);
}

void GeneralPage::startWithDesktop(bool on)
{
    const QString problem = on ? AutostartEntry::enable(QCoreApplication::applicationFilePath())
                               : AutostartEntry::disable();
    if (problem.isEmpty())
        return;
    const QString text =
        m_form.GetS(QStringLiteral("The start with the desktop cannot be changed (%s): %s"),
                    AutostartEntry::path(), problem);
    m_form.LogStr(text);
    m_form.dialogs().messageBox(text, 0, QString());
    const QSignalBlocker quiet(m_cbStartWithDesktop);
    m_cbStartWithDesktop->setChecked(AutostartEntry::isEnabled());
}

void GeneralPage::setLocked(bool locked)
{
    const QList<QWidget*> options = {m_cbConnectOnStart, m_cbHideOnstart, m_cbStartWithDesktop,
                                     m_txtCountryCode, m_cbAddToCallHist};
    for (QWidget* option : options)
        option->setEnabled(!locked);
}

void GeneralPage::syncLogSwitch()
{
    m_syncing = true;
    m_cbTapiLog->setChecked(m_form.logMode());
    m_syncing = false;
}

void GeneralPage::showTrayAction(int action)
{
    // A stored value the list does not know shows as its first entry, which is
    // also what the double click does with it.
    m_cmbTrayAction->setCurrentIndex(action >= 0 && action < m_cmbTrayAction->count() ? action : 0);
}

void GeneralPage::trayActionChosen(int index)
{
    if (index < 0)
        return;
    m_form.options().setValue(QStringLiteral("cmbTrayAction"), index);
    // Stored at once: the tray's double click reads it, running or not.
    m_form.settings().SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("TrayIconAction"),
                                      QString::number(index));
}

void GeneralPage::showLogLine(const QModelIndex& index)
{
    if (index.isValid())
        m_form.dialogs().messageBox(m_log.model()->line(index.row()), 0, QString());
}
