// libFuzzer target for what the server does with a client's arrivals: framing,
// the listen handshake (with the old-call replay on a SQLite call database),
// ping, rejectcall, getoutgoingdevices, startcall and unknown commands. The
// bytes go straight into the arrival handler of a connection on a real
// loopback socket; a connection the input got closed is opened again.
//   cmake -S . -B build-server -G Ninja && ninja -C build-server phonavo_core phonavo_testsupport
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fPIC -I src -I tests/support \
//     $(pkg-config --cflags Qt6Core Qt6Network Qt6Sql Qt6DBus Qt6Test)
//     tests/fuzz/fuzz_handshake.cpp \
//     build-server/tests/libphonavo_testsupport.a build-server/src/libphonavo_core.a \
//     $(pkg-config --libs Qt6Core Qt6Network Qt6Sql Qt6DBus Qt6Test) -o /tmp/fuzz_handshake
//   /tmp/fuzz_handshake -max_total_time=30

#include "ControllerRig.h"

#include "contacts/store/CallDatabase.h"
#include "platform/AppPaths.h"
#include "platform/net/ClientSocket.h"
#include "server/connections/ClientRequests.h"
#include "server/connections/PhonavoServer.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <QTcpSocket>

#include <cstddef>
#include <cstdint>

namespace {

struct Fuzzing
{
    ControllerRig rig;
    std::unique_ptr<CallDatabase> db;
    std::unique_ptr<PhonavoServer> server;
    std::unique_ptr<ClientRequests> requests;
    std::unique_ptr<QTcpSocket> peer;

    Fuzzing()
    {
        const QString file = rig.home.file(QStringLiteral("data.db"));
        QString error;
        CallDatabase::createSQLiteDatabase(
            file, AppPaths::dataDir() + QStringLiteral("/schema/sqlite.sql"), &error);
        db = std::make_unique<CallDatabase>([](const QString&) {});
        QString cs = ConnectionString::forSQLite(file);
        db->OpenCallDatabase(cs, QString());
        QSqlQuery q(db->database());
        for (int i = 1; i <= 20; ++i)
            q.exec(QStringLiteral("INSERT INTO Calls (CallID, CallerID, CallerName, CalledID) "
                                  "VALUES (%1, '030%1', 'Name\r\n%1', '30%2')")
                       .arg(i)
                       .arg(i % 3));
        // An empty password and version, so that random listens get far.
        rig.form->options().setValue(QStringLiteral("cbPhonavoServer"), true);
        rig.form->options().setValue(QStringLiteral("txtPort"), QStringLiteral("0"));
        rig.form->setTapiLog(true);
        rig.form->setOutgoingDevice(QStringLiteral("Virtual line 1"));
        server = std::make_unique<PhonavoServer>(*rig.form, db.get());
        // Wrong passwords answered at once: the fuzzer needs no patience.
        server->loginThrottle().setDelays(0, 0);
        rig.form->setClientNotifier(server.get());
        rig.monitor({0});
        requests = std::make_unique<ClientRequests>(*server);
    }

    ClientSocket* connection()
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (const ConnectionPtr c = server->connections().Item(QStringLiteral("127.0.0.1")))
                if (c->wsConnection && c->wsConnection->state() == SocketState::Connected)
                    return c->wsConnection.data();
            if (!peer || peer->state() != QAbstractSocket::ConnectedState) {
                peer = std::make_unique<QTcpSocket>();
                peer->connectToHost(QHostAddress::LocalHost, server->listeningPort());
            }
            peer->readAll();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return nullptr;
    }
};

Fuzzing* g_fuzz = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    g_fuzz = new Fuzzing;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ClientSocket* socket = g_fuzz->connection();
    if (!socket)
        __builtin_trap(); // the server stopped taking connections
    const QByteArray arrival(reinterpret_cast<const char*>(data), qsizetype(size));
    g_fuzz->requests->handleArrival(socket, arrival);
    // Calls a startcall set off end again; closes run; the log stays small.
    for (qint32 id : g_fuzz->rig.lines().callIds())
        g_fuzz->rig.lines().hangup(id);
    g_fuzz->rig.settle();
    if (g_fuzz->rig.log.lines().size() > 1000)
        g_fuzz->rig.log.clear();
    return 0;
}
