#include "link/ReplyEnd.h"

#include "link/Protocol.h"

namespace movra {

namespace {
constexpr int kReadHeaderSize = 3; // address, function, byte count
constexpr int kIdentificationFields = 3;

ReplyBoundary boundary(ReplyEnd end, int length = 0, int echo = 0)
{
    return {end, length, echo};
}

// A frame of `size` bytes from `at`, its CRC last.
ReplyBoundary framed(const QByteArray &block, int at, int size)
{
    if (block.size() < at + size)
        return boundary(ReplyEnd::Incomplete);
    if (!crcHolds(block.mid(at, size), size - 2))
        return boundary(ReplyEnd::Unrecognisable);
    return boundary(ReplyEnd::Complete, at + size, at);
}

// Printable text and the NULs between its fields; any other byte makes
// the block something else.
ReplyBoundary identification(const QByteArray &block, int at)
{
    int fields = 0;
    for (int i = at; i < block.size(); ++i) {
        const quint8 c = byteAt(block, i);
        if (c != 0 && (c < 0x20 || c > 0x7E))
            return boundary(ReplyEnd::Unrecognisable);
        if (c != 0 || ++fields < kIdentificationFields)
            continue;
        if (!handshakeAccepted(block.mid(at, i + 1 - at), false))
            return boundary(ReplyEnd::Unrecognisable);
        return boundary(ReplyEnd::Complete, i + 1, at);
    }
    return boundary(ReplyEnd::Unbounded);
}
} // namespace

ReplyBoundary replyBoundary(const QByteArray &block, const QByteArray &request)
{
    if (request.size() < kBaudFrameSize)
        return boundary(ReplyEnd::Unrecognisable);
    const bool baudFrame = byteAt(request, 0) == kBaudMark && byteAt(request, 1) == kBaudMark;
    const quint8 function = byteAt(request, 1);
    const bool identify = !baudFrame && function == FnWrite &&
                          byteAt(request, 2) * 256 + byteAt(request, 3) == RegIdentify;
    // A write's reply and the answer to a new baud rate look like the
    // request itself; before any other reply, a block that starts as the
    // request is its echo.
    const bool baudQuery = baudFrame && byteAt(request, 3) == 0;
    int at = 0;
    if (baudQuery || (!baudFrame && (function == FnRead || identify))) {
        const int n = qMin(block.size(), int(request.size()));
        if (block.left(n) == request.left(n)) {
            if (block.size() <= request.size())
                return boundary(ReplyEnd::Incomplete);
            at = int(request.size());
        }
    }
    if (identify)
        return identification(block, at);
    if (block.size() < at + 2)
        return boundary(ReplyEnd::Incomplete);
    if (baudFrame) {
        const bool marked = byteAt(block, at) == kBaudMark && byteAt(block, at + 1) == kBaudMark;
        return marked ? framed(block, at, kBaudFrameSize) : boundary(ReplyEnd::Unrecognisable);
    }
    const quint8 got = byteAt(block, at + 1);
    if (got == (function | FnExceptionBit))
        return framed(block, at, kExceptionSize);
    if (got != function)
        return boundary(ReplyEnd::Unrecognisable);
    if (function != FnRead)
        return framed(block, at, kRequestFrameSize);
    if (block.size() < at + kReadHeaderSize)
        return boundary(ReplyEnd::Incomplete);
    return framed(block, at, kReadHeaderSize + byteAt(block, at + 2) + 2);
}

} // namespace movra
