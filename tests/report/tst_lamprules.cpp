#include "report/LampRules.h"
#include "report/NoticeText.h"

#include <QTest>

using namespace courivane;

using Failures = QList<std::pair<Lamp, QString>>;

namespace {

LampResults afterPass(const Failures& failures,
                      const std::array<QString, kLampCount>& previous = {}) {
    LampResults lamps;
    lamps.previousFailureLists = previous;
    Reset(lamps);
    for (const auto& [lamp, company] : failures)
        recordFailure(lamps, lamp, company);
    return lamps;
}

} // namespace

class TestLampRules : public QObject {
    Q_OBJECT
private slots:
    void resetKeepsPreviousLists() {
        LampResults lamps = afterPass({{SmtpLamp, "A"}});
        Remember(lamps);
        Reset(lamps);
        QCOMPARE(lamps.states[SmtpLamp], kStateGreen);
        QCOMPARE(lamps.failureLists[SmtpLamp], QString());
        QCOMPARE(lamps.counters[SmtpLamp], 0);
        QCOMPARE(lamps.previousFailureLists[SmtpLamp], QStringLiteral("A\r\n"));
    }

    void warningNeverLowersRed() {
        LampResults lamps;
        recordFailure(lamps, ReceiveLamp, "A");
        recordWarning(lamps, ReceiveLamp);
        QCOMPARE(lamps.states[ReceiveLamp], kStateRed);
        recordWarning(lamps, SendLamp);
        recordFailure(lamps, SendLamp, "B");
        QCOMPARE(lamps.states[SendLamp], kStateRed);
    }

    void cycleDecisions_data() {
        QTest::addColumn<Failures>("failures");
        QTest::addColumn<QStringList>("previous"); // per lamp
        QTest::addColumn<QList<Blink>>("blinks");
        QTest::addColumn<bool>("alert");
        const QStringList none(kLampCount);
        QStringList smtpA = none;
        smtpA[SmtpLamp] = "A\r\n";
        QStringList smtpAIcmpB = smtpA;
        smtpAIcmpB[IcmpLamp] = "B\r\n";
        QTest::newRow("new failure blinks and alerts")
            << Failures{{SmtpLamp, "A"}} << none << QList<Blink>{{SmtpLamp, LampColour::Red}}
            << true;
        QTest::newRow("same failures again: nothing")
            << Failures{{SmtpLamp, "A"}} << smtpA << QList<Blink>{} << false;
        QTest::newRow("a lamp turns green, another stays red: alert, no blink")
            << Failures{{SmtpLamp, "A"}} << smtpAIcmpB << QList<Blink>{} << true;
        QTest::newRow("a company joins a red lamp")
            << Failures{{SmtpLamp, "A"}, {SmtpLamp, "C"}} << smtpA
            << QList<Blink>{{SmtpLamp, LampColour::Red}} << true;
        QTest::newRow("all green after red: no alert")
            << Failures{} << smtpA << QList<Blink>{} << false;
        QTest::newRow("only Ryl: alert without a counter")
            << Failures{{RylLamp, "A"}} << none << QList<Blink>{{RylLamp, LampColour::Red}} << true;
    }
    void cycleDecisions() {
        QFETCH(Failures, failures);
        QFETCH(QStringList, previous);
        std::array<QString, kLampCount> prev;
        for (int i = 0; i < kLampCount; ++i)
            prev[i] = previous.at(i);
        const LampResults lamps = afterPass(failures, prev);
        QTEST(blinksToStart(PassKind::Cycle, lamps), "blinks");
        QTEST(alertCondition(PassKind::Cycle, lamps), "alert");
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

    void soundAndNoticeFollowTheirFlags_data() {
        QTest::addColumn<QString>("sound");
        QTest::addColumn<QString>("popups");
        QTest::addColumn<bool>("playSound");
        QTest::addColumn<bool>("showNotice");
        QTest::newRow("both") << "YES"
                              << "YES" << true << true;
        QTest::newRow("notice without sound") << "NO"
                                              << "YES" << false << true;
        QTest::newRow("sound without notice") << "YES"
                                              << "NO" << true << false;
        QTest::newRow("lower case is off") << "yes"
                                           << "Yes" << false << false;
    }
    void soundAndNoticeFollowTheirFlags() {
        QFETCH(QString, sound);
        QFETCH(QString, popups);
        const EndOfPass end =
            decideEndOfPass(PassKind::Startup, afterPass({{Pop3Lamp, "A"}}), 1, sound, popups);
        QTEST(end.playSound, "playSound");
        QTEST(end.showNotice, "showNotice");
    }

    void blinkSequence_data() {
        QTest::addColumn<int>("lamp");
        QTest::addColumn<int>("colour");
        QTest::addColumn<int>("timer");
        QTest::addColumn<int>("ticks");
        QTest::newRow("ICMP red") << int(IcmpLamp) << int(LampColour::Red) << 3 << 8;
        QTest::newRow("Send red is short") << int(SendLamp) << int(LampColour::Red) << 8 << 4;
        QTest::newRow("Con red") << int(ConnectionLamp) << int(LampColour::Red) << 10 << 8;
        QTest::newRow("Receive orange") << int(ReceiveLamp) << int(LampColour::Orange) << 11 << 8;
        QTest::newRow("Send orange") << int(SendLamp) << int(LampColour::Orange) << 12 << 8;
    }
    void blinkSequence() {
        QFETCH(int, lamp);
        QFETCH(int, colour);
        QFETCH(int, ticks);
        const BlinkTimerSpec& timer =
            blinkTimers()[blinkTimerIndex(Lamp(lamp), LampColour(colour))];
        QTEST(timer.number, "timer");
        QCOMPARE(timer.tickLimit, ticks);
        BlinkGroup group{5, 0};
        startBlink(group);
        QList<LampColour> shown;
        for (;;) {
            const BlinkStep step = blinkTick(group, timer.colour, timer.tickLimit);
            shown << step.show;
            if (step.stop)
                break;
        }
        QCOMPARE(shown.size(), ticks);
        QCOMPARE(shown.first(), LampColour::White);
        QCOMPARE(shown.last(), timer.colour);
    }

    void notice_data() {
        QTest::addColumn<QList<int>>(
            "counters"); // ICMP, Web, POP3, SMTP, Receive, Send, Ryl, Connection
        QTest::addColumn<int>("split");
        QTest::addColumn<QString>("text");
        QTest::newRow("SMTP and Connection")
            << QList<int>{0, 0, 0, 2, 0, 0, 0, 1} << 1
            << "Failed Services!\r\nSMTP:          2\r\nConnection: 1";
        QTest::newRow("only Ryl: the headline alone")
            << QList<int>{0, 0, 0, 0, 0, 0, 0, 0} << 1 << "Failed Services!";
        QTest::newRow("no Web line without the split")
            << QList<int>{0, 3, 0, 0, 0, 0, 0, 0} << 0 << "Failed Services!";
        QTest::newRow("every label, ten and more")
            << QList<int>{10, 1, 2, 3, 4, 5, 0, 123} << 1
            << "Failed Services!\r\nICMP:          10\r\nWeb:           1\r\nPOP3:          2\r\n"
               "SMTP:          3\r\nReceive:      4\r\nSend:           5\r\nConnection: 123";
    }
    void notice() {
        QFETCH(QList<int>, counters);
        QFETCH(int, split);
        std::array<int, kLampCount> c{};
        for (int i = 0; i < kLampCount; ++i)
            c[i] = counters.at(i);
        QTEST(noticeText(c, split), "text");
    }
};

QTEST_GUILESS_MAIN(TestLampRules)
#include "tst_lamprules.moc"
