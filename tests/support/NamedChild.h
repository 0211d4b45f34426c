#pragma once

#include <QWidget>
#include <QtGlobal>

// The child widget of that object name; a missing one ends the test at once,
// with the name, rather than in a null dereference.
template <typename T>
T *namedChild(const QWidget *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no child widget named %s", name);
    return found;
}
