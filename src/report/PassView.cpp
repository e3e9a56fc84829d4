#include "report/PassView.h"

#include "report/Reply.h"

namespace courivane {

PassView passView(const std::array<LampColour, kLampCount>& colours, const QList<Blink>& blinks,
                  const LampCompanies& companies, const std::array<bool, kLampCount>& dimmed,
                  bool passEnded) {
    static const LampCompanies none;
    const LampCompanies& named = passEnded ? companies : none;
    PassView view;
    bool anyDimmed = false;
    for (int i = 0; i < kLampCount; ++i) {
        const auto lamp = static_cast<Lamp>(i);
        LampView& v = view.lamps[i];
        v.colour = colours[i];
        v.dimmed = dimmed[i] && colours[i] == LampColour::Red;
        anyDimmed = anyDimmed || v.dimmed;
        v.title = QString::fromLatin1(lampNames(lamp).title);
        v.tooltip = tooltipText(lampTooltipLines(v.title, lamp, named));
        v.description = lampDescription(v.colour, lamp, named, v.dimmed);
    }
    for (const Blink& blink : blinks)
        if (!view.lamps[blink.lamp].dimmed)
            view.blinks << blink;
    view.tray = passEnded ? trayState(colours) : TrayState::Waiting;
    view.trayLines = trayTooltipLines(view.tray, named, anyDimmed);
    return view;
}

} // namespace courivane
