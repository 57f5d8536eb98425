// One [group] of an INI file that several parts of the tool share (Station.ini):
// it is read and replaced on its own, and every byte outside it stays as it
// was, so the other groups' comments, order, spelling and text encoding
// survive. Values are UTF-8; a value in double quotes (as QSettings writes
// one with '=', ',' or ';') is read without them.
#pragma once

#include <QPair>
#include <QString>
#include <QVector>

namespace movra::config {

using IniEntries = QVector<QPair<QString, QString>>;

// The group's key=value lines, in file order; empty when the file or the
// group is missing.
IniEntries readIniGroup(const QString &path, const QString &group);

// Writes the group in place of the old one (or at the end), under the lock
// file QSettings also takes, and through a temporary file, so a crash never
// leaves half a file. False when the file cannot be locked or written.
bool writeIniGroup(const QString &path, const QString &group, const IniEntries &entries);

// Sets `entries` in the group and keeps its other keys, in their order.
bool updateIniGroup(const QString &path, const QString &group, const IniEntries &entries);

// The value of `key` in `entries`; a null string when it is not there.
QString iniValue(const IniEntries &entries, const QString &key);

} // namespace movra::config
