// Contact database lookup figures on a contacts table of many rows.
//   cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPHONAVO_BUILD_BENCH=ON
//   ninja -C build bench_lookup && build/bench/bench_lookup [rows] [lookups]
// Each lookup is what the contact database source does for one call on the
// shipped contacts.db with its default mapping: open the SQLite file, run the
// pattern query over the five number columns, read the first row (its picture
// into a file), close. Long numbers give "%d%d...%" patterns,
// which no index serves, so this is a full scan of the table. Goal: p50 under
// 50 ms at 100,000 rows. Lines starting with RESULT are for scripts/bench.

#include "contacts/lookup/ContactDatabaseLookup.h"
#include "contacts/manager/ContactsDatabase.h"
#include "platform/db/ConnectionString.h"
#include "shell/settings/SettingsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[size_t(p * double(v.size() - 1))];
}

QString numberOf(int i)
{
    return QStringLiteral("+49 30 %1 %2").arg(100 + i % 900).arg(i, 6, 10, QLatin1Char('0'));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    const int lookups = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 100;

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("contacts.db"));
    // The shipped contact database with its default mapping, as a new
    // installation has it.
    {
        ContactsDatabase shipped(file);
        if (!shipped.open()) {
            out << "cannot create " << file << "\n";
            return 1;
        }
    }
    SettingsStore settings(dir.filePath(QStringLiteral("user.reg")),
                           dir.filePath(QStringLiteral("machine.reg")));
    writeDefaultContactMapping(settings, file);
    const ContactMapping m = ContactMapping::fromSettings(settings);
    {
        ConnectionString::parse(m.connectString).configure(QStringLiteral("fill"));
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("fill"));
        QSqlQuery q(db);
        db.transaction();
        q.prepare(QStringLiteral("INSERT INTO Contacts (ContactGUID, FirstName, LastName, Company, "
                                 "Picture, TelCompany, Mobile) VALUES (?, ?, ?, ?, ?, ?, ?)"));
        // One contact in ten has a picture.
        const QByteArray photo(4000, 'p');
        for (int i = 0; i < rows; ++i) {
            for (const QVariant& v :
                 {QVariant(QString::number(i)), QVariant(QStringLiteral("First%1").arg(i)),
                  QVariant(QStringLiteral("Last%1").arg(i)), QVariant(QStringLiteral("ACME")),
                  i % 10 == 0 ? QVariant(photo) : QVariant(QByteArray()), QVariant(numberOf(i)),
                  QVariant(QStringLiteral("0171 %1").arg(i))})
                q.addBindValue(v);
            q.exec();
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));

    std::vector<double> ms;
    int found = 0;
    ContactDatabaseLookup lookup(m);
    for (int n = 0; n < lookups; ++n) {
        // Spread over the table; every fourth number is unknown (a full scan).
        const int i = int((qint64(n) * 7919) % rows);
        const QString digits =
            n % 4 == 3
                ? QStringLiteral("0409999999")
                : QStringLiteral("030%1%2").arg(100 + i % 900).arg(i, 6, 10, QLatin1Char('0'));
        QElapsedTimer t;
        t.start();
        ContactMatch match;
        found += lookup.find(digits, match) == ContactDatabaseLookup::Outcome::Found;
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
        if (!match.picture.isEmpty())
            QFile::remove(match.picture);
    }
    out << rows << " rows, " << lookups << " lookups (" << found << " found): p50 "
        << percentile(ms, 0.5) << " ms, p99 " << percentile(ms, 0.99) << " ms\n";
    out << "RESULT lookup.p50 " << percentile(ms, 0.5) << " ms\nRESULT lookup.p99 "
        << percentile(ms, 0.99) << " ms\nRESULT lookup.rows " << rows << " rows\n";
    return 0;
}
