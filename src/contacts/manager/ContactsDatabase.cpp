#include "ContactsDatabase.h"

#include "core/devices/NumberRules.h"
#include "loc/LocGuru.h"
#include "platform/AppPaths.h"
#include "platform/db/ConnectionString.h"
#include "shell/settings/SettingsStore.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

#include <algorithm>

namespace {

const QString kTableName = QString::fromLatin1(ContactsDatabase::kTable);
const QString kKey = QString::fromLatin1(ContactsDatabase::kKeyColumn);

// Columns besides the key and the picture, in the order ManagedContact keeps them.
const QStringList& textColumns()
{
    static const QStringList columns = {QStringLiteral("FirstName"),  QStringLiteral("LastName"),
                                        QStringLiteral("Company"),    QStringLiteral("TelPrivate"),
                                        QStringLiteral("TelCompany"), QStringLiteral("Mobile"),
                                        QStringLiteral("Fax"),        QStringLiteral("VoIP"),
                                        QStringLiteral("Email"),      QStringLiteral("Notes")};
    return columns;
}

// Added to a table of an older file that lacks them; the others must be there.
const QStringList kOptionalColumns = {QStringLiteral("Email"), QStringLiteral("Notes")};

QStringList textValues(const ManagedContact& c)
{
    QStringList values = {c.firstName, c.lastName, c.company};
    for (const QString& n : c.numbers)
        values << n;
    values << c.email << c.notes;
    return values;
}

void setTextValues(ManagedContact& c, const QSqlQuery& q, int first)
{
    const auto text = [&](int i) { return q.value(first + i).toString(); };
    c.firstName = text(0);
    c.lastName = text(1);
    c.company = text(2);
    for (int i = 0; i < ManagedContact::kNumberCount; ++i)
        c.numbers[size_t(i)] = text(3 + i);
    c.email = text(8);
    c.notes = text(9);
}

// Empty text is stored as such, not as NULL, so the lookup's LIKE sees a value.
QVariant bound(const QString& s)
{
    return s.isNull() ? QString(QLatin1String("")) : s;
}

// Digits of a typed search: a leading '+' or trunk zeros are dropped, so
// "030 12" and "+49 30 12" both find "+49 30 12 34".
QString searchDigits(const QString& text)
{
    QString digits = DigitsOnly(text);
    digits.remove(QLatin1Char('+'));
    while (digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    return digits;
}

int serial = 0;

} // namespace

QString ManagedContact::displayName() const
{
    const QString name =
        QString(firstName.trimmed() + QLatin1Char(' ') + lastName.trimmed()).trimmed();
    if (!name.isEmpty())
        return name;
    if (!company.trimmed().isEmpty())
        return company.trimmed();
    for (const QString& n : numbers)
        if (!n.trimmed().isEmpty())
            return n.trimmed();
    return QString();
}

bool ManagedContact::matches(const QString& search) const
{
    const QString text = search.trimmed();
    if (text.isEmpty())
        return true;
    QStringList fields = {firstName,
                          lastName,
                          firstName + QLatin1Char(' ') + lastName,
                          lastName + QLatin1Char(' ') + firstName,
                          company,
                          email};
    for (const QString& n : numbers)
        fields << n;
    if (std::any_of(fields.cbegin(), fields.cend(),
                    [&](const QString& f) { return f.contains(text, Qt::CaseInsensitive); }))
        return true;
    // Digit-wise only for texts that are a number, or "Smith 1" would find
    // every contact whose number holds a 1.
    static const QRegularExpression numberLike(QStringLiteral("^[+0-9 ()/.\\-]+$"));
    if (!numberLike.match(text).hasMatch())
        return false;
    const QString digits = searchDigits(text);
    if (digits.isEmpty())
        return false;
    return std::any_of(numbers.cbegin(), numbers.cend(),
                       [&](const QString& n) { return DigitsOnly(n).contains(digits); });
}

const std::array<QString, ManagedContact::kNumberCount>& ContactsDatabase::numberColumns()
{
    static const std::array<QString, ManagedContact::kNumberCount> columns = {
        QStringLiteral("TelPrivate"), QStringLiteral("TelCompany"), QStringLiteral("Mobile"),
        QStringLiteral("Fax"), QStringLiteral("VoIP")};
    return columns;
}

QString ContactsDatabase::defaultPath()
{
    return AppPaths::installDir() + QStringLiteral("contacts.db");
}

ContactsDatabase::ContactsDatabase(QString path, const LocGuru* loc)
    : m_path(std::move(path)),
      m_connection(QStringLiteral("phonavo-contact-manager-%1").arg(++serial)), m_loc(loc)
{}

ContactsDatabase::~ContactsDatabase()
{
    close();
}

QString ContactsDatabase::GetS(const QString& text, const QStringList& params) const
{
    return m_loc ? m_loc->GetS(text, params)
                 : LocGuru::SubstituteParameters(text, int(params.size()), params);
}

QString ContactsDatabase::failure(const QString& what, const QString& reason) const
{
    return GetS(QStringLiteral("Contact database %s: %s failed: %s"), {m_path, what, reason});
}

bool ContactsDatabase::isOpen() const
{
    return QSqlDatabase::contains(m_connection) &&
           QSqlDatabase::database(m_connection, false).isOpen();
}

void ContactsDatabase::close()
{
    if (!QSqlDatabase::contains(m_connection))
        return;
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

Result<bool> ContactsDatabase::open()
{
    close();
    const QFileInfo info(m_path);
    if (info.exists() && !info.isFile())
        return Result<bool>::fail(
            failure(GetS(QStringLiteral("opening")), GetS(QStringLiteral("it is not a file"))));
    if (!AppPaths::ensureParentDir(m_path))
        return Result<bool>::fail(failure(GetS(QStringLiteral("opening")),
                                          GetS(QStringLiteral("its folder cannot be created"))));
    const Result<bool> configured =
        ConnectionString::parse(ConnectionString::forSQLite(m_path)).configure(m_connection);
    if (!configured)
        return Result<bool>::fail(failure(GetS(QStringLiteral("opening")), configured.error()));
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.open()) {
        const QString error = db.lastError().text();
        close();
        return Result<bool>::fail(failure(GetS(QStringLiteral("opening")), error));
    }
    const Result<bool> table = createOrCheckTable();
    if (!table)
        close();
    return table;
}

Result<bool> ContactsDatabase::createOrCheckTable()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    // Also the first read of the file: one that is not a database fails here.
    if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")))
        return Result<bool>::fail(failure(GetS(QStringLiteral("reading")), q.lastError().text()));
    bool exists = false;
    while (q.next())
        exists = exists || q.value(0).toString().compare(kTableName, Qt::CaseInsensitive) == 0;
    q.finish();
    if (!exists) {
        QStringList columns = {kKey + QStringLiteral(" TEXT PRIMARY KEY NOT NULL")};
        for (const QString& c : textColumns())
            columns << c + QStringLiteral(" TEXT");
        // Last, so a search that scans the numbers never steps over pictures.
        columns << QStringLiteral("Picture BLOB");
        if (!q.exec(QStringLiteral("CREATE TABLE ") + kTableName + QStringLiteral(" (") +
                    columns.join(QStringLiteral(", ")) + QLatin1Char(')')))
            return Result<bool>::fail(
                failure(GetS(QStringLiteral("creating the table")), q.lastError().text()));
        return Result<bool>::ok(true);
    }
    const QSqlRecord record = db.record(kTableName);
    QStringList required = {kKey, QStringLiteral("Picture")};
    required += textColumns();
    for (const QString& column : required) {
        if (record.contains(column))
            continue;
        if (!kOptionalColumns.contains(column))
            return Result<bool>::fail(failure(
                GetS(QStringLiteral("reading")),
                GetS(QStringLiteral("the table %s has no column %s"), {kTableName, column})));
        if (!q.exec(QStringLiteral("ALTER TABLE ") + kTableName + QStringLiteral(" ADD COLUMN ") +
                    column + QStringLiteral(" TEXT")))
            return Result<bool>::fail(
                failure(GetS(QStringLiteral("adding a column")), q.lastError().text()));
    }
    return Result<bool>::ok(true);
}

Result<QList<ManagedContact>> ContactsDatabase::list(const QString& search) const
{
    using R = Result<QList<ManagedContact>>;
    if (!isOpen())
        return R::fail(failure(GetS(QStringLiteral("reading")), GetS(QStringLiteral("not open"))));
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    // A personal address book is small: the search runs over all rows, which
    // lets numbers match digit by digit whatever their formatting.
    if (!q.exec(QStringLiteral("SELECT ") + kKey + QStringLiteral(", ") +
                textColumns().join(QStringLiteral(", ")) + QStringLiteral(" FROM ") + kTableName))
        return R::fail(failure(GetS(QStringLiteral("reading")), q.lastError().text()));
    QList<ManagedContact> found;
    while (q.next()) {
        ManagedContact c;
        c.guid = q.value(0).toString();
        setTextValues(c, q, 1);
        if (c.matches(search))
            found.append(std::move(c));
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.displayName().localeAwareCompare(b.displayName()) < 0;
    });
    return R::ok(found);
}

Result<std::optional<ManagedContact>> ContactsDatabase::get(const QString& guid) const
{
    using R = Result<std::optional<ManagedContact>>;
    if (!isOpen())
        return R::fail(failure(GetS(QStringLiteral("reading")), GetS(QStringLiteral("not open"))));
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT ") + kKey + QStringLiteral(", Picture, ") +
              textColumns().join(QStringLiteral(", ")) + QStringLiteral(" FROM ") + kTableName +
              QStringLiteral(" WHERE ") + kKey + QStringLiteral(" = ?"));
    q.addBindValue(guid);
    if (!q.exec())
        return R::fail(failure(GetS(QStringLiteral("reading")), q.lastError().text()));
    if (!q.next())
        return R::ok(std::nullopt);
    ManagedContact c;
    c.guid = q.value(0).toString();
    c.picture = q.value(1).toByteArray();
    setTextValues(c, q, 2);
    return R::ok(c);
}

Result<QString> ContactsDatabase::insert(ManagedContact& contact)
{
    if (!isOpen())
        return Result<QString>::fail(
            failure(GetS(QStringLiteral("saving")), GetS(QStringLiteral("not open"))));
    const QString guid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    QStringList marks(textColumns().size() + 2, QStringLiteral("?"));
    q.prepare(QStringLiteral("INSERT INTO ") + kTableName + QStringLiteral(" (") + kKey +
              QStringLiteral(", Picture, ") + textColumns().join(QStringLiteral(", ")) +
              QStringLiteral(") VALUES (") + marks.join(QStringLiteral(", ")) + QLatin1Char(')'));
    q.addBindValue(guid);
    q.addBindValue(contact.picture.isEmpty() ? QVariant(QMetaType(QMetaType::QByteArray))
                                             : QVariant(contact.picture));
    for (const QString& v : textValues(contact))
        q.addBindValue(bound(v));
    if (!q.exec())
        return Result<QString>::fail(failure(GetS(QStringLiteral("saving")), q.lastError().text()));
    contact.guid = guid;
    return Result<QString>::ok(guid);
}

Result<bool> ContactsDatabase::update(const ManagedContact& contact)
{
    if (!isOpen())
        return Result<bool>::fail(
            failure(GetS(QStringLiteral("saving")), GetS(QStringLiteral("not open"))));
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    QStringList sets = {QStringLiteral("Picture = ?")};
    for (const QString& c : textColumns())
        sets << c + QStringLiteral(" = ?");
    q.prepare(QStringLiteral("UPDATE ") + kTableName + QStringLiteral(" SET ") +
              sets.join(QStringLiteral(", ")) + QStringLiteral(" WHERE ") + kKey +
              QStringLiteral(" = ?"));
    q.addBindValue(contact.picture.isEmpty() ? QVariant(QMetaType(QMetaType::QByteArray))
                                             : QVariant(contact.picture));
    for (const QString& v : textValues(contact))
        q.addBindValue(bound(v));
    q.addBindValue(contact.guid);
    if (!q.exec())
        return Result<bool>::fail(failure(GetS(QStringLiteral("saving")), q.lastError().text()));
    return Result<bool>::ok(q.numRowsAffected() > 0);
}

Result<bool> ContactsDatabase::remove(const QString& guid)
{
    if (!isOpen())
        return Result<bool>::fail(
            failure(GetS(QStringLiteral("deleting")), GetS(QStringLiteral("not open"))));
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("DELETE FROM ") + kTableName + QStringLiteral(" WHERE ") + kKey +
              QStringLiteral(" = ?"));
    q.addBindValue(guid);
    if (!q.exec())
        return Result<bool>::fail(failure(GetS(QStringLiteral("deleting")), q.lastError().text()));
    return Result<bool>::ok(q.numRowsAffected() > 0);
}

bool writeDefaultContactMapping(SettingsStore& settings, const QString& path)
{
    const QString section = QStringLiteral("Data");
    if (!settings.GetSettingHKCU(section, QStringLiteral("ConnectString"), QString())
             .toString()
             .trimmed()
             .isEmpty())
        return false;
    const auto& numbers = ContactsDatabase::numberColumns();
    const QList<QPair<QString, QString>> values = {
        {QStringLiteral("ConnectString"), ConnectionString::forSQLite(path)},
        {QStringLiteral("DBTable"), kTableName},
        {QStringLiteral("PrimKey"), kKey},
        {QStringLiteral("FirstName"), QStringLiteral("FirstName")},
        {QStringLiteral("LastName"), QStringLiteral("LastName")},
        {QStringLiteral("ExtraField"), QStringLiteral("Company")},
        {QStringLiteral("Picture"), QStringLiteral("Picture")},
        {QStringLiteral("Number1"), numbers[0]},
        {QStringLiteral("Number2"), numbers[1]},
        {QStringLiteral("Number3"), numbers[2]},
        {QStringLiteral("Number4"), numbers[3]},
        {QStringLiteral("Number5"), numbers[4]},
    };
    for (const auto& [name, value] : values)
        settings.SaveSettingHKCU(section, name, value);
    return true;
}

void prepareShippedContactDatabase(SettingsStore& settings, const LocGuru& loc,
                                   const std::function<void(const QString&)>& log)
{
    const QString path = ContactsDatabase::defaultPath();
    const bool existed = QFileInfo::exists(path);
    ContactsDatabase db(path, &loc);
    const Result<bool> opened = db.open();
    if (!opened) {
        // The lookup is not pointed at a database that is not there.
        log(opened.error());
        return;
    }
    db.close();
    if (!existed)
        log(loc.GetS(QStringLiteral("Contact database created: %s"), path));
    if (writeDefaultContactMapping(settings, path))
        log(loc.GetS(QStringLiteral("Contact lookup reads the contact database %s"), path));
}
