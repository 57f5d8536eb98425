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

QString code(Kind kind);
QString code(Mode mode);
QString code(Quantity quantity);
QString code(Parameter parameter);
QString code(EndedBy by);

QString label(Kind kind);
QString label(Mode mode);
QString label(Quantity quantity);
QString label(Parameter parameter);
QString label(EndedBy by);

// A label in the window's language.
template <typename E> QString shownLabel(E value)
{
    return QCoreApplication::translate("Records", label(value).toUtf8().constData());
}

// The enum whose code is `text`, if any.
template <typename E> std::optional<E> fromCode(const QString &text, int count)
{
    for (int i = 0; i < count; ++i) {
        if (code(E(i)) == text)
            return E(i);
    }
    return std::nullopt;
}

// A number as short as it reads back exactly: 23.1, not 23.100000000000001.
QString numberText(double value);

// A value with one decimal, the way the tool shows tenths.
QString tenthsText(double value);

// One line saying what happened, for the records window, in its language.
QString describe(const Record &record);

// "合格"/"不合格" for a reading, empty for the other kinds.
QString verdictText(const Record &record);

} // namespace movra::records
