#include "polling/PollCycle.h"
#include "polling/SinglePass.h"
#include "report/SummaryPage.h"

#include "FakeMonitorServer.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>

#include <ctime>

using namespace courivane;
using namespace courivane::testing;

namespace {

QByteArray options(const QByteArray& summary = "YES", const QByteArray& proxy = "NO\r\n\r\n\r\n") {
    // Sound, popups, moveable, split, graphic, errors only, summary, then the proxy lines.
    return "YES\r\nYES\r\nNO\r\nYES\r\nYES\r\nNO\r\n" + summary + "\r\n" + proxy;
}

QByteArray accounts(const QList<AccountRecord>& records) {
    QByteArray text;
    for (const AccountRecord& r : records)
        text +=
            (r.CompanyName + "\r\n" + r.MonitoringServer + "\r\n" + r.UserName + "\r\n").toUtf8();
    return text;
}

QByteArray splitReply(const char* fields) {
    return FakeMonitorServer::httpReply(
        FakeMonitorServer::splitStatus(fields, FakeMonitorServer::now()));
}

// The cycle's timers by name, as the panel's are named.
QTimer* timer(const PollCycle& cycle, const char* name) {
    auto* found = cycle.findChild<QTimer*>(QLatin1String(name));
    if (!found)
        qFatal("the cycle has no timer %s", name);
    return found;
}

void setZone(const QByteArray& zone) {
    qputenv("TZ", zone);
    tzset();
}

// Fetches at once, servers, the most open to one server and to all.
const std::tuple<const char*, int, int, int, int> kLimits[] = {
    {"three at once", 3, 1, 3, 3},
    {"four to one server", 8, 1, 4, 4},
    {"six over two servers", 6, 2, 4, 6},
};

// Running, accounts of the last pass, seconds since it ended (-1: none has); the line, and
// whether it is late.
const std::tuple<const char*, bool, int, int, const char*, bool> kStatusLines[] = {
    {"checked", false, 5, 10, "Checked at 12:00:00 - 5 accounts in 1.2 s", false},
    {"one account", false, 1, 10, "Checked at 12:00:00 - 1 account in 1.2 s", false},
    {"nothing to check", false, 0, 10,
     "Checked at 12:00:00 - no account to check, nothing is known", false},
    {"under way", true, 5, 100, "Checking: 37 of 200", false},
    {"stuck", true, 5, 200, "Checking: 37 of 200 - no pass has ended since 12:00:00", true},
    {"none yet, stuck", true, 0, -1, "Checking: 37 of 200 - no pass has ended since 11:59:00",
     true},
};

} // namespace

class TestPollCycle : public QObject {
    Q_OBJECT
private:
    FakeMonitorServer m_server;
    std::unique_ptr<QTemporaryDir> m_tmp;
    Options m_flags;

    QDir dir() const { return QDir(m_tmp->path()); }
    QString server() const { return m_server.address(); }

    // The page the monitor would show for the pass.

    PassResult runOnePass(PollCycle& cycle) {
        QSignalSpy done(&cycle, &PollCycle::passFinished);
        cycle.runPass();
        if (done.isEmpty() && !done.wait(10000))
            qFatal("the pass never finished");
        return done.first().first().value<PassResult>();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_server.listen());
        // ICMP, Web, POP3, Receive, SMTP, Ryl, Send.
        m_server.setReply(QStringLiteral("/status/failing.txt"), splitReply("1111011"));
        m_server.setReply(QStringLiteral("/status/warning.txt"), splitReply("1114111"));
        m_server.setReply(QStringLiteral("/status/fine.txt"), splitReply("1111111"));
    }
    void init() {
        m_tmp = std::make_unique<QTemporaryDir>();
        m_flags = Options();
        m_server.clearRequests();
        writeBytes(dir(), kOptionsFileName, options());
        writeBytes(dir(), kAccountsFileName,
                   accounts({{"Failing", server(), "failing"},
                             {"Warning", server(), "warning"},
                             {"Fine", server(), "fine"}}));
    }

    void threeAccountsAreSorted() {
        for (const QString& summary : {kYes, kNo}) {
            writeBytes(dir(), kOptionsFileName, options(summary.toLatin1()));
            m_flags.summary = summary == kYes;
            m_server.clearRequests();
            PollCycle cycle(dir(), m_flags);
            const PassResult result = runOnePass(cycle);
            QList<RowClass> classes;
            for (const AccountRow& row : result.rows)
                classes << row.rowClass;
            const QList<RowClass> expected{RowFailed, RowWarning, RowOk};
            // Rows are classed for the page only while it is grouped.
            QCOMPARE(classes, summary == kYes ? expected : QList<RowClass>(3, RowOk));
            QCOMPARE(result.grouped, summary == kYes);
            QCOMPARE(m_server.requestLines(), (QList<QByteArray>{"GET /status/failing.txt HTTP/1.0",
                                                                 "GET /status/warning.txt HTTP/1.0",
                                                                 "GET /status/fine.txt HTTP/1.0"}));
        }
    }

    void manyRefusedAccountsEndThePass() {
        // Each fetch ends without the event loop's help; the pass must neither recurse nor stall.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QString refused = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
        closed.close();
        QList<AccountRecord> many;
        for (int i = 0; i < 500; ++i)
            many.append(
                {QStringLiteral("C%1").arg(i), i % 2 ? refused : QStringLiteral("m:0"), "u"});
        writeBytes(dir(), kAccountsFileName, accounts(many));
        PollCycle cycle(dir(), m_flags);
        const PassResult result = runOnePass(cycle);
        QCOMPARE(result.rows.size(), 500);
        QCOMPARE(result.counters[ConnectionLamp], 500);
    }

    void repliesAreFiledInFileOrder() {
        // The first account answers last: one at a time and eight at once show the same.
        const char* const fields[] = {"1111011", "1114111", "1111111",
                                      "0111111", "1111111", "1111101"};
        QList<AccountRecord> list;
        for (int i = 0; i < 6; ++i) {
            const QString user = QStringLiteral("order%1").arg(i);
            m_server.setScript("/status/" + user + ".txt", {splitReply(fields[i]), 0, 60 - 10 * i});
            list.append({QStringLiteral("C%1").arg(i % 3), server(), user});
        }
        writeBytes(dir(), kAccountsFileName, accounts(list));
        QList<PassResult> results;
        for (const int parallel : {1, 8}) {
            PollCycle cycle(dir(), m_flags);
            cycle.setParallel(parallel);
            results << runOnePass(cycle);
        }
        const PassResult &one = results.at(0), &many = results.at(1);
        QCOMPARE(pageOf(many).html(), pageOf(one).html());
        QCOMPARE(many.end.colours, one.end.colours);
        QCOMPARE(many.end.blinks, one.end.blinks);
        QCOMPARE(many.counters, one.counters);
    }

    void fetchLimitsHold_data() { addRows(kLimits); }
    void fetchLimitsHold() {
        const auto& [name, parallel, servers, perServer, total] = currentRow(kLimits);
        FakeMonitorServer a, b;
        QList<AccountRecord> list;
        for (FakeMonitorServer* s : {&a, &b}) {
            QVERIFY(s->listen());
            s->setDefault({splitReply("1111111"), 0, 30});
            for (int i = 0; i < 10 && (s == &a || servers == 2); ++i)
                list.append({QStringLiteral("C%1").arg(i), s->address(), "u"});
        }
        writeBytes(dir(), kAccountsFileName, accounts(list));
        a.resetOpenCounts();
        PollCycle cycle(dir(), m_flags);
        cycle.setParallel(parallel);
        const PassResult result = runOnePass(cycle);
        QCOMPARE(result.counters[ConnectionLamp], 0);
        QCOMPARE(a.maxOpen(), perServer);
        QCOMPARE(FakeMonitorServer::maxOpenAll(), total);
    }

    void aHungServerTripsOnce() {
        FakeMonitorServer hung;
        QVERIFY(hung.listen());
        hung.setDefault({{}, 0, 0, Script::End::KeepOpen});
        writeBytes(dir(), kAccountsFileName,
                   accounts(QList<AccountRecord>(20, {"Hung", hung.address(), "u"})));
        PollCycle cycle(dir(), m_flags);
        cycle.setFetchTimeoutMs(500);
        const auto reasons = [&] {
            QStringList said;
            for (const AccountRow& row : runOnePass(cycle).rows)
                said << row.reply.reason;
            return said;
        };
        // The first to run out its bound fails the rest, started or not; those started with it
        // (four to a server) waited out their own bounds too and say so.
        const QStringList eight = reasons();
        QCOMPARE(eight.count("no complete reply within 0.5 s"), 4);
        QCOMPARE(eight.count("the server did not answer earlier in this pass"), 16);
        // One at a time, each account waits its own bound, as the plain pass does.
        writeBytes(dir(), kAccountsFileName,
                   accounts(QList<AccountRecord>(2, {"Hung", hung.address(), "u"})));
        cycle.setParallel(1);
        cycle.setFetchTimeoutMs(200);
        QCOMPARE(reasons(), QStringList(2, "no complete reply within 0.2 s"));
    }

    void aHungAccountFirstHoldsNothingBack() {
        FakeMonitorServer hung;
        QVERIFY(hung.listen());
        hung.setDefault({{}, 0, 0, Script::End::KeepOpen});
        writeBytes(dir(), kAccountsFileName,
                   accounts(QList<AccountRecord>{{"Hung", hung.address(), "u"}} +
                            QList<AccountRecord>(10, {"Fine", server(), "fine"})));
        PollCycle cycle(dir(), m_flags);
        cycle.setFetchTimeoutMs(2000);
        QSignalSpy done(&cycle, &PollCycle::passFinished);
        cycle.runPass();
        // Every other account is asked long before the hung one's bound.
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requests().size(), 10, 1000);
        QVERIFY(done.isEmpty());
        QVERIFY(done.wait(3000));
        const PassResult result = done.first().first().value<PassResult>();
        QCOMPARE(result.rows.size(), 11);
        QCOMPARE(result.counters[ConnectionLamp], 1);
    }

    void aDeadlineKeepsEveryAnswerSoFar() {
        // The second account answers while the first waits: it counts, though it is not filed.
        FakeMonitorServer hung;
        QVERIFY(hung.listen());
        hung.setDefault({{}, 0, 0, Script::End::KeepOpen});
        AccountsRead read;
        read.records = {{"Hung", hung.address(), "u"}, {"Failing", server(), "failing"}};
        SinglePass pass(dir(), {m_flags, {}, true}, {}, {});
        pass.setRowsAtDeadline(true);
        std::optional<SinglePass::Outcome> outcome;
        pass.start(read, 300, 5000, [&](const SinglePass::Outcome& o) { outcome = o; });
        QTRY_VERIFY(outcome);
        QVERIFY(!outcome->result);
        QCOMPARE(outcome->unfinished.size(), 1);
        QCOMPARE(outcome->rows.size(), 2);
        QCOMPARE(outcome->rows.first().reply.reason, SinglePass::kNoAnswer);
        QVERIFY(outcome->rows.last().reply.services.contains({SmtpLamp, Verdict::Fail}));
    }

    void aSinglePassStartsNoCountdown() {
        AccountsRead read;
        read.records = {{"Failing", server(), "failing"}};
        SinglePass pass(dir(), {m_flags, {}, true}, {}, {});
        std::optional<SinglePass::Outcome> outcome;
        pass.start(read, 5000, 5000, [&](const SinglePass::Outcome& o) { outcome = o; });
        QTRY_VERIFY(outcome && outcome->result);
        // The plug-in and the exporter run one pass; no next one is counted down to.
        QVERIFY(!pass.cycle().findChild<QTimer*>(QStringLiteral("Timer13"))->isActive());
    }

    void aDisplayLineEditedByHandIsSaidToWait() {
        PollCycle cycle(dir(), m_flags); // split, as the file says
        runOnePass(cycle);
        // Line 4 edited to NO by hand.
        writeBytes(dir(), kOptionsFileName,
                   options().replace("NO\r\nYES\r\nYES\r\n", "NO\r\nNO\r\nYES\r\n"));
        const QStringList problems = runOnePass(cycle).problems;
        QVERIFY2(problems.join(u'|').contains("line 4 says NO, but Split ICMP and Web stays YES"),
                 qPrintable(problems.join(u'|')));
        QVERIFY(cycle.options().web);
    }

    void afterASleepAPassStartsAtOnce() {
        // The wall clock jumps an hour between two ticks of the countdown.
        QDateTime now = QDateTime::currentDateTimeUtc();
        PollCycle cycle(dir(), m_flags);
        cycle.setClock([&] { return now; });
        runOnePass(cycle);
        QSignalSpy started(&cycle, &PollCycle::passStarted);
        QMetaObject::invokeMethod(timer(cycle, "Timer13"), "timeout");
        QCOMPARE(started.size(), 0);
        now = now.addSecs(3600);
        QMetaObject::invokeMethod(timer(cycle, "Timer13"), "timeout");
        QCOMPARE(started.size(), 1);
        // The rule's bounds: a whole cycle and a few seconds of a busy machine are no sleep.
        QVERIFY(!sleptPastACycle(now, now.addSecs(36)) && sleptPastACycle(now, now.addSecs(37)));
        QVERIFY(!sleptPastACycle(QDateTime(), now));
    }

    void theStatusLineSaysWhen_data() { addRows(kStatusLines); }
    void theStatusLineSaysWhen() {
        const auto& [name, running, accounts, secondsSinceEnd, text, late] =
            currentRow(kStatusLines);
        setZone("UTC0");
        const QDateTime ended(QDate(2026, 7, 1), QTime(12, 0), QTimeZone::utc());
        const PassClock clock{ended.addSecs(-60),
                              secondsSinceEnd < 0 ? QDateTime() : ended,
                              accounts,
                              1234,
                              running,
                              37,
                              200};
        const StatusLine line =
            statusLineOf(clock, ended.addSecs(secondsSinceEnd < 0 ? 150 : secondsSinceEnd), 122000);
        QCOMPARE(line.text, QString::fromLatin1(text));
        QCOMPARE(line.late, late);
    }

    void aZoneChangedBetweenPassesIsHonoured() {
        m_server.setReply("/status/noon.txt",
                          FakeMonitorServer::httpReply(
                              FakeMonitorServer::splitStatus("1111111", "2026-07-01 12:00:00")));
        writeBytes(dir(), kAccountsFileName, accounts({{"Noon", server(), "noon"}}));
        const QByteArray old = qgetenv("TZ");
        PollCycle cycle(dir(), m_flags);
        setZone("UTC0");
        const PassResult first = runOnePass(cycle);
        setZone("JST-9");
        const PassResult second = runOnePass(cycle);
        setZone(old);
        // The server says 12:00:00 UTC both times.
        QCOMPARE(first.rows.first().reply.updated.time(), QTime(12, 0));
        QCOMPARE(second.rows.first().reply.updated.time(), QTime(21, 0));
    }

    void proxyTurnedOffBetweenPasses() {
        // The proxy is a second fake server: it records the URLs it is asked for.
        FakeMonitorServer proxy;
        QVERIFY(proxy.listen());
        writeBytes(
            dir(), kOptionsFileName,
            options("YES", "YES\r\n127.0.0.1\r\n" + QByteArray::number(proxy.port()) + "\r\n"));
        writeBytes(dir(), kAccountsFileName, accounts({{"B", QStringLiteral("mon2"), "other"}}));
        PollCycle cycle(dir(), m_flags);
        // The proxy's error page is its own or the server's: the proxy answered it either way.
        QCOMPARE(runOnePass(cycle).rows.first().reply.reason,
                 QStringLiteral("the proxy answered HTTP 404 Not Found"));
        QCOMPARE(proxy.requestLines(),
                 QList<QByteArray>{"GET http://mon2/status/other.txt HTTP/1.0"});
        writeBytes(dir(), kOptionsFileName, options());
        writeBytes(dir(), kAccountsFileName, accounts({{"A", server(), "fine"}}));
        const PassResult second = runOnePass(cycle);
        QVERIFY(!cycle.options().proxy);
        QCOMPARE(proxy.requestLines().size(), 1);
        QCOMPARE(second.end.colours[ConnectionLamp], LampColour::Green);
    }

    void splitChangeWaitsForTheNextPass() {
        m_server.setScript(QStringLiteral("/status/slow.txt"), {splitReply("1111111"), 0, 50});
        writeBytes(dir(), kAccountsFileName,
                   accounts({{"Slow", server(), "slow"}, {"Fine", server(), "fine"}}));
        PollCycle cycle(dir(), m_flags);
        QSignalSpy done(&cycle, &PollCycle::passFinished);
        cycle.runPass();
        QTRY_VERIFY(!m_server.requests().isEmpty());
        Options changed = cycle.options(); // the settings dialog, mid-pass
        changed.web = false;
        cycle.setOptions(changed);
        // A save mid-pass does not mix two lists either.
        writeBytes(dir(), kAccountsFileName, accounts({{"Other", server(), "other"}}));
        QVERIFY(done.wait());
        const PassResult first = done.first().first().value<PassResult>();
        QVERIFY(first.web);
        QCOMPARE(first.rows.size(), 2);
        QCOMPARE(first.rows.at(1).company, QStringLiteral("Fine"));
        QCOMPARE(m_server.requestLines().last(), QByteArray("GET /status/fine.txt HTTP/1.0"));
        QVERIFY(!runOnePass(cycle).web);
        QCOMPARE(m_server.requestLines().last(),
                 QByteArray("GET /status/otherStatus.txt HTTP/1.0"));
    }

    void countdownRunsThirtyTicksThenOnePass() {
        PollCycle cycle(dir(), m_flags);
        QSignalSpy titles(&cycle, &PollCycle::titleChanged);
        const PassResult first = runOnePass(cycle);
        const QString title = QStringLiteral("Courivane Status - ");
        QCOMPARE(titles.last().first().toString(), title + "Connecting to: Fine");
        QCOMPARE(cycle.countdownCounter(), 30);
        QVERIFY(timer(cycle, "Timer13")->isActive() && !timer(cycle, "Timer1")->isActive());
        titles.clear();
        for (int i = 0; i < 29; ++i)
            cycle.countdownTick();
        QCOMPARE(titles.size(), 29);
        QCOMPARE(titles.first().first().toString(), title + "Seconds to connection: 29");
        QCOMPARE(titles.last().first().toString(), title + "Seconds to connection: 1");
        QVERIFY(!timer(cycle, "Timer1")->isActive());
        cycle.countdownTick();
        QCOMPARE(cycle.countdownCounter(), 0);
        QCOMPARE(titles.last().first().toString(), title + "Establishing Connection!");
        QVERIFY(timer(cycle, "Timer1")->isActive() && !timer(cycle, "Timer13")->isActive());

        // The due cycle timer starts one pass; its further ticks during the pass do nothing.
        m_server.setScript(QStringLiteral("/status/fine.txt"), {splitReply("1111111"), 0, 100});
        timer(cycle, "Timer1")->setInterval(5);
        QSignalSpy started(&cycle, &PollCycle::passStarted);
        QSignalSpy finished(&cycle, &PollCycle::passFinished);
        QVERIFY(finished.wait());
        m_server.setReply(QStringLiteral("/status/fine.txt"), splitReply("1111111"));
        QCOMPARE(started.size(), 1);
        QVERIFY(!timer(cycle, "Timer1")->isActive() && timer(cycle, "Timer13")->isActive());
        // The failures of one pass are the previous lists of the next: the same again is quiet.
        const auto second = finished.first().first().value<PassResult>();
        QCOMPARE(cycle.state().lamps.previousFailureLists, cycle.state().lamps.failureLists);
        QVERIFY(first.end.blinks.contains(Blink{SmtpLamp, LampColour::Red}));
        QVERIFY(second.end.blinks.isEmpty());
    }

    void startupPassKeepsTitleAndCycleTimer() {
        PollCycle cycle(dir(), m_flags);
        QSignalSpy titles(&cycle, &PollCycle::titleChanged);
        QSignalSpy done(&cycle, &PollCycle::passFinished);
        cycle.runStartupPass();
        QVERIFY(done.wait());
        const PassResult result = done.first().first().value<PassResult>();
        QVERIFY(titles.isEmpty());
        QCOMPARE(result.kind, PassKind::Startup);
        QCOMPARE(m_server.requestLines().first(), QByteArray("GET /status/failing.txt HTTP/1.0"));
        // Orange lamps blink at start-up too.
        QVERIFY(result.end.blinks.contains(Blink{ReceiveLamp, LampColour::Orange}));
        QVERIFY(timer(cycle, "Timer13")->isActive());
    }

    void problemsStandAboveThePage() {
        writeBytes(dir(), kAccountsFileName, accounts({{"Fine", server(), "fine"}}) + "Half\r\n");
        PollCycle cycle(dir(), m_flags);
        // The terminal hears of it once, not every pass.
        const QRegularExpression incomplete("ends in an incomplete account");
        QTest::ignoreMessage(QtWarningMsg, incomplete);
        runOnePass(cycle);
        QTest::failOnWarning(incomplete);
        const PassResult result = runOnePass(cycle);
        QCOMPARE(result.rows.size(), 1);
        QVERIFY(pageOf(result).html().startsWith("<p><font face=Tahoma color=#cc0000>" +
                                                 dir().filePath(kAccountsFileName) +
                                                 " ends in an incomplete account (line 4"));
        // Without files: both named; nothing to check is nothing known, orange, and no alarm.
        PollCycle nowhere(QDir(m_tmp->filePath(QStringLiteral("nowhere"))), m_flags);
        const PassResult none = runOnePass(nowhere);
        QVERIFY(none.rows.isEmpty());
        QVERIFY(none.problems.join(u'|').contains(
            QRegularExpression("Proxy.Txt not found.*\\|.*CompUserNames.Txt not found")));
        QCOMPARE(none.end.colours[ConnectionLamp], LampColour::Orange);
        QVERIFY(none.counters[ConnectionLamp] == 0 && none.end.blinks.isEmpty());
        // A file that is there but cannot be read is a failure.
        QDir(m_tmp->path()).mkpath(QStringLiteral("unreadable/") + kAccountsFileName);
        PollCycle unreadable(QDir(m_tmp->filePath(QStringLiteral("unreadable"))), m_flags);
        const PassResult failed = runOnePass(unreadable);
        QCOMPARE(failed.end.colours[ConnectionLamp], LampColour::Red);
        QCOMPARE(failed.counters[ConnectionLamp], 1);
        // Nothing known is no green: every service lamp is orange, with or without a file.
        writeBytes(dir(), kAccountsFileName, "");
        for (PollCycle* cycle : {&nowhere, new PollCycle(dir(), m_flags, this)}) {
            const PassResult r = runOnePass(*cycle);
            for (int lamp = IcmpLamp; lamp < ConnectionLamp; ++lamp)
                QCOMPARE(r.end.colours[lamp], LampColour::Orange);
        }
    }
};

QTEST_GUILESS_MAIN(TestPollCycle)
#include "tst_pollcycle.moc"
