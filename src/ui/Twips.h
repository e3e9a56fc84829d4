#pragma once

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

} // namespace courivane
