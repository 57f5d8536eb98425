// Pseudo-terminal pairs, raw both ways: the set-up and the speed table that
// the simulator's transport and the tests' raw peers share. The slave end is
// what a program opens as its serial port; the master end plays the device.
// POSIX only: elsewhere isSupported() is false and open() fails.
#pragma once

#include <QByteArray>
#include <QString>

namespace movrasim::pty {

struct Ends
{
    int master = -1;
    int slave = -1; // kept open: it holds the settings its peer makes
    QString slavePath;
};

bool isSupported();

// Both ends non-blocking, no echo, no line editing, no CR/LF translation;
// the slave starts at `rate` (9600 for a rate outside the table). On failure
// nothing stays open and *error says which call failed.
bool open(qint32 rate, Ends *ends, QString *error);
// Closes one end and marks it closed; a closed end is left alone.
void closeEnd(int *fd);

// The speed a terminal is set to, from its input side (or its output side
// when the input says "the same"): 0 when it cannot be read, -1 for a speed
// outside the table.
qint32 speedOf(int fd);

// Whatever can be read now, without waiting.
QByteArray readAvailable(int fd);

} // namespace movrasim::pty
