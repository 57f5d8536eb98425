// One [group] of an INI file that other parts of the tool share: it is read
// and replaced on its own, and every byte outside it stays as it was, so the
// other groups' comments, order, spelling and text encoding survive.
#pragma once

#include <QPair>
#include <QString>
#include <QVector>

namespace movra::trend {

using IniEntries = QVector<QPair<QString, QString>>;

// The group's key=value lines, in file order; empty when the file or the
// group is missing.
IniEntries readIniGroup(const QString &path, const QString &group);

// Writes the group in place of the old one (or at the end), under the lock
// file QSettings also takes, and through a temporary file, so a crash never
// leaves half a file. False when the file cannot be locked or written.
bool writeIniGroup(const QString &path, const QString &group, const IniEntries &entries);

} // namespace movra::trend
