// Misbehaviour the simulated transmitter can be told to show, so the tool's
// error paths can be exercised without a broken device at hand.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace movrasim {

struct Faults
{
    bool silent = false;    // requests are carried out, never answered
    bool badCrc = false;    // CRC of every reply inverted
    int dropPercent = 0;    // share of replies left out, 0..100
    int delayMs = 0;        // wait before the first byte of a reply
    int splitGapMs = -1;    // < 0: off; else reply sent in two halves this far apart
    bool echo = false;      // half-duplex adapter: received bytes come straight back
    bool exception = false; // every register request refused with exception code 01
    int garbageGapMs = -1;  // < 0: off; else a random burst precedes each reply by this gap
    quint32 seed = 1;       // drives drop and garbage, so runs repeat exactly
};

// Reads items such as "silent", "drop=30", "split=40" (also comma lists).
// Leaves *faults untouched and fills *error when an item is not understood.
bool parseFaults(const QStringList &items, Faults *faults, QString *error);

// The same items back, for banners and logs.
QString faultsText(const Faults &faults);

// Gap used when "split" or "garbage" is given without a value: long enough
// that a reader which waits for 30 ms of quiet sees two separate blocks.
constexpr int DefaultFaultGapMs = 50;

} // namespace movrasim
