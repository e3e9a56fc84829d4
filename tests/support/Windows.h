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

} // namespace courivane::testing
