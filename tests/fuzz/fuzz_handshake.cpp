// The connection handshake on arbitrary blocks: the identification test of
// normal mode, the length test of test mode, and the station address that
// the test-mode probe reply carries.

#include "FuzzCheck.h"
#include "link/Protocol.h"

#include <cstdint>

using movrafuzz::byteAt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0xFFFF)
        return 0;
    const QByteArray block = movrafuzz::exactBlock(data, size);

    // The identification text is found whatever surrounds it: NUL bytes,
    // broken UTF-8 or binary noise never hide it and never fake it.
    MOVRA_REQUIRE(movra::handshakeAccepted(block, false) == block.contains("KVT582"));
    MOVRA_REQUIRE(movra::handshakeAccepted(block, true) == (block.size() >= 4));

    quint8 address = 0xA5;
    const bool probe = movra::testProbeAddress(block, &address);
    const bool shaped = block.size() >= 5 && byteAt(block, 0) == 0xFD &&
                        byteAt(block, 1) == 0x03 && byteAt(block, 2) == 0x04;
    MOVRA_REQUIRE(probe == shaped);
    MOVRA_REQUIRE(address == (shaped ? byteAt(block, 4) : 0xA5));
    return 0;
}
