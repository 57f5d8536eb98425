// The language of the window. Chinese is the source text and needs nothing;
// English comes from the translation embedded in the program.
#pragma once

#include <QString>

namespace movra {

// "en" when the environment's value (MOVRA_LANG) or, without one, Station.ini's
// [ui] language says so; "zh" otherwise, whatever the system's locale.
QString chosenLanguage(const QString &environment, const QString &stationIni);

// Makes every translated text of the application speak `language`. Returns
// false when it cannot (the texts then stay Chinese).
bool useLanguage(const QString &language);

} // namespace movra
