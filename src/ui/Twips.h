#pragma once

namespace courivane {

// 15 twips to a logical pixel; Qt scales logical pixels on high-DPI screens.
constexpr int twips(int value) {
    return value / 15;
}

} // namespace courivane
