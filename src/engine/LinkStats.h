// What the line did since the current connection began: the figures an
// operator needs to tell a flaky unit from a flaky cable.
#pragma once

#include <QtGlobal>
#include <array>

#include "link/Requests.h"

namespace movra {

// Why a received block was not taken as a reply.
enum class BlockCause : int {
    TooShort = 0,    // fewer bytes than any reply has
    BadCrc,          // the layout fits, the checksum does not
    UnknownFunction, // a function code the tool never asks for
    Unexpected,      // well formed, but not what the pending request wants
    Count
};

// Response times are counted in ticks, as the engine counts all time; a
// histogram keeps the 95th percentile exact without keeping every sample.
struct ResponseTimes
{
    static constexpr int kBuckets = 1024; // ticks; slower replies share the last bucket
    quint64 count = 0;
    quint64 sumTicks = 0;
    quint32 minTicks = 0;
    quint32 maxTicks = 0;
    std::array<quint32, kBuckets> byTicks{};

    void add(quint32 ticks)
    {
        if (count == 0 || ticks < minTicks)
            minTicks = ticks;
        if (ticks > maxTicks)
            maxTicks = ticks;
        ++count;
        sumTicks += ticks;
        ++byTicks[qMin<quint32>(ticks, kBuckets - 1)];
    }
    double meanTicks() const { return count ? double(sumTicks) / double(count) : 0.0; }
    // Smallest tick count that at least the share p of the samples do not exceed.
    quint32 percentileTicks(double p) const
    {
        if (count == 0)
            return 0;
        const double wanted = p * double(count);
        quint64 seen = 0;
        for (int i = 0; i < kBuckets; ++i) {
            seen += byTicks[size_t(i)];
            if (double(seen) >= wanted)
                return qMin<quint32>(quint32(i), maxTicks);
        }
        return maxTicks;
    }
};

struct LinkStats
{
    // Indexed by request kind (requestKindIndex).
    static constexpr int kKinds = kRequestKinds;
    std::array<quint64, kKinds> requestsByKind{};
    quint64 requests = 0;
    quint64 replies = 0; // blocks taken as the answer to a request
    std::array<quint64, int(BlockCause::Count)> notRecognised{};
    quint64 exceptions = 0; // function code with the high bit set
    quint64 timeouts = 0;   // requests given up without an answer
    quint64 replaced = 0;   // requests replaced by the next one before an answer came
    quint64 bytesWritten = 0;
    quint64 bytesRead = 0;
    ResponseTimes response;
    int tickMs = 10;

    quint64 notRecognisedTotal() const
    {
        quint64 n = 0;
        for (quint64 c : notRecognised)
            n += c;
        return n;
    }
    double toMs(double ticks) const { return ticks * tickMs; }
};

} // namespace movra
