#include "ui/Platform.h"

namespace courivane {

PlatformChoice choosePlatform(const QByteArray& qtQpaPlatform, const QByteArray& waylandDisplay,
                              const QByteArray& display) {
    if (!qtQpaPlatform.isEmpty() || waylandDisplay.isEmpty())
        return {};
    if (!display.isEmpty()) {
        return {"xcb",
                QStringLiteral("courivane: a Wayland desktop does not let the panel place itself "
                               "or stay above other windows, so it runs on X11 through XWayland "
                               "(set QT_QPA_PLATFORM to choose otherwise)."),
                {}};
    }
    return {{},
            QStringLiteral("courivane: no X11 display (XWayland) was found; running on Wayland, "
                           "where the panel cannot position itself."),
            QStringLiteral("This desktop runs Wayland without X11: the panel cannot position "
                           "itself or stay above other windows here. Install XWayland to have it "
                           "float at the top of the screen.")};
}

} // namespace courivane
