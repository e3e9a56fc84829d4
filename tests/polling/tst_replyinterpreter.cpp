#include "config/OptionsFile.h"
#include "polling/ReplyInterpreter.h"
#include "report/LampCompanies.h"
#include "report/Severity.h"

#include "FakeMonitorServer.h"
#include "TestFiles.h"

#include <QTimeZone>

#include <ctime>

using namespace courivane;
using namespace courivane::testing;

namespace {

const QByteArray kTime = "2026-07-01 12:00:00";
QByteArray combined(const char* fields) {
    return FakeMonitorServer::combinedStatus(fields, kTime);
}
QByteArray split(const char* fields) {
    return FakeMonitorServer::splitStatus(fields, kTime);
}
QByteArray http(const QByteArray& body) {
    return FakeMonitorServer::httpReply(body);
}

// A reply's verdicts in column order, one letter each: O(K), F(ail), B(lank), U(nknown),
// W(arning).
QString verdicts(const Reply& reply) {
    QString letters;
    for (const ServiceVerdict& s : reply.services)
        letters += QLatin1Char("OFBUWN"[int(s.verdict)]);
    return letters;
}

const char* const kShownTime = "01/07/2026 14:00:00";
const char* const kNoTime = "Error Connecting!";
const QByteArray kEcho = "HTTP/1.0 200 OK\r\nContent-Location: /status/cherylStatus.txt\r\n"
                         "Content-Type: text/plain\r\n\r\n";
const QByteArray kNotFound =
    "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\n<html><body><h1>Not Found</h1><p>The "
    "requested URL /status/cherylStatus.txt was not found on this server.</p></body></html>\r\n";

// Combined fields in file order: ICMP, POP3, Receive, SMTP, Ryl, Send; the split ones: ICMP,
// Web, POP3, Receive, SMTP, Ryl, Send. Cells in column order: ICMP, (Web,) POP3, SMTP, Receive,
// Send, Ryl.
const std::tuple<const char*, QByteArray, int, const char*, const char*> kReplies[] = {
    {"combined all OK", http(combined("111111")), 0, kShownTime, "OOOOOO"},
    {"combined: each position to its column", http(combined("102314")), 0, kShownTime, "OFUBWO"},
    {"split: each position to its column", http(split("1034201")), 1, kShownTime, "OFUBWOF"},
    {"values a service does not handle are Unknown", http(combined("3114x4")), 0, kShownTime,
     "UOUOWU"},
    {"marker in another case", http(combined("101111").replace("RylStatus", "RYLSTATUS")), 0,
     kShownTime, "OFOOOO"},
    {"header echo, combined", kEcho + combined("111011"), 0, kShownTime, "OOFOOO"},
    {"header echo, split", kEcho + split("1111011"), 1, kShownTime, "OOOFOOO"},
    {"marker at the first byte, no head", combined("111011"), 0, kShownTime, "OOFOOO"},
    {"combined, exactly long enough", combined("111111").chopped(2), 0, kShownTime, "OOOOOO"},
    {"split, exactly long enough", split("1111111").chopped(2), 1, kShownTime, "OOOOOOO"},
    {"other case, exactly long enough",
     combined("111111").replace("RylStatus", "RYLSTATUS").chopped(2), 0, kShownTime, "OOOOOO"},
    {"no data", {}, 0, kNoTime, ""},
    {"error page without marker", FakeMonitorServer::httpReply("<h1>x</h1>", "404 Not Found"), 0,
     kNoTime, ""},
    {"cut short", "RylStatus\r\n1\r\n1\r\n1", 0, kNoTime, ""},
    {"combined status read as split", combined("111111").chopped(2), 1, kNoTime, ""},
    {"404 page echoing the URL, combined", kNotFound, 0, kNoTime, ""},
    {"404 page echoing the URL, split", QByteArray(kNotFound).replace("cherylS", "cheryls"), 1,
     kNoTime, ""},
    {"head that never ends has no body", "HTTP/1.0 200 OK\r\nX: " + combined("111011"), 0, kNoTime,
     ""},
    {"combined, one byte short", combined("111111").chopped(3), 0, kNoTime, ""},
    {"split, one byte short", split("1111111").chopped(3), 1, kNoTime, ""},
    {"other case without CR LF between the lines",
     combined("111111").replace("RylStatus", "RYLSTATUS").replace("\r\n", "\n\n"), 0, kNoTime, ""},
    {"other case, one byte short", combined("111111").replace("RylStatus", "RYLSTATUS").chopped(3),
     0, kNoTime, ""},
};

// A reply with an HTTP status line; the reason it fails, or none.
const std::tuple<const char*, QByteArray, const char*> kHttpErrors[] = {
    {"404 echoing the path",
     QByteArray(kNotFound).replace("cherylStatus.txt", "xRylStatus.txt" + combined("111111")),
     "HTTP 404 Not Found"},
    {"500 without text", "HTTP/1.1 500\r\n\r\n" + combined("111111"), "HTTP 500"},
    {"control bytes in the text", "HTTP/1.0 503 \x1b[2JBusy\r\n\r\n", "HTTP 503 [2JBusy"},
    {"200 with a status", http(combined("111111")), ""},
    {"204 is 2xx", FakeMonitorServer::httpReply(combined("111111"), "204 X"), ""},
    {"no code after the version", "HTTP/1.0 OK!\r\n\r\n" + combined("111111"), ""},
    {"two blanks before the code", "HTTP/1.0  500 Internal Error\r\n\r\n" + combined("111111"),
     "HTTP 500 Internal Error"},
    {"a tab before the code", "HTTP/1.1\t502\tBad Gateway\r\n\r\n" + combined("111111"),
     "HTTP 502 Bad Gateway"},
    // No server should write it so; a reply that says it failed is not read as a status.
    {"in lower case", "http/1.0 500 oops\r\n\r\n" + combined("111111"), "HTTP 500 oops"},
    {"four digits are no code", "HTTP/1.0 5000 X\r\n\r\n" + combined("111111"), ""},
};

// A reply in chunks, as some servers send even to HTTP/1.0; the verdicts, or the reason it fails.
const QByteArray kChunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
const std::tuple<const char*, QByteArray, const char*> kChunked[] = {
    // Cut between the ICMP and POP3 fields: read in place, POP3 would be the size line's digit.
    {"cut inside the fields",
     kChunkedHead + "e\r\nRylStatus\r\n0\r\n\r\n" +
         QByteArray::number(combined("011111").size() - 14, 16) + "\r\n" +
         combined("011111").mid(14) + "\r\n0\r\n\r\n",
     "FOOOOO"},
    {"extensions, LF only, the last chunk not yet come",
     "HTTP/1.1 200 OK\ntransfer-encoding: Chunked\n\n5;x=y\nRylSt\n" +
         QByteArray::number(combined("111011").size() - 5, 16) + "\n" + combined("111011").mid(5),
     "OOFOOO"},
    {"a size that is no number", kChunkedHead + "zz\r\n" + combined("111111"),
     "the reply's chunks are malformed"},
    {"a chunk longer than it said", kChunkedHead + "3\r\nRylStatus\r\n",
     "the reply's chunks are malformed"},
};

// ICMP, SMTP and Ryl verdicts (O(K), F(ail), B(lank), U(nknown), W(arning)), whether the status
// is stale; the worst by the one rule, and the row class it files.
const std::tuple<const char*, const char*, bool, Severity, RowClass> kSeverities[] = {
    {"a failure outranks a state not known", "UFU", false, Severity::Fail, RowFailed},
    {"not known outranks a warning", "WUO", false, Severity::Unknown, RowWarning},
    {"a warning outranks OK", "OWB", false, Severity::Warning, RowWarning},
    {"OK outranks blank", "BOB", false, Severity::Ok, RowOk},
    {"nothing monitored", "BBB", false, Severity::Blank, RowOk},
    {"stale warns on Ryl", "OOO", true, Severity::Warning, RowWarning},
    {"stale does not soften a failure of Ryl", "OOF", true, Severity::Fail, RowFailed},
};

// The status's time, the rule's limit in minutes (0: off), and whether it is stale; now is
// 12:31:00 UTC.
const std::tuple<const char*, QByteArray, int, bool> kStale[] = {
    {"31 minutes old", "2026-07-01 12:00:00", 30, true},
    {"29 minutes old", "2026-07-01 12:02:00", 30, false},
    {"just 30 minutes old", "2026-07-01 12:01:00", 30, false},
    {"6 minutes ahead", "2026-07-01 12:37:00", 30, true},
    {"4 minutes ahead", "2026-07-01 12:35:00", 30, false},
    {"just 5 minutes ahead", "2026-07-01 12:36:00", 30, false},
    {"unreadable", "2026-07-01 12:3x:00", 30, true},
    {"rule off", "2026-07-01 12:00:00", 0, false},
    {"unreadable, rule off", "yesterday at noon..", 0, false},
};

// A reply and its split flag; per lamp (ICMP, Web, POP3, SMTP, Receive, Send, Ryl, Connection)
// G(reen), R(ed) or O(range), and its failure counter.
const std::tuple<const char*, QByteArray, int, const char*, const char*> kLamps[] = {
    {"split: each field to its lamp", split("1010101"), 1, "GRGGRGRG", "01001000"},
    {"combined: a warning", combined("114111"), 0, "GGGGOGGG", "00000000"},
    {"unknown values turn green lamps orange", combined("3434x4"), 0, "OGOOOOOG", "00000000"},
    {"a failure outranks unknown", combined("333033"), 0, "OGOROOOG", "00010000"},
    {"no status is the connection's failure", {}, 0, "GGGGGGGR", "00000001"},
};

// Where the body starts; -2: at the X.
const std::tuple<const char*, QByteArray, int> kBodies[] = {
    {"CR LF CR LF", "HTTP/1.0 200 OK\r\nA: b\r\n\r\nX", -2},
    {"LF LF", "HTTP/1.0 200 OK\nA: b\n\nX", -2},
    {"LF LF ends the data", "HTTP/1.0 200 OK\n\n", 17},
    {"LF CR without LF is no empty line", "HTTP/1.0 200 OK\n\rA\r\n\r\nX", -2},
    {"head not ended yet", "HTTP/1.0 200 OK\r\nA: b\r\n\r", -1},
    {"too short to tell", "HTT", -1},
    {"short, but no status line", "Ryl", 0},
    {"no status line: from the start", "RylStatus", 0},
    {"HTTP/ not at the start", " HTTP/1.0 200 OK\r\n\r\n", 0},
    {"a status line in lower case", "http/1.0 200 OK\r\nA: b\r\n\r\nX", -2},
};

const QDateTime kT(QDate(2026, 3, 4), QTime(5, 6, 7), QTimeZone::utc());
const QLocale kGb(QLocale::English, QLocale::UnitedKingdom);
const QLocale kUs(QLocale::English, QLocale::UnitedStates);
const std::tuple<const char*, const char*, QLocale, QDateTime> kTimes[] = {
    {"iso", "2026-03-04 05:06:07", kGb, kT},
    {"year first with slashes", "2026/03/04 05:06:07", kUs, kT},
    {"day first where the locale has it", "04/03/2026 05:06:07", kGb, kT},
    {"day first with dots", "04.03.2026 05:06:07", kGb, kT},
    {"month first where the locale has it", "03-04-2026 05:06:07", kUs, kT},
    {"no such day", "2026-02-30 05:06:07", kGb, {}},
    {"no time", "2026-03-04         ", kGb, {}},
    {"mixed separators", "2026-03/04 05:06:07", kGb, {}},
    {"T between date and time", "2026-03-04T05:06:07", kGb, {}},
    {"nines", "2019-09-29 19:59:59", kGb, {{2019, 9, 29}, {19, 59, 59}, QTimeZone::utc()}},
    {"a letter for a digit", "2026-03-04 05:o6:07", kGb, {}},
    {"a letter in the year", "2O26-03-04 05:06:07", kGb, {}},
    {"a letter above the digits", "2026-03-04 05:0A:07", kGb, {}},
    {"mixed separators, year last", "04/03-2026 05:06:07", kGb, {}},
    {"hour 24", "2026-03-04 24:00:00", kGb, {}},
};

// Summer time starts at 01:00 UTC on the last Sunday of March and ends there in October. The
// UTC time, the local time, both as "yyyy-MM-dd hh:mm".
const std::tuple<const char*, const char*, const char*> kZones[] = {
    {"winter", "2026-01-15 12:00", "2026-01-15 13:00"},
    {"before the spring change", "2026-03-29 00:59", "2026-03-29 01:59"},
    {"after the spring change", "2026-03-29 01:00", "2026-03-29 03:00"},
    {"before the autumn change", "2026-10-25 00:59", "2026-10-25 02:59"},
    {"after the autumn change", "2026-10-25 01:00", "2026-10-25 02:00"},
};

} // namespace

class TestReplyInterpreter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Central European time, with its daylight-saving rule, independent of tzdata.
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        tzset();
        QLocale::setDefault(kGb);
    }

    void replies_data() { addRows(kReplies); }
    void replies() {
        const auto& [name, data, split, time, letters] = currentRow(kReplies);
        const Reply reply = interpretReply(data, split);
        QCOMPARE(reply.failed, time == kNoTime);
        QCOMPARE(verdicts(reply), QString::fromLatin1(letters));
        if (!reply.failed) // the server's UTC in local time, as the locale writes it
            QCOMPARE(formatLocalTime(reply.updated), QString::fromLatin1(time));
    }

    void rowClasses() {
        // Unknown ("3", or a value the service does not handle) is a warning; a failure wins.
        const QList<std::pair<const char*, RowClass>> classes = {
            {"111111", RowOk},      {"114111", RowWarning}, {"111114", RowWarning},
            {"114110", RowFailed},  {"111101", RowFailed},  {"221222", RowOk},
            {"333333", RowWarning}, {"111411", RowWarning}, {"333303", RowFailed}};
        for (const auto& [fields, rowClass] : classes)
            QCOMPARE(rowClassOf(interpretReply(combined(fields), 0)), rowClass);
        Reply stale = interpretReply(combined("111111"), 0);
        stale.stale = true;
        QCOMPARE(rowClassOf(stale), RowWarning);
    }

    void anHttpErrorIsNoStatus_data() { addRows(kHttpErrors); }
    void anHttpErrorIsNoStatus() {
        const auto& [name, data, reason] = currentRow(kHttpErrors);
        const Reply reply = interpretReply(data, 0);
        QCOMPARE(reply.failed, *reason != 0);
        QCOMPARE(reply.reason, QString::fromLatin1(reason));
    }

    void chunksAreJoined_data() { addRows(kChunked); }
    void chunksAreJoined() {
        const auto& [name, data, expected] = currentRow(kChunked);
        const Reply reply = interpretReply(data, 0);
        QCOMPARE(reply.failed ? reply.reason : verdicts(reply), QString::fromLatin1(expected));
    }

    void oneRuleOfHowBad_data() { addRows(kSeverities); }
    void oneRuleOfHowBad() {
        const auto& [name, letters, stale, worst, rowClass] = currentRow(kSeverities);
        Reply reply;
        reply.stale = stale;
        const Lamp services[] = {IcmpLamp, SmtpLamp, RylLamp};
        for (int i = 0; i < 3; ++i)
            reply.services.append(
                {services[i], Verdict(QByteArrayView("OFBUW").indexOf(letters[i]))});
        QCOMPARE(worstOf(reply), worst);
        QCOMPARE(rowClassOf(reply), rowClass);
        // The lamps and the companies named on them follow the same rule, service by service.
        LampResults lamps;
        applyToLamps(lamps, "A", reply);
        const std::array<LampColour, kLampCount> colours = renderColours(lamps);
        const LampCompanies named = lampCompanies({{"A", {}, rowClass, reply, {}, {}, {}, {}}});
        for (const ServiceSeverity& s : serviceSeverities(reply)) {
            const bool fails = s.severity == Severity::Fail;
            const bool warns = !fails && s.severity >= Severity::Warning;
            QCOMPARE(colours[s.service], fails   ? LampColour::Red
                                         : warns ? LampColour::Orange
                                                 : LampColour::Green);
            QCOMPARE(named.failing[s.service].contains("A"), fails);
            QCOMPARE(named.warning[s.service].contains("A"), warns);
        }
    }

    void staleStatuses_data() { addRows(kStale); }
    void staleStatuses() {
        const auto& [name, time, minutes, stale] = currentRow(kStale);
        Reply reply = interpretReply(FakeMonitorServer::combinedStatus("111111", time), 0);
        markStale(reply, QDateTime(QDate(2026, 7, 1), QTime(12, 31), QTimeZone::utc()), minutes);
        QCOMPARE(reply.stale, stale);
        LampResults lamps;
        applyToLamps(lamps, "A", reply);
        QCOMPARE(lamps.states[RylLamp], stale ? LampColour::Orange : LampColour::Green);
    }

    void lamps_data() { addRows(kLamps); }
    void lamps() {
        const auto& [name, data, split, colours, counters] = currentRow(kLamps);
        LampResults lamps;
        applyToLamps(lamps, "A", interpretReply(data, split));
        const std::array<LampColour, kLampCount> shown = renderColours(lamps);
        for (int lamp = 0; lamp < kLampCount; ++lamp) {
            QCOMPARE("GRO"[int(shown[lamp])], colours[lamp]);
            QCOMPARE(lamps.counters[lamp], counters[lamp] - '0');
            QCOMPARE(lamps.failureLists[lamp], colours[lamp] == 'R' ? "A\r\n" : "");
        }
    }

    void whereTheBodyStarts_data() { addRows(kBodies); }
    void whereTheBodyStarts() {
        const auto& [name, data, body] = currentRow(kBodies);
        QCOMPARE(bodyStart(data), body == -2 ? data.indexOf('X') : body);
    }

    void theMarkerIsFoundPieceByPiece() {
        // At the first byte; and after a head that holds the marker before its empty line.
        for (const QByteArray& data :
             {combined("111111"), "HTTP/1.0 200 OK\r\nX: RylStatus\r\n\r\n" + combined("111111")}) {
            const qsizetype at = data.lastIndexOf(kMarker);
            MarkerSearch search;
            for (qsizetype end = 1; end <= data.size(); ++end)
                QCOMPARE(search.feed(data.left(end)), end < at + kMarker.size() ? -1 : at);
        }
    }

    void anUnparseableTimeIsKeptAsSent() {
        const Reply reply =
            interpretReply(FakeMonitorServer::combinedStatus("111111", "<b>not a time</b>&."), 0);
        QVERIFY(!reply.failed && !reply.updated.isValid());
        QCOMPARE(reply.updateText, QStringLiteral("<b>not a time</b>&."));
    }

    void timeForms_data() { addRows(kTimes); }
    void timeForms() {
        const auto& [name, text, locale, utc] = currentRow(kTimes);
        QCOMPARE(parseUpdateTime(text, locale), utc);
    }

    void utcToLocalFollowsDaylightSaving_data() { addRows(kZones); }
    void utcToLocalFollowsDaylightSaving() {
        const auto& [name, utc, local] = currentRow(kZones);
        const QString form = QStringLiteral("yyyy-MM-dd hh:mm");
        QDateTime t = QDateTime::fromString(utc, form);
        t.setTimeZone(QTimeZone::utc());
        QCOMPARE(UTCtoLocal(t).toString(form), QString(local));
    }

    void localTimeIsShortDateAndSeconds() {
        const QDateTime t(QDate(2026, 7, 1), QTime(14, 5, 9));
        QCOMPARE(formatLocalTime(t, kGb), QStringLiteral("01/07/2026 14:05:09"));
        // As Debian 12's locale data writes it: a blank before PM.
        QCOMPARE(formatLocalTime(t, kUs), QStringLiteral("7/1/26 2:05:09 PM"));
        QCOMPARE(formatLocalTime(t.addDays(1), kUs), QStringLiteral("7/2/26 2:05:09 PM"));
    }
};

QTEST_GUILESS_MAIN(TestReplyInterpreter)
#include "tst_replyinterpreter.moc"
