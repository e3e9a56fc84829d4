#pragma once

#include <QApplication>
#include <QList>
#include <QWidget>

namespace courivane::testing {

// The open windows of a kind: the dialogs are windows of their own, no panel's children.
template <typename Window> QList<Window*> windowsOf() {
    QList<Window*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<Window*>(w))
            found.append(window);
    return found;
}

// A window's control by its object name, as the window names it; a wrong name ends the test.
template <typename Control = QWidget> Control* control(const QObject* window, const char* name) {
    auto* found = window->findChild<Control*>(QLatin1String(name));
    if (!found)
        qFatal("%s has no %s named %s", qPrintable(window->objectName()),
               Control::staticMetaObject.className(), name);
    return found;
}

} // namespace courivane::testing
