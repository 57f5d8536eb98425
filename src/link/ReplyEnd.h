// Where a reply ends, told from the request it answers and its own header
// (function code, byte count, exception), for an owner that takes a reply
// the moment it is complete instead of after the line has gone quiet.
#pragma once

#include <QByteArray>

namespace movra {

enum class ReplyEnd {
    Incomplete,     // a prefix of a reply the request can have: more bytes may complete it
    Unbounded,      // text that may still complete, but nothing bounds it: the quiet-time
                    // rule may take it
    Complete,       // the first `length` bytes are a reply with a good CRC
    Unrecognisable, // no reply the request can have starts so: the quiet-time rule decides
};

struct ReplyBoundary
{
    ReplyEnd end = ReplyEnd::Unrecognisable;
    int length = 0; // Complete: the bytes it takes from the block, an echo included
    int echo = 0;   // Complete: how many of them are an echo of the request
};

// `request` is the frame the block answers; empty when none is awaited.
// An adapter's echo of a read request or of the identification request may
// come first. The identification text has no length of its own: it is
// complete at the NUL that ends its third field (maker, model, version),
// and only if it names the transmitter; a text laid out otherwise is taken
// by the quiet-time rule, as the window takes it.
ReplyBoundary replyBoundary(const QByteArray &block, const QByteArray &request);

} // namespace movra
