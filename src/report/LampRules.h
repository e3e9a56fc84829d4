#pragma once

#include <QList>
#include <QString>

#include <array>

namespace courivane {

// The eight lamps in panel order; the first seven are also the services in column order.
enum Lamp : int {
    IcmpLamp = 0,
    WebLamp,
    Pop3Lamp,
    SmtpLamp,
    ReceiveLamp,
    SendLamp,
    RylLamp,
    ConnectionLamp,
};
inline constexpr int kLampCount = 8;

// What each lamp is called where it shows: the panel's caption, the page's column head (the
// Con lamp has none), the label of the notice and the plug-in, the performance-data label.
struct LampNames {
    const char* caption;
    const char* column;
    const char* label;
    const char* perf;
    const char* title; // the lamp's tooltip and accessible name
};
const LampNames& lampNames(Lamp lamp);

enum class LampColour { Green, Red, Orange, White };

// Which of the two passes ends: the start-up pass or a timed poll cycle.
enum class PassKind { Startup, Cycle };

// Per lamp its state, failure list and previous failure list; per service a failure counter
// (the Ryl lamp has none: its slot stays 0).
struct LampResults {
    std::array<LampColour, kLampCount> states{
        LampColour::Green, LampColour::Green, LampColour::Green, LampColour::Green,
        LampColour::Green, LampColour::Green, LampColour::Green, LampColour::Green};
    std::array<QString, kLampCount> failureLists;
    std::array<QString, kLampCount> previousFailureLists;
    std::array<int, kLampCount> counters{};
};

// Start of a pass: states green, lists and counters empty; previous lists are kept.
void Reset(LampResults& lamps);
// A Fail verdict (or a failed fetch, for the Connection lamp).
void recordFailure(LampResults& lamps, Lamp lamp, const QString& company);
// A Warning verdict: green turns orange, red stays red.
void recordWarning(LampResults& lamps, Lamp lamp);
// End of a pass: the failure lists become the previous ones.
void Remember(LampResults& lamps);

std::array<LampColour, kLampCount> renderColours(const LampResults& lamps);

// A blink to start: the lamp, and whether its red or its orange timer runs.
struct Blink {
    Lamp lamp;
    LampColour colour;
    bool operator==(const Blink&) const = default;
};
QList<Blink> blinksToStart(PassKind kind, const LampResults& lamps);

// What the lamps show at the end of a pass, decided here; what is heard, the alert rules
// decide (AlertRules.h).
struct EndOfPass {
    PassKind kind = PassKind::Cycle;
    std::array<LampColour, kLampCount> colours{};
    QList<Blink> blinks;
};
EndOfPass decideEndOfPass(PassKind kind, const LampResults& lamps);

// The ten blink timers: Timer3 to Timer10 blink the lamps red, Timer11 and Timer12 blink the
// Receive and Send lamps orange. The Send lamp's red blink is the short one.
struct BlinkTimerSpec {
    int number; // Timer3 to Timer12
    Lamp lamp;
    LampColour colour;
    int tickLimit;
};
inline constexpr int kBlinkTimerCount = 10;
const std::array<BlinkTimerSpec, kBlinkTimerCount>& blinkTimers();
// The index in blinkTimers() of the timer that blinks the lamp in the colour.
int blinkTimerIndex(Lamp lamp, LampColour colour);

// A blink group: tick counter and phase, shared by the red and orange timers of one lamp.
struct BlinkGroup {
    int counter = 0;
    int phase = 1;
};
struct BlinkStep {
    LampColour show;
    bool stop;
};
// Starts (or restarts) a blink from white.
void startBlink(BlinkGroup& group);
// One tick of a blink timer of the given colour and tick limit.
BlinkStep blinkTick(BlinkGroup& group, LampColour timerColour, int tickLimit);

} // namespace courivane
