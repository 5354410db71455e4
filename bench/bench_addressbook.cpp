// Address-book figures: the number buffer's rebuild from a folder of vCards and
// lookups through it.
//   cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPHONAVO_BUILD_BENCH=ON
//   ninja -C build bench_addressbook && build/bench/bench_addressbook [cards] [lookups]
// Each card is its own .vcf file (the vdir layout) with ten numbers, so the
// default 10,000 cards give a buffer of 100,000 numbers. A lookup is what the
// address-book source does for one call: the exact query, then the pattern
// query when that finds nothing, then the card read from its file. A lookup is
// held to the contact database's goal (p50 under 50 ms). Lines starting with
// RESULT are for scripts/bench.

#include "contacts/addressbook/AddressBookFiles.h"
#include "contacts/addressbook/BufferRebuild.h"
#include "contacts/addressbook/ContactBuffer.h"
#include "contacts/lookup/ContactDatabaseLookup.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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

// The k-th number of card i, written the way people type them.
QString numberOf(int i, int k)
{
    return QStringLiteral("+49 %1 %2 %3")
        .arg(30 + k)
        .arg(100 + i % 900)
        .arg(i, 6, 10, QLatin1Char('0'));
}

const char* const kTypes[] = {"pref", "work", "work", "work,fax", "car",
                              "main", "home", "home", "home,fax", "cell"};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int cards = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    const int lookups = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 200;

    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("contacts"));
    QDir().mkpath(folder);
    for (int i = 0; i < cards; ++i) {
        QString text = QStringLiteral("BEGIN:VCARD\r\nVERSION:4.0\r\nUID:card-%1\r\nFN:First%1 "
                                      "Last%1\r\nN:Last%1;First%1;;;\r\nORG:ACME\r\n")
                           .arg(i);
        for (int k = 0; k < 10; ++k)
            text += QStringLiteral("TEL;TYPE=\"%1\":%2\r\n")
                        .arg(QLatin1String(kTypes[k]), numberOf(i, k));
        text += QStringLiteral("END:VCARD\r\n");
        QFile f(folder + QStringLiteral("/card-%1.vcf").arg(i));
        f.open(QIODevice::WriteOnly);
        f.write(text.toUtf8());
    }

    ContactBuffer buffer(dir.filePath(QStringLiteral("pvsystem.db")));
    int rows = 0;
    BufferRebuild rebuild(buffer, folder, [](const QString& t) { qWarning("%s", qPrintable(t)); });
    QObject::connect(&rebuild, &BufferRebuild::finished, [&rows](int n) { rows = n; });
    QElapsedTimer t;
    t.start();
    rebuild.runToEnd();
    out << "rebuild: " << cards << " cards, " << rows << " numbers in " << t.elapsed() << " ms\n";
    out << "RESULT addressbook.rebuild " << t.elapsed() << " ms\nRESULT addressbook.numbers "
        << rows << " numbers\n";

    for (const bool exact : {true, false}) {
        std::vector<double> ms;
        int found = 0;
        for (int n = 0; n < lookups; ++n) {
            const int i = int((qint64(n) * 7919) % cards);
            const int k = n % 10;
            // Exact: the number as stored; pattern: the national form with its 0.
            const QString digits = n % 4 == 3 ? QStringLiteral("0409999999")
                                   : exact    ? QStringLiteral("+49%1%2%3")
                                                 .arg(30 + k)
                                                 .arg(100 + i % 900)
                                                 .arg(i, 6, 10, QLatin1Char('0'))
                                           : QStringLiteral("0%1%2%3")
                                                 .arg(30 + k)
                                                 .arg(100 + i % 900)
                                                 .arg(i, 6, 10, QLatin1Char('0'));
            QElapsedTimer l;
            l.start();
            buffer.open();
            auto row = buffer.findExact(digits);
            if (!row)
                row = buffer.findPattern(ContactDatabaseLookup::searchPattern(digits));
            if (row) {
                const AddressBookContact c = AddressBookFiles::findInFile(
                    buffer.fileOf(row->contactId), row->contactId, [](const QString&) {});
                found += c.isValid();
            }
            buffer.close();
            ms.push_back(double(l.nsecsElapsed()) / 1e6);
        }
        out << (exact ? "exact" : "pattern") << " lookups: " << lookups << " (" << found
            << " found, one in four unknown): p50 " << percentile(ms, 0.5) << " ms, p99 "
            << percentile(ms, 0.99) << " ms\n";
        out << "RESULT addressbook." << (exact ? "exact" : "pattern") << ".p50 "
            << percentile(ms, 0.5) << " ms\n";
    }
    return 0;
}
