// A reading judged against a reference and a tolerance, all in tenths: the
// one judgement the window's log lines, the records and the command line use.
#pragma once

#include <QtGlobal>

namespace movra {

enum class Quantity { Temperature = 0, Humidity = 1 };

struct Check
{
    bool on = false;
    qint64 reference = 0; // tenths
    quint64 tolerance = 0; // tenths; a reading passes while strictly closer than this
};

struct Judgement
{
    bool judged = false; // the check was on
    qint64 value = 0;
    qint64 reference = 0;
    quint64 tolerance = 0;
    quint64 deviation = 0; // |value - reference|, in 64 bits so no pair overflows
    bool pass = false;
};

inline Judgement judge(qint64 value, const Check &check)
{
    Judgement j;
    j.judged = check.on;
    j.value = value;
    j.reference = check.reference;
    j.tolerance = check.tolerance;
    // Unsigned subtraction: exact for any pair, the extremes included.
    j.deviation = value > check.reference ? quint64(value) - quint64(check.reference)
                                          : quint64(check.reference) - quint64(value);
    j.pass = j.deviation < check.tolerance;
    return j;
}

} // namespace movra
