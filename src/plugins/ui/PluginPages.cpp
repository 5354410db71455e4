#include "PluginPages.h"

#include "core/controller/MainForm.h"
#include "plugins/host/PluginCall.h"
#include "plugins/host/PluginHostService.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

int currentPosition(const QListWidget* list)
{
    return list->currentRow() + 1; // positions start at 1
}
} // namespace

PluginPages::PluginPages(PluginHostService& host, MainForm& form, QObject* parent)
    : QObject(parent), m_host(host), m_form(form)
{
    buildConnectionGroup();
    buildNotificationGroup();
    buildReverseFrame();
    connect(&host.connections(), &ConnectionPluginList::listChanged, this,
            &PluginPages::fillConnectionList);
    connect(&host.notifications(), &NotificationPluginList::listChanged, this,
            &PluginPages::fillNotificationList);
    fillConnectionList();
    fillNotificationList();
    fillReverseCountries();
}

void PluginPages::buildConnectionGroup()
{
    m_connectionGroup =
        named(new QGroupBox(QStringLiteral("Connection plug-ins")), "fraConnectionPlugins");
    auto* layout = new QVBoxLayout(m_connectionGroup);
    m_lstConnectionPlugins = named(new QListWidget, "lstConnectionPlugins");
    m_lstConnectionPlugins->setProperty("Tag",
                                        QStringLiteral("!")); // names are translated when loaded
    layout->addWidget(m_lstConnectionPlugins, 1);
    auto* row = new QHBoxLayout;
    m_btnConnectionPluginInfo =
        named(new QPushButton(QStringLiteral("&Info")), "btnConnectionPluginInfo");
    m_btnEditConnPluginSettings =
        named(new QPushButton(QStringLiteral("&Settings...")), "btnEditConnPluginSettings");
    row->addWidget(m_btnConnectionPluginInfo);
    row->addWidget(m_btnEditConnPluginSettings);
    row->addStretch(1);
    layout->addLayout(row);

    ConnectionPluginList& list = m_host.connections();
    connect(m_lstConnectionPlugins, &QListWidget::itemChanged, this,
            [this, &list](QListWidgetItem* item) {
                if (m_filling)
                    return;
                const int position = m_lstConnectionPlugins->row(item) + 1;
                const bool wanted = item->checkState() == Qt::Checked;
                // The guard may refuse; the list is filled again from the outcome.
                list.setEnabled(position, wanted);
            });
    connect(m_lstConnectionPlugins, &QListWidget::currentRowChanged, this, [this, &list](int row) {
        m_btnEditConnPluginSettings->setEnabled(row >= 0 && list.hasSettings(row + 1));
    });
    connect(m_btnConnectionPluginInfo, &QPushButton::clicked, this,
            [this, &list] { list.showInfo(currentPosition(m_lstConnectionPlugins)); });
    connect(m_btnEditConnPluginSettings, &QPushButton::clicked, this,
            [this, &list] { list.showSettings(currentPosition(m_lstConnectionPlugins)); });
}

void PluginPages::buildNotificationGroup()
{
    m_notificationGroup =
        named(new QGroupBox(QStringLiteral("Notification plug-ins")), "fraNotificationPlugins");
    auto* layout = new QVBoxLayout(m_notificationGroup);
    m_lstNotificationPlugins = named(new QListWidget, "lstNotificationPlugins");
    m_lstNotificationPlugins->setProperty("Tag", QStringLiteral("!"));
    layout->addWidget(m_lstNotificationPlugins, 1);
    auto* row = new QHBoxLayout;
    m_btnShowNotificationPluginInfo =
        named(new QPushButton(QStringLiteral("I&nfo")), "btnShowNotificationPluginInfo");
    m_btnEditNotificationSettings =
        named(new QPushButton(QStringLiteral("S&ettings...")), "btnEditNotificationSettings");
    row->addWidget(m_btnShowNotificationPluginInfo);
    row->addWidget(m_btnEditNotificationSettings);
    row->addStretch(1);
    layout->addLayout(row);

    NotificationPluginList& list = m_host.notifications();
    connect(m_lstNotificationPlugins, &QListWidget::itemChanged, this,
            [this, &list](QListWidgetItem* item) {
                if (!m_filling)
                    list.setEnabled(m_lstNotificationPlugins->row(item) + 1,
                                    item->checkState() == Qt::Checked);
            });
    connect(m_lstNotificationPlugins, &QListWidget::currentRowChanged, this,
            [this, &list](int row) {
                m_btnEditNotificationSettings->setEnabled(row >= 0 && list.hasSettings(row + 1));
            });
    connect(m_btnShowNotificationPluginInfo, &QPushButton::clicked, this,
            [this, &list] { list.showInfo(currentPosition(m_lstNotificationPlugins)); });
    connect(m_btnEditNotificationSettings, &QPushButton::clicked, this,
            [this, &list] { list.showSettings(currentPosition(m_lstNotificationPlugins)); });
}

void PluginPages::buildReverseFrame()
{
    m_fraReverseLookup = named(new QGroupBox(QStringLiteral("Reverse lookup")), "fraReverseLookup");
    auto* layout = new QFormLayout(m_fraReverseLookup);
    m_cbReverseLookup = named(
        new QCheckBox(QStringLiteral("Look up unknown numbers with a plug-in")), "cbReverseLookup");
    layout->addRow(m_cbReverseLookup);
    m_cmbReverseCountry = named(new QComboBox, "cmbReverseCountry");
    m_cmbReverseCountry->setProperty("Tag", QStringLiteral("!"));
    layout->addRow(named(new QLabel(QStringLiteral("Country:")), "lblReverseCountry"),
                   m_cmbReverseCountry);
    m_cmbReversePlugin = named(new QComboBox, "cmbReversePlugin");
    m_cmbReversePlugin->setProperty("Tag", QStringLiteral("!"));
    layout->addRow(named(new QLabel(QStringLiteral("Plug-in:")), "lblReversePlugin"),
                   m_cmbReversePlugin);
    m_btnReversePluginSettings =
        named(new QPushButton(QStringLiteral("Se&ttings...")), "btnReversePluginSettings");
    // A button as wide as its caption, not as the lists above it.
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(m_btnReversePluginSettings);
    buttonRow->addStretch(1);
    layout->addRow(QString(), buttonRow);

    MainOptions& options = m_form.options();
    connect(m_cbReverseLookup, &QCheckBox::toggled, this, [this, &options](bool on) {
        if (!m_filling)
            options.setValue(QStringLiteral("cbReverseLookup"), on);
        updateReverseButtons();
    });
    connect(m_cmbReverseCountry, &QComboBox::currentTextChanged, this,
            [this, &options](const QString& c) {
                if (m_filling)
                    return;
                options.setValue(QStringLiteral("cmbReverseCountry"), c);
                fillReversePlugins();
            });
    connect(m_cmbReversePlugin, &QComboBox::currentIndexChanged, this, [this, &options](int index) {
        if (m_filling || index < 0)
            return;
        options.setValue(QStringLiteral("cmbReversePlugin"), m_cmbReversePlugin->itemData(index));
        updateReverseButtons();
    });
    connect(m_btnReversePluginSettings, &QPushButton::clicked, this, [this] {
        if (CReversePlugin* plugin = m_host.reverse().selected()) {
            if (!guardedPluginCall(m_form, plugin->ComKey, "ShowSettings",
                                   [&] { plugin->objPlugin->ShowSettings(); }))
                m_form.RaiseError(m_form.GetS(QStringLiteral("Error while showing settings of %s."),
                                              plugin->Name));
        }
    });
}

void PluginPages::fillConnectionList()
{
    m_filling = true;
    m_lstConnectionPlugins->clear();
    ConnectionPluginList& list = m_host.connections();
    for (int p = 1; p <= list.count(); ++p) {
        auto* item = new QListWidgetItem(list.item(p)->Name, m_lstConnectionPlugins);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(list.item(p)->enabled ? Qt::Checked : Qt::Unchecked);
    }
    const bool any = list.count() > 0;
    m_btnConnectionPluginInfo->setEnabled(any);
    m_btnEditConnPluginSettings->setEnabled(any);
    m_filling = false;
}

void PluginPages::fillNotificationList()
{
    m_filling = true;
    m_lstNotificationPlugins->clear();
    NotificationPluginList& list = m_host.notifications();
    for (int p = 1; p <= list.count(); ++p) {
        auto* item = new QListWidgetItem(list.item(p)->Name, m_lstNotificationPlugins);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(list.item(p)->enabled ? Qt::Checked : Qt::Unchecked);
    }
    const bool any = list.count() > 0;
    m_btnShowNotificationPluginInfo->setEnabled(any);
    m_btnEditNotificationSettings->setEnabled(any);
    m_filling = false;
}

void PluginPages::fillReverseCountries()
{
    m_filling = true;
    ReversePluginList& reverse = m_host.reverse();
    m_cmbReverseCountry->clear();
    for (const QString& country : reverse.countries())
        m_cmbReverseCountry->addItem(country, reverse.countryOffset(country));
    const QString stored = m_form.options().text(QStringLiteral("cmbReverseCountry"));
    m_cmbReverseCountry->setCurrentIndex(std::max(0, m_cmbReverseCountry->findText(stored)));
    m_cbReverseLookup->setChecked(m_form.options().flag(QStringLiteral("cbReverseLookup")));
    m_filling = false;
    if (stored != m_cmbReverseCountry->currentText())
        m_form.options().setValue(QStringLiteral("cmbReverseCountry"),
                                  m_cmbReverseCountry->currentText());
    fillReversePlugins();
}

void PluginPages::fillReversePlugins()
{
    m_filling = true;
    ReversePluginList& reverse = m_host.reverse();
    const QString country = m_cmbReverseCountry->currentText();
    m_cmbReversePlugin->clear();
    const QStringList names = reverse.pluginNames(country);
    const QStringList keys = reverse.pluginKeys(country);
    for (int i = 0; i < names.size(); ++i)
        m_cmbReversePlugin->addItem(names[i], keys[i]);
    const int stored =
        m_cmbReversePlugin->findData(m_form.options().text(QStringLiteral("cmbReversePlugin")));
    m_cmbReversePlugin->setCurrentIndex(stored >= 0 ? stored : 0);
    m_filling = false;
    if (m_cmbReversePlugin->count() > 0 && stored < 0)
        m_form.options().setValue(QStringLiteral("cmbReversePlugin"),
                                  m_cmbReversePlugin->currentData());
    updateReverseButtons();
}

void PluginPages::updateReverseButtons()
{
    const bool on = m_cbReverseLookup->isChecked();
    m_cmbReverseCountry->setEnabled(on);
    m_cmbReversePlugin->setEnabled(on);
    bool hasSettings = false;
    if (CReversePlugin* plugin = m_host.reverse().selected()) {
        guardedPluginCall(m_form, plugin->ComKey, "HasSettings",
                          [&] { hasSettings = plugin->objPlugin->HasSettings(); });
    }
    m_btnReversePluginSettings->setEnabled(on && m_cmbReversePlugin->count() > 0 && hasSettings);
}

void PluginPages::setLocked(bool locked)
{
    m_lstConnectionPlugins->setEnabled(!locked);
    m_fraReverseLookup->setEnabled(!locked);
}
