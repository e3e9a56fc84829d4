#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>

namespace courivane {

// Windows colour values are 0xBBGGRR: blue in the high byte.
QColor fromWindowsColour(quint32 bgr);

inline constexpr quint32 kMagenta = 0xFF00FF;
inline constexpr quint32 kCaptionGreen = 0x00FF00;
inline constexpr quint32 kCaptionRed = 0x0000FF;
// A red lamp whose failures are all acknowledged.
inline constexpr quint32 kCaptionDimRed = 0x000080;
inline constexpr quint32 kCaptionOrange = 0x0080FF;
inline constexpr quint32 kCaptionWhite = 0xFFFFFF;
inline constexpr quint32 kButtonGrey = 0x808080;

// A round 24 by 24 lamp in the colour, with magenta corners that the panel leaves out.
QImage lampImage(const QColor& colour);
// The lamps' look before the first pass: an amber lamp on a grey ground.
QImage designLampImage();
// The 25 by 25 settings and status buttons, with magenta corners.
QImage settingsButtonImage();
QImage statusButtonImage();
// The tray icon: one round lamp in the colour, on a transparent ground.
QImage trayImage(const QColor& colour, int size);
// The program icon at the given size.
QImage programIcon(int size);

} // namespace courivane
