#pragma once

// One record as a flat JSON object (codes, numbers in their units) and as
// a CSV row under Chinese headers. Used by the export of the store.

#include <QJsonObject>
#include <QStringList>

#include "records/Record.h"

namespace movra::records {

QJsonObject toJson(const Record &record);

QStringList csvHeaders();
QStringList csvRow(const Record &record);

} // namespace movra::records
