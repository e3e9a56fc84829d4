#pragma once

#include "config/OptionsFile.h"

#include <array>

namespace courivane {

// The panel's ten elements, left to right; the eight lamps in between are Lamp + 1.
enum PanelElement : int {
    SettingsElement = 0,
    FirstLampElement = 1,
    WebElement = 2,
    StatusElement = 9,
};
inline constexpr int kElementCount = 10;

// Which form of each element shows, where the elements stand and how wide the panel is, in
// twips. A pure function of the Graphic Display and Split ICMP and Web options; the start-up
// layout also for lines that are neither "YES" nor "NO".
struct PanelLayout {
    std::array<bool, kElementCount> pictureVisible{};
    std::array<bool, kElementCount> labelVisible{};
    bool webColumns = true; // the "on" columns, with room for the Web lamp
    int width = 3630;

    int pictureLeft(int element) const;
    int labelLeft(int element) const;
};

inline constexpr int kPanelHeight = 375;
inline constexpr int kPictureSize = 375;
inline constexpr int kLampLabelWidth = 735;
inline constexpr int kLabelHeight = 255;
inline constexpr int kButtonLabelSize = 255;

// Display step, split step; the first pass splits by the same rule. Centring is the caller's.
void applyStartupLayout(PanelLayout& layout, LineSays graphicLine, LineSays splitLine);
// The settings dialog's "Split ICMP and Web": the left edge stays, the width changes.
void applySplit(PanelLayout& layout, bool graphic, bool web);
// The settings dialog's "Graphic Display": nothing moves.
void applyDisplayMode(PanelLayout& layout, bool graphic, bool web);
// Left edge, in twips, of a panel centred on a screen of the given width.
int centredLeft(int screenWidth, int panelWidth);

} // namespace courivane
