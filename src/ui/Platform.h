#pragma once

#include <QByteArray>
#include <QString>

namespace courivane {

// Which windowing platform the monitor asks Qt for, and what it tells the user about it.
struct PlatformChoice {
    QByteArray platform;  // for QT_QPA_PLATFORM; empty leaves Qt's own choice
    QString terminalNote; // said once on stderr
    QString pageNote;     // said once in red above the summary page
};

// The panel must place itself and stay above other windows, which a Wayland compositor does
// not allow: on a Wayland session the monitor runs on X11 through XWayland when it can, and
// says so; without an X11 display it runs on Wayland and says what that costs. A platform the
// user chose is left alone.
PlatformChoice choosePlatform(const QByteArray& qtQpaPlatform, const QByteArray& waylandDisplay,
                              const QByteArray& display);

} // namespace courivane
