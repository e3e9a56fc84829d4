#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace courivane {

// 15 twips to a logical pixel; Qt scales logical pixels on high-DPI screens.
inline constexpr int kTwipsPerPixel = 15;

constexpr int pixelsFromTwips(int value) {
    return value / kTwipsPerPixel;
}
constexpr int twipsFromPixels(int pixels) {
    return pixels * kTwipsPerPixel;
}

// Names a control and places it by its designed position and size in twips.
void placeTwips(QWidget* widget, const char* name, int left, int top, int width, int height);
// Centres a window on the primary screen.
void centreOnScreen(QWidget* window);
// What the two dialogs share: name and title, deleted on close, Arial 9.75 pt, a fixed size in
// twips, and the tab order of `order`.
void setUpDialog(QWidget* dialog, const QString& name, int widthTwips, int heightTwips,
                 const QList<QWidget*>& order);

} // namespace courivane
