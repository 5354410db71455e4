// libFuzzer target for the .reg reader. Not part of the CMake build:
//   clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -Isrc \
//     $(pkg-config --cflags Qt6Core) tests/fuzz/fuzz_regfile.cpp \
//     src/shell/settings/RegFile.cpp src/shell/settings/RegValue.cpp \
//     $(pkg-config --libs Qt6Core) -o fuzz_regfile
//   ./fuzz_regfile -max_len=65536 corpus/
#include "shell/settings/RegFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto parsed = RegFile::parse(bytes);
    if (!parsed)
        return 0;
    // Whatever parses must write out to a file that reads back the same.
    const QByteArray written = RegFile::write(parsed.value());
    const auto again = RegFile::parse(written);
    if (!again || RegFile::write(again.value()) != written)
        __builtin_trap();
    return 0;
}
