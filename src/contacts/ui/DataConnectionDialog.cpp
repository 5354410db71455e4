#include "DataConnectionDialog.h"

#include "core/controller/MainForm.h"
#include "platform/db/ui/ConnectionStringDialog.h"
#include "shell/dialogs/DialogService.h"
#include "shell/settings/SettingsStore.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kSection = QStringLiteral("Data");

// Column lists: the setting each one shows (its name without "cmb") and the
// column of the contact manager's own table that the default selects.
struct ColumnList
{
    const char* setting;
    const char* managerColumn;
};
constexpr ColumnList kColumnLists[] = {{"PrimKey", "ContactGUID"}, {"FirstName", "FirstName"},
                                       {"LastName", "LastName"},   {"ExtraField", "Company"},
                                       {"Picture", "Picture"},     {"Number1", "TelPrivate"},
                                       {"Number2", "TelCompany"},  {"Number3", "Mobile"},
                                       {"Number4", "Fax"},         {"Number5", "VoIP"}};

// Caption boxes: the box, its setting and the column list it belongs to.
struct CaptionBox
{
    const char* box;
    const char* setting;
    int row; // the column list's index
};
constexpr CaptionBox kCaptionBoxes[] = {
    {"txtCaptionFirstName", "CaptionFirstName", 1}, {"txtCaptionLastName", "CaptionLastName", 2},
    {"txtCaptionExtrainfo", "CaptionExtraInfo", 3}, {"txtCaptionNumber1", "CaptionNumber1", 5},
    {"txtCaptionNumber2", "CaptionNumber2", 6},     {"txtCaptionNumber3", "CaptionNumber3", 7},
    {"txtCaptionNumber4", "CaptionNumber4", 8},     {"txtCaptionNumber5", "CaptionNumber5", 9}};

bool hasWhitespace(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

} // namespace

DataConnectionDialog::DataConnectionDialog(MainForm& form, QWidget* parent)
    : QDialog(parent), m_form(form)
{
    setObjectName(QStringLiteral("frmDataConnection"));
    setWindowTitle(GetS(QStringLiteral("Contact database")));
    setModal(true);
    const auto named = [](auto* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };

    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    int row = 0;
    grid->addWidget(new QLabel(GetS(QStringLiteral("Connection string:")), this), row, 0);
    auto* connectRow = new QHBoxLayout;
    m_txtConnectString = named(new QLineEdit(this), "txtConnectString");
    auto* wizard = named(new QPushButton(QStringLiteral("..."), this), "btnConnectStringWizard");
    wizard->setToolTip(GetS(QStringLiteral("Edit the connection")));
    wizard->setMaximumWidth(wizard->fontMetrics().horizontalAdvance(QStringLiteral("...")) * 4);
    connectRow->addWidget(m_txtConnectString, 1);
    connectRow->addWidget(wizard);
    grid->addLayout(connectRow, row++, 1, 1, 2);
    grid->addWidget(new QLabel(GetS(QStringLiteral("Table:")), this), row, 0);
    m_cmbDBTable = named(new QComboBox(this), "cmbDBTable");
    m_cmbDBTable->setEnabled(false);
    grid->addWidget(m_cmbDBTable, row++, 1, 1, 2);

    grid->addWidget(new QLabel(GetS(QStringLiteral("Column")), this), row, 1);
    grid->addWidget(new QLabel(GetS(QStringLiteral("Caption")), this), row++, 2);
    const QString labels[ColumnCount] = {
        GetS(QStringLiteral("Primary key:")), GetS(QStringLiteral("First name:")),
        GetS(QStringLiteral("Last name:")),   GetS(QStringLiteral("Extra field:")),
        GetS(QStringLiteral("Picture:")),     GetS(QStringLiteral("Number 1:")),
        GetS(QStringLiteral("Number 2:")),    GetS(QStringLiteral("Number 3:")),
        GetS(QStringLiteral("Number 4:")),    GetS(QStringLiteral("Number 5:"))};
    const int firstColumnRow = row;
    for (int c = 0; c < ColumnCount; ++c) {
        grid->addWidget(new QLabel(labels[c], this), row, 0);
        m_columns[c] = addColumnList(Column(c));
        grid->addWidget(m_columns[c], row++, 1);
    }
    for (int i = 0; i < kCaptionCount; ++i) {
        m_captions[i] = named(new QLineEdit(this), kCaptionBoxes[i].box);
        grid->addWidget(m_captions[i], firstColumnRow + kCaptionBoxes[i].row, 2);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    setMinimumWidth(560); // room for a connection string

    auto* buttons = new QHBoxLayout;
    auto* defaults = named(new QPushButton(GetS(QStringLiteral("&Default captions")), this),
                           "btnDefaultCaptions");
    auto* testButton = named(new QPushButton(GetS(QStringLiteral("&Test")), this), "btnTest");
    auto* saveButton = named(new QPushButton(GetS(QStringLiteral("&Save")), this), "btnSave");
    auto* cancel = named(new QPushButton(GetS(QStringLiteral("&Cancel")), this), "btnCancel");
    saveButton->setDefault(true);
    buttons->addWidget(defaults);
    buttons->addWidget(testButton);
    buttons->addStretch(1);
    buttons->addWidget(saveButton);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(wizard, &QPushButton::clicked, this, &DataConnectionDialog::chooseConnectString);
    connect(m_cmbDBTable, &QComboBox::currentIndexChanged, this,
            &DataConnectionDialog::tableChosen);
    connect(defaults, &QPushButton::clicked, this, &DataConnectionDialog::defaultCaptions);
    connect(testButton, &QPushButton::clicked, this, &DataConnectionDialog::test);
    connect(saveButton, &QPushButton::clicked, this, &DataConnectionDialog::save);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    setFont(QFont(QStringLiteral("Tahoma"), font().pointSize()));
}

DataConnectionDialog::~DataConnectionDialog() = default;

QComboBox* DataConnectionDialog::addColumnList(Column column)
{
    auto* list = new QComboBox(this);
    list->setObjectName(QStringLiteral("cmb") + QString::fromLatin1(kColumnLists[column].setting));
    list->setEnabled(false);
    // Column names come from the database: never translated.
    list->setProperty("Tag", QStringLiteral("!"));
    return list;
}

QString DataConnectionDialog::GetS(const QString& text) const
{
    return m_form.GetS(text);
}

QString DataConnectionDialog::setting(const QString& name, const QString& fallback) const
{
    return m_form.settings().GetSettingHKCU(kSection, name, fallback).toString();
}

void DataConnectionDialog::load()
{
    const QString defaults[kCaptionCount] = {
        GetS(QStringLiteral("First Name")), GetS(QStringLiteral("Last Name")),
        GetS(QStringLiteral("Extra info")), GetS(QStringLiteral("Number 1")),
        GetS(QStringLiteral("Number 2")),   GetS(QStringLiteral("Number 3")),
        GetS(QStringLiteral("Number 4")),   GetS(QStringLiteral("Number 5"))};
    for (int i = 0; i < kCaptionCount; ++i)
        m_captions[i]->setText(setting(QString::fromLatin1(kCaptionBoxes[i].setting), defaults[i]));
    m_txtConnectString->setText(setting(QStringLiteral("ConnectString")));
    openDatabase();
}

void DataConnectionDialog::openDatabase()
{
    m_filling = true;
    m_cmbDBTable->clear();
    m_cmbDBTable->setEnabled(false);
    m_filling = false;
    m_table.clear();
    for (QComboBox* list : m_columns)
        list->clear();
    setColumnListsEnabled(false);
    m_schema.close();
    const QString text = m_txtConnectString->text().trimmed();
    if (text.isEmpty())
        return; // nothing set up yet: nothing to complain about
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Result<bool> opened = m_schema.open(text);
    QApplication::restoreOverrideCursor();
    if (!opened) {
        m_form.RaiseError(GetS(QStringLiteral("Unable to open database: ")) + opened.error());
        return;
    }
    m_cmbDBTable->setEnabled(true);
    fillTables();
}

void DataConnectionDialog::fillTables()
{
    m_filling = true;
    m_cmbDBTable->clear();
    m_cmbDBTable->addItems(m_schema.tables());
    int selected = m_cmbDBTable->findText(setting(QStringLiteral("DBTable")));
    if (selected < 0 && m_cmbDBTable->count() > 0)
        selected = 0;
    m_cmbDBTable->setCurrentIndex(-1);
    m_filling = false;
    m_cmbDBTable->setCurrentIndex(selected); // fills the column lists
}

void DataConnectionDialog::tableChosen(int index)
{
    if (m_filling || index < 0)
        return;
    const QString table = m_cmbDBTable->itemText(index);
    if (hasWhitespace(table)) {
        m_form.dialogs().messageBox(GetS(QStringLiteral("No whitespaces allowed in table name")),
                                    MsgStyle::Information, QString());
        // The lists still show the columns of the table chosen before, and
        // that is the table a save stores.
        m_filling = true;
        m_cmbDBTable->setCurrentIndex(m_cmbDBTable->findText(m_table));
        m_filling = false;
        return;
    }
    m_table = table;
    fillColumns();
}

void DataConnectionDialog::fillColumns()
{
    const QStringList columns = m_schema.columns(m_table);
    for (int c = 0; c < ColumnCount; ++c) {
        QComboBox* list = m_columns[c];
        list->clear();
        list->addItem(GetS(QStringLiteral("(none)")));
        list->addItems(columns);
        const qsizetype stored =
            columns.indexOf(setting(QString::fromLatin1(kColumnLists[c].setting)));
        list->setCurrentIndex(stored < 0 ? 0 : int(stored) + 1);
    }
    setColumnListsEnabled(true);
}

void DataConnectionDialog::setColumnListsEnabled(bool enabled)
{
    for (QComboBox* list : m_columns)
        list->setEnabled(enabled);
}

QString DataConnectionDialog::selectedColumn(Column column) const
{
    const QComboBox* list = m_columns[column];
    return list->currentIndex() > 0 ? list->currentText() : QString();
}

void DataConnectionDialog::chooseConnectString()
{
    const QString current = m_txtConnectString->text();
    m_txtConnectString->setText(m_prompt ? m_prompt(this, current)
                                         : PromptConnectionString(this, current, &m_form.loc()));
    openDatabase();
}

void DataConnectionDialog::defaultCaptions()
{
    if (m_form.dialogs().messageBox(
            GetS(QStringLiteral("Set all fields to their default caption and value?")),
            MsgStyle::YesNo + MsgStyle::Question, QString()) != MsgResult::Yes)
        return;
    const QString captions[kCaptionCount] = {
        GetS(QStringLiteral("First Name")), GetS(QStringLiteral("Last Name")),
        GetS(QStringLiteral("Extra info")), GetS(QStringLiteral("Number 1")),
        GetS(QStringLiteral("Number 2")),   GetS(QStringLiteral("Number 3")),
        GetS(QStringLiteral("Number 4")),   GetS(QStringLiteral("Number 5"))};
    for (int i = 0; i < kCaptionCount; ++i)
        m_captions[i]->setText(captions[i]);
    for (int c = 0; c < ColumnCount; ++c) {
        QComboBox* list = m_columns[c];
        // Only the column entries count, never "(none)".
        const int found = list->findText(QString::fromLatin1(kColumnLists[c].managerColumn));
        if (found > 0)
            list->setCurrentIndex(found);
    }
}

void DataConnectionDialog::test()
{
    QStringList columns;
    for (const Column c : {PrimKey, FirstName, LastName, ExtraField, Number1, Number2, Number3,
                           Number4, Number5, Picture})
        if (const QString name = selectedColumn(c); !name.isEmpty())
            columns << name;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Result<qint64> count =
        ContactSchema::countContacts(m_txtConnectString->text().trimmed(), m_table, columns);
    QApplication::restoreOverrideCursor();
    if (!count) {
        m_form.RaiseError(QString(),
                          ErrorInfo{-1, count.error(), QStringLiteral("frmDataConnection"), 0});
        return;
    }
    m_form.dialogs().messageBox(
        m_form.GetS(QStringLiteral("Found %s contacts"), QString::number(count.value())),
        MsgStyle::Information, QString());
}

void DataConnectionDialog::save()
{
    if (selectedColumn(PrimKey).isEmpty()) {
        m_form.RaiseError(GetS(QStringLiteral("Please select the primary key of the table")));
        return;
    }
    if (selectedColumn(FirstName).isEmpty() && selectedColumn(LastName).isEmpty()) {
        m_form.RaiseError(GetS(QStringLiteral("Please select at least a firstname or lastname")));
        return;
    }
    const bool anyNumber =
        std::any_of(m_columns.begin() + Number1, m_columns.end(),
                    [](const QComboBox* list) { return list->currentIndex() > 0; });
    if (!anyNumber) {
        m_form.RaiseError(GetS(QStringLiteral("Please select at least one field for a number")));
        return;
    }
    SettingsStore& settings = m_form.settings();
    settings.SaveSettingHKCU(kSection, QStringLiteral("ConnectString"),
                             m_txtConnectString->text().trimmed());
    settings.SaveSettingHKCU(kSection, QStringLiteral("DBTable"), m_table);
    for (int c = 0; c < ColumnCount; ++c)
        settings.SaveSettingHKCU(kSection, QString::fromLatin1(kColumnLists[c].setting),
                                 selectedColumn(Column(c)));
    for (int i = 0; i < kCaptionCount; ++i)
        settings.SaveSettingHKCU(kSection, QString::fromLatin1(kCaptionBoxes[i].setting),
                                 m_captions[i]->text());
    accept();
}

void DataConnectionDialog::done(int result)
{
    // The lookup opens the database itself, with the settings stored now.
    m_schema.close();
    QDialog::done(result);
}
