#include "ConnectionStringDialog.h"

#include "loc/LocGuru.h"
#include "platform/db/ConnectionString.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QVBoxLayout>

namespace {

const QString kProvider = QStringLiteral("Provider");
const QString kDataSource = QStringLiteral("Data Source");
const QString kHost = QStringLiteral("Host");
const QString kPort = QStringLiteral("Port");
const QString kDatabase = QStringLiteral("Database");
const QString kUser = QStringLiteral("User ID");
const QString kPassword = QStringLiteral("Password");

bool isServer(ConnectionString::Engine engine)
{
    return engine == ConnectionString::Engine::PostgreSQL ||
           engine == ConnectionString::Engine::MySQL;
}

ConnectionString::Engine engineOf(const QString& provider)
{
    return ConnectionString::parse(kProvider + QLatin1Char('=') + provider).engine();
}

} // namespace

ConnectionStringDialog::ConnectionStringDialog(QWidget* parent, const LocGuru* loc)
    : QDialog(parent), m_loc(loc)
{
    setObjectName(QStringLiteral("frmConnectionString"));
    setWindowTitle(GetS(QStringLiteral("Database connection")));

    auto* layout = new QVBoxLayout(this);
    m_form = new QFormLayout;
    layout->addLayout(m_form);

    m_cmbProvider = new QComboBox(this);
    m_cmbProvider->setObjectName(QStringLiteral("cmbProvider"));
    for (const char* name : {"SQLite", "PostgreSQL", "MySQL", "ODBC"})
        m_cmbProvider->addItem(QString::fromLatin1(name), QString::fromLatin1(name));
    m_form->addRow(GetS(QStringLiteral("Provider:")), m_cmbProvider);

    m_dataSourceRow = new QWidget(this);
    auto* dataSourceLayout = new QHBoxLayout(m_dataSourceRow);
    dataSourceLayout->setContentsMargins(0, 0, 0, 0);
    m_txtDataSource = new QLineEdit(m_dataSourceRow);
    m_txtDataSource->setObjectName(QStringLiteral("txtDataSource"));
    m_btnBrowse = new QPushButton(QStringLiteral("..."), m_dataSourceRow);
    m_btnBrowse->setObjectName(QStringLiteral("btnBrowse"));
    m_btnBrowse->setToolTip(GetS(QStringLiteral("Choose the database file")));
    dataSourceLayout->addWidget(m_txtDataSource, 1);
    dataSourceLayout->addWidget(m_btnBrowse);
    m_lblDataSource = new QLabel(this);
    m_lblDataSource->setObjectName(QStringLiteral("lblDataSource"));
    m_form->addRow(m_lblDataSource, m_dataSourceRow);

    m_txtHost = addField("txtHost", GetS(QStringLiteral("Host:")));
    m_txtPort = addField("txtPort", GetS(QStringLiteral("Port:")));
    m_txtPort->setValidator(new QIntValidator(1, 65535, m_txtPort));
    m_txtDatabase = addField("txtDatabase", GetS(QStringLiteral("Database:")));
    m_txtUser = addField("txtUserID", GetS(QStringLiteral("User ID:")));
    m_txtPassword = addField("txtPassword", GetS(QStringLiteral("Password:")));
    m_txtPassword->setEchoMode(QLineEdit::Password);

    m_txtConnectionString = new QLineEdit(this);
    m_txtConnectionString->setObjectName(QStringLiteral("txtConnectionString"));
    m_txtConnectionString->setMinimumWidth(420);
    m_form->addRow(GetS(QStringLiteral("Connection string:")), m_txtConnectionString);

    auto* testRow = new QHBoxLayout;
    m_btnTest = new QPushButton(GetS(QStringLiteral("&Test connection")), this);
    m_btnTest->setObjectName(QStringLiteral("btnTest"));
    m_lblTestResult = new QLabel(this);
    m_lblTestResult->setObjectName(QStringLiteral("lblTestResult"));
    m_lblTestResult->setWordWrap(true);
    m_lblTestResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    testRow->addWidget(m_btnTest);
    testRow->addWidget(m_lblTestResult, 1);
    layout->addLayout(testRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_cmbProvider, &QComboBox::currentIndexChanged, this,
            &ConnectionStringDialog::providerChosen);
    for (QLineEdit* field :
         {m_txtDataSource, m_txtHost, m_txtPort, m_txtDatabase, m_txtUser, m_txtPassword})
        connect(field, &QLineEdit::textChanged, this, &ConnectionStringDialog::fieldEdited);
    connect(m_txtConnectionString, &QLineEdit::textChanged, this,
            &ConnectionStringDialog::rawEdited);
    connect(m_btnBrowse, &QPushButton::clicked, this, &ConnectionStringDialog::browse);
    connect(m_btnTest, &QPushButton::clicked, this, &ConnectionStringDialog::runTest);

    setConnectionString(kProvider + QStringLiteral("=SQLite"));
}

QString ConnectionStringDialog::GetS(const QString& text) const
{
    return m_loc ? m_loc->GetS(text) : text;
}

QLineEdit* ConnectionStringDialog::addField(const char* name, const QString& label)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    auto* caption = new QLabel(label, this);
    caption->setObjectName(QStringLiteral("lbl") + QString::fromLatin1(name + 3));
    caption->setBuddy(edit);
    m_form->addRow(caption, edit);
    return edit;
}

ConnectionStringDialog::Pairs ConnectionStringDialog::parsePairs(const QString& text)
{
    // The same reading as ConnectionString::parse, but keeping order and spelling.
    return ConnectionString::splitPairs(text);
}

QString ConnectionStringDialog::compose(const Pairs& pairs)
{
    return ConnectionString::compose(pairs);
}

QString ConnectionStringDialog::value(const QString& key) const
{
    for (const auto& [k, v] : m_pairs)
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            return v;
    return QString();
}

void ConnectionStringDialog::setValue(const QString& key, const QString& value)
{
    if (value.trimmed().isEmpty()) {
        removeValue(key);
        return;
    }
    for (auto& [k, v] : m_pairs)
        if (k.compare(key, Qt::CaseInsensitive) == 0) {
            v = value.trimmed();
            return;
        }
    // A new key goes where the fields would put it, so that clearing a field
    // and typing it again does not move it to the end.
    static const QStringList order = {kProvider, kDataSource, kHost,    kPort,
                                      kDatabase, kUser,       kPassword};
    const auto rank = [](const QString& k) {
        for (qsizetype i = 0; i < order.size(); ++i)
            if (order[i].compare(k, Qt::CaseInsensitive) == 0)
                return i;
        return qsizetype(-1);
    };
    const qsizetype own = rank(key);
    qsizetype at = own < 0 ? m_pairs.size() : 0;
    for (qsizetype i = 0; own >= 0 && i < m_pairs.size(); ++i) {
        const qsizetype other = rank(m_pairs[i].first);
        if (other >= 0 && other < own)
            at = i + 1;
    }
    m_pairs.insert(at, {key, value.trimmed()});
}

void ConnectionStringDialog::removeValue(const QString& key)
{
    m_pairs.removeIf(
        [&key](const auto& pair) { return pair.first.compare(key, Qt::CaseInsensitive) == 0; });
}

void ConnectionStringDialog::setConnectionString(const QString& text)
{
    setWindowTitle(GetS(QStringLiteral("Database connection")));
    m_txtConnectionString->setText(text);
    rawEdited(); // also when the text was already there
}

QString ConnectionStringDialog::connectionString() const
{
    return m_txtConnectionString->text().trimmed();
}

void ConnectionStringDialog::newConnection()
{
    setConnectionString(kProvider + QStringLiteral("=SQLite"));
    setWindowTitle(GetS(QStringLiteral("New database connection")));
}

void ConnectionStringDialog::rawEdited()
{
    if (m_updating)
        return;
    m_pairs = parsePairs(m_txtConnectionString->text());
    showFields();
}

void ConnectionStringDialog::fieldEdited()
{
    if (m_updating)
        return;
    const auto engine = engineOf(value(kProvider));
    if (engine == ConnectionString::Engine::SQLite || engine == ConnectionString::Engine::ODBC) {
        setValue(kDataSource, m_txtDataSource->text());
    } else if (isServer(engine)) {
        setValue(kHost, m_txtHost->text());
        setValue(kPort, m_txtPort->text());
        setValue(kDatabase, m_txtDatabase->text());
        setValue(kUser, m_txtUser->text());
        setValue(kPassword, m_txtPassword->text());
    }
    m_updating = true;
    m_txtConnectionString->setText(compose(m_pairs));
    m_updating = false;
}

void ConnectionStringDialog::providerChosen(int index)
{
    if (m_updating || index < 0)
        return;
    const QString provider = m_cmbProvider->itemData(index).toString();
    // Fields of the old provider that the new one has no use for would only confuse.
    if (isServer(engineOf(provider))) {
        removeValue(kDataSource);
    } else {
        for (const QString& key : {kHost, kPort, kDatabase, kUser, kPassword})
            removeValue(key);
    }
    removeValue(kProvider);
    m_pairs.prepend({kProvider, provider});
    m_updating = true;
    m_txtConnectionString->setText(compose(m_pairs));
    m_updating = false;
    showFields();
}

void ConnectionStringDialog::showFields()
{
    m_updating = true;
    const auto engine = engineOf(value(kProvider));
    int index = -1;
    for (int i = 0; i < m_cmbProvider->count(); ++i)
        if (engineOf(m_cmbProvider->itemData(i).toString()) == engine)
            index = i;
    m_cmbProvider->setCurrentIndex(index);
    m_txtDataSource->setText(value(kDataSource));
    m_txtHost->setText(value(kHost));
    m_txtPort->setText(value(kPort));
    m_txtDatabase->setText(value(kDatabase));
    m_txtUser->setText(value(kUser));
    m_txtPassword->setText(value(kPassword));
    m_updating = false;
    updateRows();
}

void ConnectionStringDialog::updateRows()
{
    const auto engine = engineOf(value(kProvider));
    const bool server = isServer(engine);
    const bool dataSource =
        engine == ConnectionString::Engine::SQLite || engine == ConnectionString::Engine::ODBC;
    m_lblDataSource->setText(engine == ConnectionString::Engine::ODBC
                                 ? GetS(QStringLiteral("Data source (DSN):"))
                                 : GetS(QStringLiteral("Database file:")));
    m_btnBrowse->setVisible(engine == ConnectionString::Engine::SQLite);
    m_form->setRowVisible(m_dataSourceRow, dataSource);
    for (QLineEdit* field : {m_txtHost, m_txtPort, m_txtDatabase, m_txtUser, m_txtPassword})
        m_form->setRowVisible(field, server);
}

void ConnectionStringDialog::browse()
{
    const QString file = QFileDialog::getOpenFileName(
        this, GetS(QStringLiteral("Database file")), m_txtDataSource->text(),
        GetS(QStringLiteral("SQLite databases (*.db *.sqlite *.sqlite3);;All files (*)")));
    if (!file.isEmpty())
        m_txtDataSource->setText(file);
}

QString ConnectionStringDialog::testConnection(const QString& text)
{
    static int serial = 0;
    const QString name = QStringLiteral("phonavo-connection-test-%1").arg(++serial);
    QString error;
    {
        const ConnectionString cs = ConnectionString::parse(text);
        const auto configured = cs.configure(name);
        if (!configured) {
            error = configured.error();
        } else {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            const QString file = cs.value(kDataSource);
            if (cs.engine() == ConnectionString::Engine::SQLite &&
                file != QLatin1String(":memory:") && !QFile::exists(file)) {
                // Opening would create an empty file where the user expects a database.
                error = QStringLiteral("The database file %1 does not exist").arg(file);
            } else if (!db.open()) {
                error = db.lastError().text();
                if (error.trimmed().isEmpty())
                    error = QStringLiteral("The connection could not be opened");
            }
            db.close();
        }
    }
    if (QSqlDatabase::contains(name))
        QSqlDatabase::removeDatabase(name);
    return error;
}

void ConnectionStringDialog::runTest()
{
    m_lblTestResult->setText(GetS(QStringLiteral("Connecting...")));
    m_btnTest->setEnabled(false);
    m_lblTestResult->repaint(); // the open below may take a few seconds
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString error = testConnection(connectionString());
    QApplication::restoreOverrideCursor();
    m_btnTest->setEnabled(true);
    m_lblTestResult->setText(error.isEmpty()
                                 ? GetS(QStringLiteral("Test connection succeeded."))
                                 : GetS(QStringLiteral("Test connection failed: ")) + error);
}

QString ConnectionStringDialog::testResult() const
{
    return m_lblTestResult->text();
}

QString PromptConnectionString(QWidget* parent, const QString& current, const LocGuru* loc)
{
    ConnectionStringDialog dialog(parent, loc);
    if (current.trimmed().isEmpty())
        dialog.newConnection();
    else
        dialog.setConnectionString(current);
    if (dialog.exec() != QDialog::Accepted)
        return current;
    return dialog.connectionString();
}
