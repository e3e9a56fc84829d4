// What is heard: new failures once, flapping, acknowledgements, snoozes and reminders, pass by
// pass, with the clock handed in.
#include "report/AlertRules.h"
#include "report/NoticeText.h"

#include "TestFiles.h"

using namespace courivane;
using namespace courivane::testing;

namespace {

const QDateTime kStart = QDateTime({2026, 12, 7}, {9, 0}, Qt::UTC);
const QString kReason = QStringLiteral("HTTP 404 Not Found");

QDateTime minute(double m) {
    return kStart.addMSecs(qint64(m * 60'000));
}

Lamp lampOf(const QString& perf) {
    for (int lamp = 0; lamp < kLampCount; ++lamp)
        if (perf == QLatin1String(lampNames(Lamp(lamp)).perf))
            return Lamp(lamp);
    qFatal("no lamp %s", qPrintable(perf));
}
QString perfOf(Lamp lamp) {
    return QString::fromLatin1(lampNames(lamp).perf);
}

// "smtp:A connection:B" as failures; B's connection fails for kReason.
QList<Failure> failures(const QStringList& words) {
    QList<Failure> list;
    for (const QString& w : words) {
        const Lamp lamp = lampOf(w.section(u':', 0, 0));
        list.append({w.section(u':', 1), lamp, lamp == ConnectionLamp ? kReason : QString()});
    }
    return list;
}

std::array<int, kLampCount> countersOf(const QList<Failure>& list) {
    std::array<int, kLampCount> counters{};
    for (const Failure& f : list)
        if (f.lamp != RylLamp)
            ++counters[f.lamp];
    return counters;
}

// A script of passes split by "|": the minute of the pass and its failures, each pass led by
// actions taken at its minute: "!ack A" (until OK), "!ack A 60" (for 60 minutes), "!snooze A
// 30", "!ackall", "!unack A", "!kept A" (an SMTP acknowledgement the history kept).
// Each pass gives what was heard ("A smtp"), what started or stopped flapping ("A smtp
// flapping", "A smtp calm"), what was reminded ("remind A smtp"), the marks that ended
// ("ended A <why>"), ", " between them, "-" for nothing.
QStringList run(const QString& script, int remindMinutes = 0) {
    AlertBook book;
    QStringList out;
    for (const QString& pass : script.split(u'|')) {
        QStringList words = pass.split(u' ', Qt::SkipEmptyParts);
        while (!words.isEmpty() && words.front().startsWith(u'!')) {
            const QString action = words.takeFirst();
            if (action == QLatin1String("!ackall")) {
                book.acknowledgeAll(minute(words.front().toDouble()));
                continue;
            }
            const QString company = words.takeFirst();
            // Minutes it lasts, where two numbers follow; then the minute of the pass.
            bool two = false;
            if (words.size() > 1)
                words[1].toDouble(&two);
            const double span = two ? words.takeFirst().toDouble() : 0;
            const QDateTime at = minute(words.front().toDouble());
            const QDateTime until = two ? at.addSecs(qint64(span * 60)) : QDateTime();
            if (action == QLatin1String("!ack"))
                book.acknowledge(company, {}, until, at);
            else if (action == QLatin1String("!snooze"))
                book.snooze(company, until, {}, at);
            else if (action == QLatin1String("!unack"))
                book.end(MarkKind::Acknowledged, company, at);
            else if (action == QLatin1String("!kept"))
                book.load({{MarkKind::Acknowledged,
                            company,
                            1u << SmtpLamp,
                            {},
                            minute(-1),
                            {},
                            {},
                            {}}});
        }
        const double at = words.takeFirst().toDouble();
        words.removeAll(QStringLiteral("-"));
        const QList<Failure> now = failures(words);
        const AlertDecision d =
            book.endOfPass({}, countersOf(now), now, minute(at), {true, true, true, remindMinutes});
        QStringList said;
        for (const Failure& f : d.heard)
            said << f.company + u' ' + perfOf(f.lamp);
        for (const QString& line : d.flapLines)
            said << QString(line)
                        .replace(QStringLiteral(": "), QStringLiteral(" "))
                        .replace(QStringLiteral(" is no longer flapping"), QStringLiteral(" calm"))
                        .replace(QStringLiteral(" is flapping"), QStringLiteral(" flapping"))
                        .toLower()
                        .replace(QStringLiteral("a "), QStringLiteral("A "));
        for (const Failure& f : d.reminded)
            said << QStringLiteral("remind ") + f.company + u' ' + perfOf(f.lamp);
        for (const AlertMark& m : d.ended)
            said << QStringLiteral("ended ") + m.company + u' ' + m.endedWhy;
        // A sound and a notice exactly when something is heard or reminded; a notice alone
        // for flapping.
        const bool alarm = !d.heard.isEmpty() || !d.reminded.isEmpty();
        if (d.playSound != alarm || d.showNotice != (alarm || !d.flapLines.isEmpty()))
            said << QStringLiteral("WRONG SOUND OR NOTICE");
        out << (said.isEmpty() ? QStringLiteral("-") : said.join(QStringLiteral(", ")));
    }
    return out;
}

// clang-format off
const std::tuple<const char*, const char*, int, const char*> kScripts[] = {
    {"a new failure is heard once", "0 smtp:A|1 smtp:A|2 smtp:A pop3:A|3 smtp:A pop3:A smtp:B", 0,
     "A smtp|-|A pop3|B smtp"},
    {"a failure that cleared and came back is new", "0 smtp:A|1 -|2 smtp:A", 0,
     "A smtp|-|A smtp"},
    {"a green lamp is no alarm", "0 smtp:A smtp:B|1 smtp:A", 0, "A smtp, B smtp|-"},
    {"flapping starts at the fourth change, in place of the failure",
     "0 smtp:A|1 -|2 smtp:A|3 -|4 smtp:A|5 -|6 smtp:A|7 -", 0,
     "A smtp|-|A smtp|-|A smtp flapping|-|-|-"},
    {"two changes are no flapping", "0 -|1 smtp:A|2 -|3 -|4 -", 0, "-|A smtp|-|-|-"},
    {"flapping stops below the low share; a failure then is heard",
     "0 smtp:A|1 -|2 smtp:A|3 -|4 smtp:A|5 -|6 -|7 -|8 -|9 -|10 -|11 -|12 -|13 -|14 -|15 -|16 -|"
     "17 -|18 -|19 -|20 -|21 -|22 -|23 -|24 smtp:A",
     0, "A smtp|-|A smtp|-|A smtp flapping|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|A smtp calm|A smtp"},
    {"a server not reached: its services neither flap nor are new again",
     "0 smtp:A|1 connection:A|2 smtp:A|3 connection:A|4 smtp:A|5 smtp:A", 0,
     "A smtp|A connection|-|A connection|A connection flapping|-"},
    {"acknowledged: quiet through its flaps, heard on another service",
     "0 smtp:A|!ack A 1 -|2 smtp:A|3 -|4 smtp:A|5 smtp:A pop3:A", 0, "A smtp|-|-|-|-|A pop3"},
    {"acknowledged: ends after 5 minutes OK, then a failure is heard",
     "0 smtp:A|!ack A 1 -|3 -|5.9 -|6 -|7 smtp:A", 0,
     "A smtp|-|-|-|ended A OK for 5 minutes|A smtp"},
    {"acknowledged: a failure in between starts the 5 minutes again",
     "0 smtp:A|!ack A 1 -|4 smtp:A|5 -|9 -|10 -", 0, "A smtp|-|-|-|-|ended A OK for 5 minutes"},
    {"acknowledged: unreachable is not OK", "0 smtp:A|!ack A 1 connection:A|7 connection:A|8 -",
     0, "A smtp|A connection|-|-"},
    {"acknowledged: ends at its expiry and the failure is heard again",
     "0 smtp:A|!ack A 60 1 smtp:A|30 smtp:A|61 smtp:A|62 smtp:A", 0,
     "A smtp|-|-|A smtp, ended A expired|-"},
    {"acknowledged: ended by hand, the failure is heard again",
     "0 smtp:A|!ack A 1 smtp:A|!unack A 2 smtp:A", 0, "A smtp|-|A smtp"},
    {"acknowledged before a restart: not heard at start-up", "!kept A 0 smtp:A|1 smtp:A pop3:A",
     0, "-|A pop3"},
    {"acknowledge all: another company is new", "0 smtp:A connection:B|!ackall 1 smtp:A "
     "connection:B|2 smtp:A connection:B smtp:C", 0, "A smtp, B connection|-|C smtp"},
    {"snoozed: quiet until its end, then a failure present is heard",
     "0 -|!snooze A 30 1 smtp:A|10 smtp:A|31 smtp:A|32 smtp:A", 0,
     "-|-|-|A smtp, ended A expired|-"},
    {"snoozed: a flap is silent too", "!snooze A 60 0 smtp:A|1 -|2 smtp:A|3 -|4 smtp:A", 0,
     "-|-|-|-|-"},
    {"reminders every 5 minutes while not acknowledged",
     "0 smtp:A|2 smtp:A|5 smtp:A|7 smtp:A|10 smtp:A|!ack A 11 smtp:A|20 smtp:A", 5,
     "A smtp|-|remind A smtp|-|remind A smtp|-|-"},
    {"a reminder names only what is not acknowledged",
     "0 smtp:A smtp:B|!ack A 1 smtp:A smtp:B|5 smtp:A smtp:B", 5, "A smtp, B smtp|-|remind B smtp"},
    {"no reminders when off", "0 smtp:A|30 smtp:A|60 smtp:A", 0, "A smtp|-|-"},
};

// New failures as the script words them; the notice that goes with them.
const std::tuple<const char*, const char*, const char*> kNoticeTexts[] = {
    {"one", "smtp:Granite Works",
     "Failed Services!\r\nSMTP:          1\r\nGranite Works: SMTP failed"},
    {"three", "smtp:A connection:Maple Ltd ryl:C",
     "Failed Services!\r\nSMTP:          1\r\nConnection: 1\r\nA: SMTP failed\r\n"
     "Maple Ltd: unreachable (HTTP 404 Not Found)\r\nC: Ryl failed"},
    {"five", "icmp:A icmp:B pop3:C send:D receive:E",
     "Failed Services!\r\nICMP:          2\r\nPOP3:          1\r\nReceive:      1\r\n"
     "Send:           1\r\nA: ICMP failed\r\nB: ICMP failed\r\nC: POP3 failed\r\nand 2 more"},
    {"a name cannot break the notice", "smtp:Evil\x1b[2J\nLtd",
     "Failed Services!\r\nSMTP:          1\r\nEvil\xEF\xBF\xBD[2J\xEF\xBF\xBDLtd: SMTP failed"},
};
// clang-format on

} // namespace

class TestAlerts : public QObject {
    Q_OBJECT
private slots:
    void scripts_data() { addRows(kScripts); }
    void scripts() {
        const auto& [name, script, remind, expected] = currentRow(kScripts);
        QCOMPARE(run(QString::fromLatin1(script), remind).join(u'|'),
                 QString::fromLatin1(expected));
    }

    void noticeTexts_data() { addRows(kNoticeTexts); }
    void noticeTexts() {
        const auto& [name, words, text] = currentRow(kNoticeTexts);
        // A failure a word, though a name may hold blanks.
        QList<Failure> now;
        for (const QString& w :
             QString::fromUtf8(words).split(QRegularExpression(" (?=[a-z0-9]+:)")))
            now << failures({w});
        AlertBook book;
        const AlertDecision d = book.endOfPass({}, countersOf(now), now, kStart, {});
        QVERIFY(d.playSound && d.showNotice);
        QCOMPARE(d.noticeText, QString::fromUtf8(text));
    }

    // The lamps' decisions: a lamp whose failures are all acknowledged shows dim and does not
    // blink; one with a new company beside them blinks and is not dim.
    void lampsFollowTheMarks() {
        AlertBook book;
        const QList<Failure> first = failures({"smtp:A", "pop3:A"});
        book.endOfPass({}, countersOf(first), first, kStart, {});
        book.acknowledge(QStringLiteral("A"), QStringLiteral("called them"), {}, kStart);
        const QList<Failure> next = failures({"smtp:A", "pop3:A", "pop3:B"});
        EndOfPass end;
        end.blinks = {{SmtpLamp, LampColour::Red}, {Pop3Lamp, LampColour::Red}};
        const AlertDecision d = book.endOfPass(end, countersOf(next), next, minute(1), {});
        QVERIFY(d.dimmed[SmtpLamp] && !d.dimmed[Pop3Lamp]);
        QCOMPARE(d.blinks, (QList<Blink>{{Pop3Lamp, LampColour::Red}}));
        QCOMPARE(book.lampNote(QStringLiteral("A"), SmtpLamp, minute(1)),
                 QStringLiteral("acknowledged"));
        QVERIFY2(book.rowNote(QStringLiteral("A"), minute(1))
                     .endsWith(QStringLiteral(" (POP3/SMTP) until OK: called them")),
                 qPrintable(book.rowNote(QStringLiteral("A"), minute(1))));
        // Acknowledging all takes the rest and leaves what a mark keeps as it is.
        QCOMPARE(book.acknowledgeAll(minute(2)).size(), 1);
        QCOMPARE(book.mark(MarkKind::Acknowledged, "A")->comment, "called them");
        QVERIFY(book.mark(MarkKind::Acknowledged, "B")->covers(Pop3Lamp));
        // A snooze dims up to its end, not at it.
        AlertBook snoozed;
        const QList<Failure> b = failures({"smtp:B"});
        snoozed.endOfPass({}, countersOf(b), b, kStart, {});
        snoozed.snooze(QStringLiteral("B"), minute(10), {}, kStart);
        QVERIFY(snoozed.dimmed(minute(9))[SmtpLamp] && !snoozed.dimmed(minute(10))[SmtpLamp]);
    }

    // The figures: a failure that clears is about 12 %; flapping starts above 20 % and stops
    // below 10 %.
    void flapShares() {
        FlapTrack track;
        QList<double> shares;
        for (const bool failing : {true, false, true, false, true}) {
            addPass(track, failing);
            shares << std::round(flapShare(track) * 10) / 10;
        }
        QCOMPARE(shares, (QList<double>{0, 6.0, 11.9, 17.7, 23.4}));
        QVERIFY(track.flapping);
        // Changes 0, 2, 17 and 19 passes ago weigh exactly 20 %: not yet flapping.
        FlapTrack edge{(1u << 19) | (((1u << 15) - 1) << 2), kFlapPasses - 1, false};
        QCOMPARE(addPass(edge, true), FlapChange::None);
        QCOMPARE(flapShare(edge), kFlapStartShare);
    }
};

QTEST_GUILESS_MAIN(TestAlerts)
#include "tst_alerts.moc"
