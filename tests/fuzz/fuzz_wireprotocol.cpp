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
        WireProtocol::logText(message, f[2]);
        WireProtocol::pictureBytes(f, 1);
    }
    return 0;
}
