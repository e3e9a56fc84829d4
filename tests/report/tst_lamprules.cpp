#include "report/LampRules.h"
#include "report/NoticeText.h"

#include "TestFiles.h"

using namespace courivane;
using namespace courivane::testing;

namespace {

using Failures = QList<std::pair<Lamp, QString>>;

// A pass with these failures after a pass whose SMTP and ICMP lists were `previous`.
LampResults afterPass(const Failures& failures, const QString& smtp = {},
                      const QString& icmp = {}) {
    LampResults lamps;
    lamps.previousFailureLists[SmtpLamp] = smtp;
    lamps.previousFailureLists[IcmpLamp] = icmp;
    Reset(lamps);
    for (const auto& [lamp, company] : failures)
        recordFailure(lamps, lamp, company);
    return lamps;
}

const Blink kSmtpRed{SmtpLamp, LampColour::Red};

const struct {
    const char* name;
    Failures failures;
    const char* smtp; // the lists of the pass before
    const char* icmp;
    QList<Blink> blinks;
    bool alert;
} kCycles[] = {
    {"new failure blinks and alerts", {{SmtpLamp, "A"}}, "", "", {kSmtpRed}, true},
    {"same failures again: nothing", {{SmtpLamp, "A"}}, "A\r\n", "", {}, false},
    {"a lamp turns green, another stays red: alert, no blink",
     {{SmtpLamp, "A"}},
     "A\r\n",
     "B\r\n",
     {},
     true},
    {"a company joins a red lamp",
     {{SmtpLamp, "A"}, {SmtpLamp, "C"}},
     "A\r\n",
     "",
     {kSmtpRed},
     true},
    {"all green after red: no alert", {}, "A\r\n", "", {}, false},
    {"only Ryl: alert without a counter",
     {{RylLamp, "A"}},
     "",
     "",
     {{RylLamp, LampColour::Red}},
     true},
};

const struct {
    const char* name;
    Lamp lamp;
    LampColour colour;
    int timer;
    int ticks;
} kBlinks[] = {
    {"ICMP red", IcmpLamp, LampColour::Red, 3, 8},
    {"Send red is short", SendLamp, LampColour::Red, 8, 4},
    {"Con red", ConnectionLamp, LampColour::Red, 10, 8},
    {"Receive orange", ReceiveLamp, LampColour::Orange, 11, 8},
    {"Send orange", SendLamp, LampColour::Orange, 12, 8},
};

const struct {
    const char* name;
    std::array<int, kLampCount> counters; // ICMP, Web, POP3, SMTP, Receive, Send, Ryl, Connection
    int split;
    const char* text;
} kNotices[] = {
    {"SMTP and Connection",
     {0, 0, 0, 2, 0, 0, 0, 1},
     1,
     "Failed Services!\r\nSMTP:          2\r\nConnection: 1"},
    {"only Ryl: the headline alone", {}, 1, "Failed Services!"},
    {"no Web line without the split", {0, 3, 0, 0, 0, 0, 0, 0}, 0, "Failed Services!"},
    {"every label, ten and more",
     {10, 1, 2, 3, 4, 5, 0, 123},
     1,
     "Failed Services!\r\nICMP:          10\r\nWeb:           1\r\nPOP3:          2\r\n"
     "SMTP:          3\r\nReceive:      4\r\nSend:           5\r\nConnection: 123"},
};

} // namespace

class TestLampRules : public QObject {
    Q_OBJECT
private slots:
    void resetKeepsPreviousListsAndWarningsNeverLowerRed() {
        LampResults lamps = afterPass({{SmtpLamp, "A"}});
        Remember(lamps);
        Reset(lamps);
        QCOMPARE(lamps.states[SmtpLamp], kStateGreen);
        QCOMPARE(lamps.failureLists[SmtpLamp], QString());
        QCOMPARE(lamps.counters[SmtpLamp], 0);
        QCOMPARE(lamps.previousFailureLists[SmtpLamp], QStringLiteral("A\r\n"));
        recordFailure(lamps, ReceiveLamp, "A");
        recordWarning(lamps, ReceiveLamp);
        recordWarning(lamps, SendLamp);
        recordFailure(lamps, SendLamp, "B");
        QCOMPARE(lamps.states[ReceiveLamp], kStateRed);
        QCOMPARE(lamps.states[SendLamp], kStateRed);
    }

    void cycleDecisions_data() { addRows(kCycles); }
    void cycleDecisions() {
        const auto& r = currentRow(kCycles);
        const LampResults lamps = afterPass(r.failures, r.smtp, r.icmp);
        QCOMPARE(blinksToStart(PassKind::Cycle, lamps), r.blinks);
        QCOMPARE(alertCondition(PassKind::Cycle, lamps), r.alert);
    }

    void startupBlinksRedAndOrange() {
        LampResults lamps = afterPass({{WebLamp, "A"}});
        recordWarning(lamps, ReceiveLamp);
        QCOMPARE(blinksToStart(PassKind::Startup, lamps),
                 (QList<Blink>{{WebLamp, LampColour::Red}, {ReceiveLamp, LampColour::Orange}}));
        QVERIFY(alertCondition(PassKind::Startup, lamps));
        // An orange lamp alone neither alerts at start-up nor blinks in a cycle.
        LampResults orange;
        recordWarning(orange, SendLamp);
        QVERIFY(!alertCondition(PassKind::Startup, orange));
        QVERIFY(blinksToStart(PassKind::Cycle, orange).isEmpty());
        QCOMPARE(renderColours(orange)[SendLamp], LampColour::Orange);
    }

    void soundAndNoticeFollowTheirFlags() {
        // Only the exact word turns either on.
        for (const auto& [sound, popups] :
             {std::pair{"YES", "NO"}, {"NO", "YES"}, {"yes", "Yes"}}) {
            const EndOfPass end =
                decideEndOfPass(PassKind::Startup, afterPass({{Pop3Lamp, "A"}}), 1, sound, popups);
            QCOMPARE(end.playSound, QByteArray(sound) == "YES");
            QCOMPARE(end.showNotice, QByteArray(popups) == "YES");
        }
    }

    void blinkSequence_data() { addRows(kBlinks); }
    void blinkSequence() {
        const auto& r = currentRow(kBlinks);
        const BlinkTimerSpec& timer = blinkTimers()[blinkTimerIndex(r.lamp, r.colour)];
        QCOMPARE(timer.number, r.timer);
        QCOMPARE(timer.tickLimit, r.ticks);
        BlinkGroup group{5, 0};
        startBlink(group);
        QList<LampColour> shown;
        for (bool stop = false; !stop;) {
            const BlinkStep step = blinkTick(group, timer.colour, timer.tickLimit);
            shown << step.show;
            stop = step.stop;
        }
        QCOMPARE(shown.size(), r.ticks);
        QCOMPARE(shown.first(), LampColour::White);
        QCOMPARE(shown.last(), timer.colour);
    }

    void notice_data() { addRows(kNotices); }
    void notice() {
        const auto& r = currentRow(kNotices);
        QCOMPARE(noticeText(r.counters, r.split), QString::fromLatin1(r.text));
    }
};

QTEST_GUILESS_MAIN(TestLampRules)
#include "tst_lamprules.moc"
