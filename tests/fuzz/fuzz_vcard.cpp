// libFuzzer target for the vCard reader and writer. Not part of the CMake build:
//   clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -Isrc \
//     $(pkg-config --cflags Qt6Core) tests/fuzz/fuzz_vcard.cpp \
//     src/contacts/addressbook/VCard.cpp src/contacts/addressbook/VCardProperty.cpp \
//     src/contacts/addressbook/VCardWriter.cpp $(pkg-config --libs Qt6Core) -o fuzz_vcard
//   ./fuzz_vcard -max_len=65536 tests/contacts/data/vcards/
#include "contacts/addressbook/VCard.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // Every card that reads must write out to a card that reads back, alone
    // and without errors, into one that writes the same again.
    for (const VCardContact& contact : VCard::parse(bytes).contacts) {
        const QByteArray written = VCard::write(contact);
        const VCardParseResult again = VCard::parse(written);
        if (!again.errors.isEmpty() || again.contacts.size() != 1 ||
            VCard::write(again.contacts.first()) != written)
            __builtin_trap();
    }
    return 0;
}
