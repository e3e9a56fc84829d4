#pragma once

#include "report/LampCompanies.h"
#include "report/LampRules.h"

#include <QList>
#include <QString>

#include <array>

namespace courivane {

// What the panel shows of one lamp.
struct LampView {
    LampColour colour = LampColour::White;
    // Red, but nothing on it is heard: every failure acknowledged or snoozed. Never blinks.
    bool dimmed = false;
    QString title;       // "SMTP Server": the tooltip's first line and the accessible name
    QString tooltip;     // the title, then who fails and who warns on it
    QString description; // as a screen reader says it: "failing, 2 companies"
};

// The finished view of the last pass for the panel and the tray: everything decided, so that each
// window only shows what it is given.
struct PassView {
    std::array<LampView, kLampCount> lamps;
    QList<Blink> blinks; // to start now; none on a dimmed lamp
    TrayState tray = TrayState::Waiting;
    QStringList trayLines;
};

// What the lamps and the tray show. Before the first pass has ended (`passEnded` false) the
// lamps are as given, the tray waits, and the tooltips name no company.
PassView passView(const std::array<LampColour, kLampCount>& colours, const QList<Blink>& blinks,
                  const LampCompanies& companies, const std::array<bool, kLampCount>& dimmed,
                  bool passEnded);

} // namespace courivane
