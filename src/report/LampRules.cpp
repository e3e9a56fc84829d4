#include "report/LampRules.h"

#include <algorithm>

namespace courivane {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

const LampNames& lampNames(Lamp lamp) {
    static constexpr LampNames kNames[kLampCount] = {
        {"ICMP", "ICMP", "ICMP", "icmp", "ICMP"},
        {"Web", "WEB", "Web", "web", "Web Server"},
        {"POP3", "POP3", "POP3", "pop3", "POP3 Server"},
        {"SMTP", "SMTP", "SMTP", "smtp", "SMTP Server"},
        {"Receive", "Receive", "Receive", "receive", "Receive Status"},
        {"Send", "Send", "Send", "send", "Send Status"},
        {"Ryl", "Ryl", "Ryl", "ryl", "Ryl Status"},
        {"Con", "", "Connection", "connection", "Connection"},
    };
    return kNames[lamp];
}

void Reset(LampResults& lamps) {
    lamps.states.fill(LampColour::Green);
    for (QString& list : lamps.failureLists)
        list.clear();
    lamps.counters.fill(0);
}

void recordFailure(LampResults& lamps, Lamp lamp, const QString& company) {
    lamps.failureLists[lamp] += company + kCrLf;
    lamps.states[lamp] = LampColour::Red;
    if (lamp != RylLamp)
        ++lamps.counters[lamp];
}

void recordWarning(LampResults& lamps, Lamp lamp) {
    if (lamps.states[lamp] == LampColour::Green)
        lamps.states[lamp] = LampColour::Orange;
}

void Remember(LampResults& lamps) {
    lamps.previousFailureLists = lamps.failureLists;
}

std::array<LampColour, kLampCount> renderColours(const LampResults& lamps) {
    return lamps.states;
}

namespace {
// Receive and Send blink orange; another lamp can be orange, but has no orange blink.
bool hasOrangeBlink(Lamp lamp) {
    const auto& timers = blinkTimers();
    return std::any_of(timers.begin(), timers.end(), [lamp](const BlinkTimerSpec& t) {
        return t.lamp == lamp && t.colour == LampColour::Orange;
    });
}
} // namespace

QList<Blink> blinksToStart(PassKind kind, const LampResults& lamps) {
    QList<Blink> blinks;
    for (int i = 0; i < kLampCount; ++i) {
        const Lamp lamp = static_cast<Lamp>(i);
        if (kind == PassKind::Startup) {
            if (lamps.states[i] == LampColour::Red)
                blinks.append({lamp, LampColour::Red});
            else if (lamps.states[i] == LampColour::Orange && hasOrangeBlink(lamp))
                blinks.append({lamp, LampColour::Orange});
        } else if (!lamps.failureLists[i].isEmpty() &&
                   lamps.failureLists[i] != lamps.previousFailureLists[i]) {
            blinks.append({lamp, LampColour::Red});
        }
    }
    return blinks;
}

EndOfPass decideEndOfPass(PassKind kind, const LampResults& lamps) {
    EndOfPass end;
    end.kind = kind;
    end.colours = renderColours(lamps);
    end.blinks = blinksToStart(kind, lamps);
    return end;
}

const std::array<BlinkTimerSpec, kBlinkTimerCount>& blinkTimers() {
    static constexpr std::array<BlinkTimerSpec, kBlinkTimerCount> kTimers = {{
        {3, IcmpLamp, LampColour::Red, 8},
        {4, WebLamp, LampColour::Red, 8},
        {5, Pop3Lamp, LampColour::Red, 8},
        {6, SmtpLamp, LampColour::Red, 8},
        {7, ReceiveLamp, LampColour::Red, 8},
        {8, SendLamp, LampColour::Red, 4},
        {9, RylLamp, LampColour::Red, 8},
        {10, ConnectionLamp, LampColour::Red, 8},
        {11, ReceiveLamp, LampColour::Orange, 8},
        {12, SendLamp, LampColour::Orange, 8},
    }};
    return kTimers;
}

int blinkTimerIndex(Lamp lamp, LampColour colour) {
    const auto& timers = blinkTimers();
    for (int i = 0; i < kBlinkTimerCount; ++i)
        if (timers[i].lamp == lamp && timers[i].colour == colour)
            return i;
    return blinkTimerIndex(lamp, LampColour::Red); // every lamp has a red timer
}

void startBlink(BlinkGroup& group) {
    group.counter = 0;
    group.phase = 1;
}

BlinkStep blinkTick(BlinkGroup& group, LampColour timerColour, int tickLimit) {
    ++group.counter;
    const LampColour show = group.phase == 1 ? LampColour::White : timerColour;
    group.phase = group.phase == 1 ? 0 : 1;
    return {show, group.counter == tickLimit};
}

} // namespace courivane
