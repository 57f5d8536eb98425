// The test case of most window tests: its windows read and write a settings
// folder of this process's own, and every test function starts without a
// Setting.ini or records left by the one before.
#pragma once

#include <QObject>

namespace movratest {

class WindowTestCase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
};

} // namespace movratest
