// libFuzzer target for the server's framing and parsing of client arrivals.
//   clang++ -std=c++20 -g -fsanitize=fuzzer,address,undefined -fPIC -I src \
//     $(pkg-config --cflags Qt6Core) tests/fuzz/fuzz_wireprotocol.cpp \
//     src/server/protocol/WireProtocol.cpp $(pkg-config --libs Qt6Core) -o /tmp/fuzz_wireprotocol
//   /tmp/fuzz_wireprotocol -max_total_time=60

#include "server/protocol/WireProtocol.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray arrival(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QByteArray& message : WireProtocol::splitArrival(arrival)) {
        const QStringList f = WireProtocol::fields(message);
        if (f.size() < 5)
            __builtin_trap();
        WireProtocol::parseStamp(f[4]);
        WireProtocol::pictureBytes(f, 1);
    }
    // Masking keeps the messages as they are and leaves no password of a listen.
    QByteArray carry;
    const qsizetype cut = size > 0 ? qsizetype(data[0]) % (arrival.size() + 1) : 0;
    for (const QByteArray& part : {arrival.left(cut), arrival.mid(cut)}) {
        const QList<QByteArray> messages = WireProtocol::splitArrival(part);
        const QList<QByteArray> masked =
            WireProtocol::splitArrival(WireProtocol::maskPasswords(part, &carry));
        if (masked.size() != messages.size())
            __builtin_trap();
        for (qsizetype i = 0; i < masked.size(); ++i) {
            const QStringList f = WireProtocol::fields(masked[i]);
            if (f[0] == QLatin1String("listen") && !f[2].isEmpty() &&
                f[2] != QLatin1String("*****"))
                __builtin_trap();
        }
        WireProtocol::logText(part);
    }
    return 0;
}
