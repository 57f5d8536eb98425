#pragma once

// Names of the record fields: stable codes for files and the central
// database, Chinese labels for people.

#include <QCoreApplication>
#include <QString>
#include <optional>

#include "records/Record.h"

namespace movra::records {

// The records' texts for people, in the window's language: RecordsText::tr.
// Files and the central database keep the Chinese labels below.
struct RecordsText
{
    Q_DECLARE_TR_FUNCTIONS(Records)
};

// The enumerations a record holds, each with its codes and labels.
enum class Names { Kind, Mode, Quantity, Parameter, EndedBy, Order };

QString code(Names of, int value);
QString label(Names of, int value); // the order's label is its code
std::optional<int> fromCode(Names of, const QString &text);
QString shownLabel(Names of, int value); // in the window's language

// A number as short as it reads back exactly: 23.1, not 23.100000000000001.
QString numberText(double value);

} // namespace movra::records
