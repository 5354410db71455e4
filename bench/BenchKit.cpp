#include "BenchKit.h"

#include "core/log/LogListModel.h"
#include "platform/AppPaths.h"
#include "platform/db/ConnectionString.h"
#include "server/protocol/WireProtocol.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QSqlQuery>
#include <QTimer>

#include <algorithm>
#include <ctime>

namespace bench {

qint64 monoNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[size_t(p * double(v.size() - 1) + 0.5)];
}

double median(std::vector<double> v)
{
    return percentile(std::move(v), 0.5);
}

qint64 rssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

void result(QTextStream& out, const QString& key, double value, const QString& unit)
{
    out << "RESULT " << key << ' ' << QString::number(value, 'g', 6) << ' ' << unit << Qt::endl;
}

void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

QStringList readUntil(QProcess& p, const QByteArray& word, int timeoutMs)
{
    QStringList lines;
    QEventLoop loop;
    QByteArray pending;
    bool seen = false;
    auto take = [&] {
        pending += p.readAllStandardOutput();
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            lines << QString::fromLatin1(line);
            if (line.startsWith(word)) {
                seen = true;
                loop.quit();
            }
        }
    };
    const auto c1 = QObject::connect(&p, &QProcess::readyReadStandardOutput, take);
    const auto c2 = QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    take();
    if (!seen && p.state() != QProcess::NotRunning)
        loop.exec();
    take();
    QObject::disconnect(c1);
    QObject::disconnect(c2);
    return lines;
}

QString clientAddress(int i)
{
    return QStringLiteral("127.0.%1.%2").arg(1 + i / 250).arg(2 + i % 250);
}

QByteArray listenMessage(const QString& name, const QString& stamp)
{
    return WireProtocol::encode(QStringLiteral("listen"),
                                {QString(), kPassword, name, stamp, QString()});
}

QDateTime rowDate(const QDateTime& first, int i)
{
    return first.addSecs(qint64(i) * 60);
}

void fillCalls(CallDatabase& db, int from, int to, const QDateTime& first)
{
    QSqlDatabase sql = db.database();
    sql.transaction();
    QSqlQuery fill(sql);
    fill.prepare(QStringLiteral(
        "INSERT INTO Calls (CallID, CallerID, CallerName, CalledID, CalledName, CalledDevice, "
        "Answered, Incoming, CallDate, CallEnd) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QString format = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");
    for (int i = from; i <= to; ++i) {
        const QDateTime when = rowDate(first, i);
        fill.addBindValue(i);
        fill.addBindValue(QStringLiteral("030%1").arg(1000000 + i % 9000000));
        fill.addBindValue(QStringLiteral("Caller %1").arg(i % 5000));
        fill.addBindValue(QStringLiteral("5551"));
        fill.addBindValue(QStringLiteral("Office"));
        fill.addBindValue(QStringLiteral("Bench line"));
        fill.addBindValue(i % 3 != 0);
        fill.addBindValue(true);
        fill.addBindValue(when.toString(format));
        fill.addBindValue(when.addSecs(42).toString(format));
        fill.exec();
    }
    sql.commit();
}

QString PhonavoRig::prepareHome(const QTemporaryDir& dir)
{
    qputenv("PHONAVO_HOME", dir.path().toLocal8Bit());
    return dir.path() + QLatin1Char('/');
}

PhonavoRig::PhonavoRig(QTextStream& out)
    : m_out(out), home((m_zone.pin(), prepareHome(homeDir))),
      settings(home + QStringLiteral("user.reg"), home + QStringLiteral("machine.reg")),
      log(home + QStringLiteral("protocol.log")), errors(log, loc, dialogs), hub([] {
          std::vector<std::unique_ptr<LineProvider>> providers;
          providers.push_back(
              std::make_unique<VirtualLineProvider>(QStringList{QStringLiteral("Bench line")}));
          return providers;
      }),
      form(MainForm::Services{settings, loc, log, dialogs, errors, hub, sound})
{
    errors.setMainWindowLoaded(true);
    // As the headless program keeps it.
    log.model()->setMaxBytes(256 * 1024);
    const QString file = home + QStringLiteral("data.db");
    QString error;
    if (!CallDatabase::createSQLiteDatabase(
            file, AppPaths::dataDir() + QStringLiteral("/schema/sqlite.sql"), &error))
        m_out << "cannot create the call database: " << error << Qt::endl;
    db = std::make_unique<CallDatabase>(
        [this](const QString& e) { m_out << "database: " << e << Qt::endl; });
    QString connection = ConnectionString::forSQLite(file);
    if (!db->OpenCallDatabase(connection, QString()))
        m_out << "cannot open the call database" << Qt::endl;
    store = std::make_unique<SqlCallStore>(*db, SqlCallStore::Hooks{});
    server = std::make_unique<PhonavoServer>(form, db.get());
}

PhonavoRig::~PhonavoRig()
{
    form.setClientNotifier(nullptr);
    form.setCallStore(nullptr);
}

bool PhonavoRig::start(ClientNotifier* notifier)
{
    form.setCallStore(store.get());
    form.initTelephony();
    form.loadOptions();
    form.options().setValue(QStringLiteral("cbPhonavoServer"), true);
    form.options().setValue(QStringLiteral("txtPassword"), kPassword);
    form.options().setValue(QStringLiteral("txtPort"), QStringLiteral("0"));
    form.options().setValue(QStringLiteral("cbPopup"), false);
    form.loadMSNs();
    form.setLoaded(true);
    form.setClientNotifier(notifier ? notifier : server.get());
    form.setDeviceMonitored(0, true);
    if (!form.startMonitoring() || !server->isListening()) {
        m_out << "the server did not start" << Qt::endl;
        return false;
    }
    return true;
}

qint32 CallDriver::ring(QObject* context, int answerMs, int endMs)
{
    const QString caller = QStringLiteral("0301%1").arg(++serial, 7, 10, QLatin1Char('0'));
    const qint64 t0 = monoNs();
    const auto id = line.ring(0, caller, QStringLiteral("5551"));
    if (!id)
        return 0;
    const qint32 callId = id.value();
    ++rung;
    if (noteOffers)
        offered[callId] = t0;
    QTimer::singleShot(answerMs, context, [this, callId] { line.answerCall(callId); });
    QTimer::singleShot(endMs, context, [this, callId] { line.hangup(callId); });
    return callId;
}

} // namespace bench
