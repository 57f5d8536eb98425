#include "engine/TestModePassword.h"

namespace movra {

namespace {
const char *const kPasswords[] = {"Wxdo582039", "Wxdo930285", "WXDO582039",
                                  "WXDO930285", "wxdo582039", "wxdo930285"};
} // namespace

bool isTestModePassword(const QString &entered)
{
    for (const char *password : kPasswords) {
        if (entered == QLatin1String(password))
            return true;
    }
    return false;
}

} // namespace movra
