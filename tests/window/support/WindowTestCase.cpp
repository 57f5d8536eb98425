#include "WindowTestCase.h"

#include "TestSupport.h"

namespace movratest {

void WindowTestCase::initTestCase()
{
    useOwnSettingsFolder();
}

void WindowTestCase::cleanup()
{
    removeSettings();
}

} // namespace movratest
