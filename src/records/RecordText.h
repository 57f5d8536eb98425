#pragma once

// Names of the record fields: stable codes for files and the central
// database, Chinese labels for people.

#include <QCoreApplication>
#include <QString>
#include <optional>
#include <type_traits>

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

template <typename E> constexpr Names namesOf()
{
    if constexpr (std::is_same_v<E, Kind>)
        return Names::Kind;
    else if constexpr (std::is_same_v<E, Mode>)
        return Names::Mode;
    else if constexpr (std::is_same_v<E, Quantity>)
        return Names::Quantity;
    else if constexpr (std::is_same_v<E, Parameter>)
        return Names::Parameter;
    else
        return Names::EndedBy;
}

template <typename E> QString shownLabel(E value)
{
    return shownLabel(namesOf<E>(), int(value));
}

// A number as short as it reads back exactly: 23.1, not 23.100000000000001.
QString numberText(double value);

} // namespace movra::records
