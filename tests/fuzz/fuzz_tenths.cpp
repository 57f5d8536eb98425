// Operator text to tenths and tenths to text. Every text gives a value
// inside the member's range, the ranges the window uses agree with one
// another, and the text of a value reads back as that value.

#include "FuzzCheck.h"
#include "link/Tenths.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

struct Range
{
    qint64 low;
    qint64 high;
};

// The members the reference fields feed, and the widest range.
const Range kRanges[] = {
    {std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()},
    {0, std::numeric_limits<quint16>::max()},
    {0, std::numeric_limits<quint32>::max()},
    {std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()},
};
const Range kWidest{std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()};

void checkText(const QString &text)
{
    const qint64 wide = movra::textToTenths(text, kWidest.low, kWidest.high);
    for (const Range &r : kRanges) {
        const qint64 v = movra::textToTenths(text, r.low, r.high);
        MOVRA_REQUIRE(v >= r.low && v <= r.high);
        // Saturating at a narrower range is the same as clamping the wide value.
        MOVRA_REQUIRE(v == qBound(r.low, wide, r.high));
    }
}

// "-"? digits "." digit, with no leading zero, saying exactly |value|.
void checkTenthsText(qint64 value)
{
    const QString text = movra::tenthsText(value);
    const QByteArray s = text.toLatin1();
    int i = 0;
    if (value < 0) {
        MOVRA_REQUIRE(s.startsWith('-'));
        i = 1;
    }
    const int dot = s.indexOf('.');
    MOVRA_REQUIRE(dot > i && dot == s.size() - 2);
    MOVRA_REQUIRE(s[i] != '0' || dot == i + 1);
    quint64 whole = 0;
    for (int k = i; k < dot; ++k) {
        MOVRA_REQUIRE(s[k] >= '0' && s[k] <= '9');
        whole = whole * 10 + quint64(s[k] - '0');
    }
    MOVRA_REQUIRE(s[dot + 1] >= '0' && s[dot + 1] <= '9');
    const quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    MOVRA_REQUIRE(whole == magnitude / 10 && quint64(s[dot + 1] - '0') == magnitude % 10);

    // Read back, single precision costs at most one tenth at this size.
    if (value >= -1000000 && value <= 1000000) {
        const qint64 back = movra::textToTenths(text, kWidest.low, kWidest.high);
        MOVRA_REQUIRE(back >= value - 1 && back <= value + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *chars = reinterpret_cast<const char *>(data);
    checkText(QString::fromUtf8(chars, int(size)));
    checkText(QString::fromLatin1(chars, int(size)));

    if (size >= sizeof(qint64)) {
        qint64 value = 0;
        std::memcpy(&value, data, sizeof value);
        checkTenthsText(value);
        checkTenthsText(value % 100000);
    }
    return 0;
}
