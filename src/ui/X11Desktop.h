#pragma once

class QWindow;

namespace courivane {

// What the window manager is asked for through the desktop conventions of X11 (EWMH); on any
// other platform these do nothing.
namespace x11 {

// The window shows on every virtual desktop.
void showOnAllDesktops(QWindow* window);
// A window on another virtual desktop comes to the current one.
void moveToCurrentDesktop(QWindow* window);
// A minimised (iconic) window is restored, as the window manager last left it.
void restoreIfIconic(QWindow* window);

} // namespace x11
} // namespace courivane
