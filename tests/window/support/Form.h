// The window's widgets, found by their object names.
#pragma once

#include <QMainWindow>
#include <QtTest>

#include "ui_MovraTestTool.h"

namespace movratest {

// A widget the window must have; a missing one fails the test that asks.
template <typename T> T *find(QMainWindow &w, const char *name)
{
    T *child = w.findChild<T *>(QLatin1String(name));
    if (!child)
        qWarning("the window has no %s named %s", T::staticMetaObject.className(), name);
    return child;
}

void bindForm(QMainWindow &w, Ui::MovraTestToolClass &ui);

// The form of a window, bound once and kept until the window goes.
Ui::MovraTestToolClass &form(QMainWindow &w);

} // namespace movratest
