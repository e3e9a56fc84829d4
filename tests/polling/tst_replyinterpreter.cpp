#include "polling/ReplyInterpreter.h"
#include "report/SummaryPage.h"

#include "FakeMonitorServer.h"

#include <QTest>
#include <QTimeZone>

#include <ctime>

using namespace courivane;
using courivane::testing::FakeMonitorServer;

namespace {

const QString kOk = QStringLiteral("<td bgcolor=#33ff66 align=center>OK</td>");
const QString kFail = QStringLiteral("<td bgcolor=#ff3333 align=center>FAIL!</td>");
const QString kBlank = QStringLiteral("<td bgcolor=#cccccc align=center></td>");
const QString kUnknown = QStringLiteral("<td bgcolor=#ff9900 align=center>Unknown!</td>");
const QString kWarning = QStringLiteral("<td bgcolor=#ff9900 align=center>Warning!</td>");
const QString kNoData = QStringLiteral("<td bgcolor=#ff9900 align=center></td>");

// The cells a reply gives its row, between the company cell and the Log cell.
QString rowCells(const Reply& reply, int splitFlag) {
    const QString row =
        SummaryPage::rowHtml({QStringLiteral("C"), QStringLiteral("L"), RowOk, reply}, splitFlag);
    const QString head = QStringLiteral("<tr><td bgcolor=#ccccff>C</td>");
    const QString tail = QStringLiteral("<td><a href=L target=_blank>Log</a></td></tr>");
    return row.mid(head.size(), row.size() - head.size() - tail.size());
}

QByteArray combined(const char* fields, const QByteArray& time = "2026-07-01 12:00:00") {
    return FakeMonitorServer::httpReply(FakeMonitorServer::combinedStatus(fields, time));
}
QByteArray split(const char* fields, const QByteArray& time = "2026-07-01 12:00:00") {
    return FakeMonitorServer::httpReply(FakeMonitorServer::splitStatus(fields, time));
}

} // namespace

class TestReplyInterpreter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Central European time, with its daylight-saving rule, independent of tzdata.
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        tzset();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    }

    void cellsInColumnOrder_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("splitFlag");
        QTest::addColumn<QStringList>("cells");
        // Combined fields in file order: ICMP, POP3, Receive, SMTP, Ryl, Send.
        QTest::newRow("combined all OK")
            << combined("111111") << 0 << QStringList{kOk, kOk, kOk, kOk, kOk, kOk};
        QTest::newRow("combined: each position to its column")
            << combined("102314")
            << 0
            // ICMP 1, POP3 0, SMTP 3, Receive 2, Send 4, Ryl 1
            << QStringList{kOk, kFail, kUnknown, kBlank, kWarning, kOk};
        // Split fields in file order: ICMP, Web, POP3, Receive, SMTP, Ryl, Send.
        QTest::newRow("split: each position to its column")
            << split("1034201")
            << 1
            // ICMP 1, Web 0, POP3 3, SMTP 2, Receive 4, Send 1, Ryl 0
            << QStringList{kOk, kFail, kUnknown, kBlank, kWarning, kOk, kFail};
        QTest::newRow("values a service does not handle are Unknown")
            << combined("3114x4")
            << 0
            // ICMP 3, POP3 1, SMTP 4, Receive 1, Send 4, Ryl x
            << QStringList{kUnknown, kOk, kUnknown, kOk, kWarning, kUnknown};
    }
    void cellsInColumnOrder() {
        QFETCH(QByteArray, data);
        QFETCH(int, splitFlag);
        QFETCH(QStringList, cells);
        const Reply reply = interpretReply(data, splitFlag);
        QVERIFY(!reply.failed);
        QCOMPARE(rowCells(reply, splitFlag),
                 QStringLiteral("<td align=center>01/07/2026 14:00:00</td>") +
                     cells.join(QString()));
    }

    void rowClass_data() {
        QTest::addColumn<QByteArray>("fields");
        QTest::addColumn<int>("rowClass");
        QTest::newRow("all OK") << QByteArray("111111") << 1;
        QTest::newRow("Receive warning") << QByteArray("114111") << 2;
        QTest::newRow("Send warning") << QByteArray("111114") << 2;
        QTest::newRow("warning and failure") << QByteArray("114110") << 3;
        QTest::newRow("Ryl failure") << QByteArray("111101") << 3;
        QTest::newRow("unknown and blank") << QByteArray("231321") << 1;
        QTest::newRow("unhandled 4 in SMTP") << QByteArray("111411") << 1;
    }
    void rowClass() {
        QFETCH(QByteArray, fields);
        QTEST(rowClassOf(interpretReply(combined(fields.constData()), 0)), "rowClass");
    }

    void lampUpdates() {
        LampResults lamps;
        // Receive warning first, then a Receive failure: red whatever the order.
        applyToLamps(lamps, QStringLiteral("A"), interpretReply(split("1114111"), 1));
        QCOMPARE(lamps.states[ReceiveLamp], kStateOrange);
        applyToLamps(lamps, QStringLiteral("B"), interpretReply(split("1010101"), 1));
        applyToLamps(lamps, QStringLiteral("C"), interpretReply(split("1114111"), 1));
        QCOMPARE(lamps.states[ReceiveLamp], kStateRed);
        QCOMPARE(lamps.states[WebLamp], kStateRed);
        QCOMPARE(lamps.failureLists[WebLamp], QStringLiteral("B\r\n"));
        QCOMPARE(lamps.counters[WebLamp], 1);
        QCOMPARE(lamps.states[RylLamp], kStateRed);
        QCOMPARE(lamps.failureLists[RylLamp], QStringLiteral("B\r\n"));
        QCOMPARE(lamps.counters[RylLamp], 0);
        QCOMPARE(lamps.states[IcmpLamp], kStateGreen);
        QCOMPARE(lamps.states[SendLamp], kStateGreen);
        applyToLamps(lamps, QStringLiteral("D"), failedReply(QStringLiteral("refused")));
        QCOMPARE(lamps.states[ConnectionLamp], kStateRed);
        QCOMPARE(lamps.failureLists[ConnectionLamp], QStringLiteral("D\r\n"));
        QCOMPARE(lamps.counters[ConnectionLamp], 1);
    }

    void unknownValuesChangeNoLamp() {
        LampResults lamps;
        applyToLamps(lamps, QStringLiteral("A"), interpretReply(combined("3434x4"), 0));
        QCOMPARE(lamps.states[IcmpLamp], kStateGreen);
        QCOMPARE(lamps.states[SmtpLamp], kStateGreen);
        QCOMPARE(lamps.states[RylLamp], kStateGreen);
        QCOMPARE(lamps.states[SendLamp], kStateOrange);
    }

    void failedReplies_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("splitFlag");
        QTest::newRow("no data") << QByteArray() << 0;
        QTest::newRow("error page without marker")
            << FakeMonitorServer::httpReply("<h1>Not found</h1>", "404 Not Found") << 0;
        QTest::newRow("cut short") << QByteArray("RylStatus\r\n1\r\n1\r\n1") << 0;
        QTest::newRow("combined status read as split")
            << FakeMonitorServer::combinedStatus("111111", "2026-07-01 12:00:00").chopped(2) << 1;
    }
    void failedReplies() {
        QFETCH(QByteArray, data);
        QFETCH(int, splitFlag);
        const Reply reply = interpretReply(data, splitFlag);
        QVERIFY(reply.failed);
        const QString expected = QStringLiteral("<td align=center>Error Connecting!</td>") +
                                 kNoData.repeated(splitFlag == 1 ? 7 : 6);
        QCOMPARE(rowCells(reply, splitFlag), expected);
    }

    void markerInAnyCaseIsReadFromThatOccurrence() {
        QByteArray body = FakeMonitorServer::combinedStatus("101111", "2026-07-01 12:00:00");
        body.replace("RylStatus", "RYLSTATUS");
        const Reply reply = interpretReply(FakeMonitorServer::httpReply(body), 0);
        QVERIFY(!reply.failed);
        QCOMPARE(reply.services.at(1), (ServiceVerdict{Pop3Lamp, Verdict::Fail}));
    }

    void markerIsReadFromTheStatusNotFromAnEcho_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("splitFlag");
        QTest::addColumn<bool>("failed");
        const QByteArray echo = "HTTP/1.0 200 OK\r\nContent-Location: /status/cherylStatus.txt\r\n"
                                "Content-Type: text/plain\r\n\r\n";
        const QByteArray notFound =
            "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\n<html><body><h1>Not "
            "Found</h1><p>The requested URL /status/cherylStatus.txt was not found on this "
            "server.</p></body></html>\r\n";
        // SMTP fails in each status below.
        QTest::newRow("header echo, combined")
            << echo + FakeMonitorServer::combinedStatus("111011", "2026-07-01 12:00:00") << 0
            << false;
        QTest::newRow("header echo, split")
            << echo + FakeMonitorServer::splitStatus("1111011", "2026-07-01 12:00:00") << 1
            << false;
        QTest::newRow("404 page echoing the URL, combined") << notFound << 0 << true;
        QTest::newRow("404 page echoing the URL, split")
            << QByteArray(notFound).replace("cherylStatus", "cherylstatus") << 1 << true;
        QTest::newRow("marker at the first byte, no head")
            << FakeMonitorServer::combinedStatus("111011", "2026-07-01 12:00:00") << 0 << false;
        QTest::newRow("head that never ends has no body")
            << "HTTP/1.0 200 OK\r\nX: " +
                   FakeMonitorServer::combinedStatus("111011", "2026-07-01 12:00:00")
            << 0 << true;
    }
    void markerIsReadFromTheStatusNotFromAnEcho() {
        QFETCH(QByteArray, data);
        QFETCH(int, splitFlag);
        const Reply reply = interpretReply(data, splitFlag);
        QTEST(reply.failed, "failed");
        if (!reply.failed) {
            const qsizetype smtp = splitFlag == 1 ? 3 : 2;
            QCOMPARE(reply.services.at(smtp), (ServiceVerdict{SmtpLamp, Verdict::Fail}));
            QCOMPARE(reply.services.size(), splitFlag == 1 ? 7 : 6);
        }
    }

    void whereTheBodyStarts_data() {
        // The body starts at the X where a row has one.
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("body");
        QTest::newRow("CR LF CR LF") << QByteArray("HTTP/1.0 200 OK\r\nA: b\r\n\r\nX") << -2;
        QTest::newRow("LF LF") << QByteArray("HTTP/1.0 200 OK\nA: b\n\nX") << -2;
        QTest::newRow("LF CR without LF is no empty line")
            << QByteArray("HTTP/1.0 200 OK\n\rA\r\n\r\nX") << -2;
        QTest::newRow("head not ended yet") << QByteArray("HTTP/1.0 200 OK\r\nA: b\r\n\r") << -1;
        QTest::newRow("too short to tell") << QByteArray("HTT") << -1;
        QTest::newRow("no status line: from the start") << QByteArray("RylStatus") << 0;
        QTest::newRow("HTTP/ not at the start") << QByteArray(" HTTP/1.0 200 OK\r\n\r\n") << 0;
    }
    void whereTheBodyStarts() {
        QFETCH(QByteArray, data);
        QFETCH(int, body);
        QCOMPARE(int(bodyStart(data)), body == -2 ? int(data.indexOf('X')) : body);
    }

    void aMarkerAtTheFirstByteIsFoundPieceByPiece() {
        const QByteArray status =
            FakeMonitorServer::combinedStatus("111111", "2026-07-01 12:00:00");
        MarkerSearch search;
        for (qsizetype end = 1; end <= status.size(); ++end)
            QCOMPARE(search.feed(status.left(end)), end < kMarker.size() ? -1 : 0);
    }

    void lengthAtTheEdgeOfTheLayout_data() {
        QTest::addColumn<int>("splitFlag");
        QTest::addColumn<int>("cut");
        QTest::addColumn<bool>("failed");
        // The status texts end in CR LF after the time: cutting 2 leaves exactly the layout.
        QTest::newRow("combined, exactly long enough") << 0 << 2 << false;
        QTest::newRow("combined, one byte short") << 0 << 3 << true;
        QTest::newRow("split, exactly long enough") << 1 << 2 << false;
        QTest::newRow("split, one byte short") << 1 << 3 << true;
        // The marker in another letter case is held to its layout just the same.
        QTest::newRow("other case, exactly long enough") << 0 << -2 << false;
        QTest::newRow("other case, one byte short") << 0 << -3 << true;
    }
    void lengthAtTheEdgeOfTheLayout() {
        QFETCH(int, splitFlag);
        QFETCH(int, cut);
        QByteArray status =
            splitFlag == 1 ? FakeMonitorServer::splitStatus("1111111", "2026-07-01 12:00:00")
                           : FakeMonitorServer::combinedStatus("111111", "2026-07-01 12:00:00");
        if (cut < 0) { // a negative cut: the same, with the marker in capitals
            status.replace("RylStatus", "RYLSTATUS");
            cut = -cut;
        }
        QTEST(interpretReply(status.chopped(cut), splitFlag).failed, "failed");
    }

    void unparseableTimeIsShownEscaped() {
        const Reply reply = interpretReply(combined("111111", "<b>not a time</b>&."), 0);
        QVERIFY(!reply.failed);
        QCOMPARE(SummaryPage::lastUpdateHtml(reply),
                 QStringLiteral("&lt;b&gt;not a time&lt;/b&gt;&amp;."));
        QCOMPARE(reply.services.size(), 6);
    }

    void timeForms_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QDateTime>("utc");
        const QDateTime t(QDate(2026, 3, 4), QTime(5, 6, 7), QTimeZone::utc());
        const QLocale gb(QLocale::English, QLocale::UnitedKingdom);
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("iso") << "2026-03-04 05:06:07" << gb << t;
        QTest::newRow("year first with slashes") << "2026/03/04 05:06:07" << us << t;
        QTest::newRow("day first where the locale has it") << "04/03/2026 05:06:07" << gb << t;
        QTest::newRow("day first with dots") << "04.03.2026 05:06:07" << gb << t;
        QTest::newRow("month first where the locale has it") << "03-04-2026 05:06:07" << us << t;
        QTest::newRow("no such day") << "2026-02-30 05:06:07" << gb << QDateTime();
        QTest::newRow("no time") << "2026-03-04         " << gb << QDateTime();
        QTest::newRow("mixed separators") << "2026-03/04 05:06:07" << gb << QDateTime();
        QTest::newRow("T between date and time") << "2026-03-04T05:06:07" << gb << QDateTime();
        QTest::newRow("a letter for a digit") << "2026-03-04 05:o6:07" << gb << QDateTime();
        QTest::newRow("a letter above the digits") << "2026-03-04 05:0A:07" << gb << QDateTime();
        QTest::newRow("mixed separators, year last") << "04/03-2026 05:06:07" << gb << QDateTime();
        QTest::newRow("hour 24") << "2026-03-04 24:00:00" << gb << QDateTime();
    }
    void timeForms() {
        QFETCH(QString, text);
        QFETCH(QLocale, locale);
        QTEST(parseUpdateTime(text, locale), "utc");
    }

    void utcToLocalFollowsDaylightSaving_data() {
        QTest::addColumn<QDateTime>("utc");
        QTest::addColumn<QDateTime>("local");
        auto utc = [](int y, int mo, int d, int h, int mi) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi), QTimeZone::utc());
        };
        auto local = [](int y, int mo, int d, int h, int mi) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi));
        };
        // Summer time starts at 01:00 UTC on the last Sunday of March, ends there in October.
        QTest::newRow("winter") << utc(2026, 1, 15, 12, 0) << local(2026, 1, 15, 13, 0);
        QTest::newRow("before the spring change")
            << utc(2026, 3, 29, 0, 59) << local(2026, 3, 29, 1, 59);
        QTest::newRow("after the spring change")
            << utc(2026, 3, 29, 1, 0) << local(2026, 3, 29, 3, 0);
        QTest::newRow("before the autumn change")
            << utc(2026, 10, 25, 0, 59) << local(2026, 10, 25, 2, 59);
        QTest::newRow("after the autumn change")
            << utc(2026, 10, 25, 1, 0) << local(2026, 10, 25, 2, 0);
    }
    void utcToLocalFollowsDaylightSaving() {
        QFETCH(QDateTime, utc);
        QFETCH(QDateTime, local);
        const QDateTime converted = UTCtoLocal(utc);
        QCOMPARE(converted.date(), local.date());
        QCOMPARE(converted.time(), local.time());
    }

    void localTimeIsShortDateAndSeconds() {
        const QDateTime t(QDate(2026, 7, 1), QTime(14, 5, 9));
        QCOMPARE(formatLocalTime(t, QLocale(QLocale::English, QLocale::UnitedKingdom)),
                 QStringLiteral("01/07/2026 14:05:09"));
        QCOMPARE(formatLocalTime(t, QLocale(QLocale::English, QLocale::UnitedStates)),
                 QStringLiteral("7/1/26 2:05:09\u202fPM").replace(u'\u202f', u' '));
    }
};

QTEST_GUILESS_MAIN(TestReplyInterpreter)
#include "tst_replyinterpreter.moc"
