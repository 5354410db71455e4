// phonavo-line: drives the virtual lines of a running Phonavo through its
// control channel. Exit codes: 0 done, 1 the program refused the command,
// 2 the program could not be reached or the command line is wrong.

#include "platform/AppPaths.h"
#include "platform/telephony/ControlProtocol.h"
#include "platform/telephony/VirtualLineCommands.h"

#include <QCoreApplication>
#include <QLocalSocket>
#include <QTextStream>

namespace {

constexpr int kTimeoutMs = 10'000;

void printUsage(QTextStream& out)
{
    out << "usage: phonavo-line [--socket PATH] COMMAND [ARGS...]\n"
        << VirtualLineCommands::usage() << '\n'
        << "The program is found through PHONAVO_HOME (or the user's runtime folder).\n";
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    QStringList args = app.arguments().mid(1);
    QString socketPath = AppPaths::controlSocketPath();
    if (args.size() >= 2 && args.first() == QLatin1String("--socket")) {
        socketPath = args.at(1);
        args = args.mid(2);
    }
    if (args.isEmpty() || args.first() == QLatin1String("--help") ||
        args.first() == QLatin1String("-h")) {
        printUsage(args.isEmpty() ? err : out);
        return args.isEmpty() ? 2 : 0;
    }
    if (args.first() == QLatin1String("--version")) {
        out << "phonavo-line " << PHONAVO_VERSION_MAJOR << '.' << PHONAVO_VERSION_MINOR << '.'
            << PHONAVO_VERSION_PATCH << '\n';
        return 0;
    }
    if (args.first().startsWith(QLatin1Char('-'))) {
        err << "phonavo-line: unknown option '" << args.first()
            << "'\nTry 'phonavo-line --help' for the commands.\n";
        return 2;
    }

    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(kTimeoutMs)) {
        err << "phonavo-line: cannot reach Phonavo at " << socketPath << ": "
            << socket.errorString() << " (is the program running?)\n";
        return 2;
    }
    socket.write(ControlProtocol::encodeRequest(args));
    if (!socket.waitForBytesWritten(kTimeoutMs)) {
        err << "phonavo-line: sending failed: " << socket.errorString() << '\n';
        return 2;
    }
    QByteArray line;
    while (!line.endsWith('\n')) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(kTimeoutMs))
            break;
        line += socket.readAll();
        if (line.size() > ControlProtocol::kMaxLineLength * 16)
            break;
    }
    QString error;
    const auto reply = ControlProtocol::decodeReply(line, &error);
    if (!reply) {
        err << "phonavo-line: "
            << (line.isEmpty() ? QStringLiteral("no answer from the program") : error) << '\n';
        return 2;
    }
    if (!reply->ok) {
        err << "phonavo-line: " << reply->error << '\n';
        return 1;
    }
    if (!reply->output.isEmpty())
        out << reply->output << '\n';
    return 0;
}
