#pragma once

namespace courivane {

// 15 twips to a logical pixel; Qt scales logical pixels on high-DPI screens.
inline constexpr int kTwipsPerPixel = 15;

constexpr int twips(int value) {
    return value / kTwipsPerPixel;
}
constexpr int toTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}

} // namespace courivane
