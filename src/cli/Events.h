// The events the device commands print: their JSON keys and their text
// lines, in one place, so the documented keys are the ones written.
#pragma once

#include "cli/Output.h"
#include "records/Recorder.h"

namespace movra::cli {

using records::ParameterValues;

// "station", "baud", "temp_offset", "humi_offset", "order".
const char *parameterKey(Parameter p);
// "hardware", "humidity-first", "temperature-first"; "mode-N" for others.
QString orderName(qint32 mode);
// "1.5 °C", "9600 Bd", "humidity-first" and the like.
QString parameterValueText(Parameter p, qint32 value);
// A judged quantity passes only with a value in range.
bool checkPassed(Quantity q, const Measurement &m);
// The identification text without the adapter's echo, its NULs as spaces;
// in test mode the reply in hex.
QString identText(const Identity &identity, const QByteArray &request);

Event identifiedEvent(const Identity &identity, const QByteArray &request);
Event readingEvent(int station, const Measurement &m);
Event checkEvent(int station, Quantity q, const Measurement &m, const Check &check);
Event paramsEvent(const ParameterValues &values);
Event writtenEvent(Parameter p, qint32 value, bool sent, bool confirmed);

} // namespace movra::cli
