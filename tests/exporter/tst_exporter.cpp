#include "FakeMonitorServer.h"
#include "TestFiles.h"

#include "exporter/ProbeServer.h"
#include "polling/ReplyInterpreter.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace courivane;
using namespace courivane::testing;

namespace {

// A reply in the split layout: ICMP, Web, POP3, Receive, SMTP, Ryl, Send; "-" a failed fetch.
Reply replyOf(const char* fields, qint64 ageMinutes = 0) {
    if (fields[0] == '-')
        return failedReply(QStringLiteral("HTTP 404 Not Found"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    Reply reply = interpretReply(
        FakeMonitorServer::splitStatus(
            fields, now.addSecs(-ageMinutes * 60).toString("yyyy-MM-dd HH:mm:ss").toLatin1()),
        1);
    markStale(reply, now, kDefaultStaleAfterMinutes);
    return reply;
}

// The series of a probe whose value is 1, blank-separated, without their common prefix.
QByteArray onesOf(const QByteArray& exposition) {
    QByteArrayList ones;
    for (QByteArray line : exposition.split('\n'))
        if (line.startsWith("courivane_service_status{") && line.endsWith("} 1"))
            ones << line.mid(25, line.size() - 28)
                        .replace("service=", "")
                        .replace(",state=", "=")
                        .replace("\"", "");
    return ones.join(' ');
}

const QByteArray kAllOk = "icmp=ok web=ok pop3=ok smtp=ok receive=ok send=ok ryl=ok";
const QByteArray kAllUnknown = "icmp=unknown web=unknown pop3=unknown smtp=unknown "
                               "receive=unknown send=unknown ryl=unknown";

// The company's accounts (fields, age in minutes), probe_success, and the states that are 1.
struct Account {
    const char* fields;
    qint64 ageMinutes;
};
// clang-format off
const std::tuple<const char*, QList<Account>, bool, QByteArray> kProbes[] = {
    {"one account, all well", {{"1111111", 0}}, true, kAllOk},
    {"SMTP failing", {{"1111011", 0}}, true,
     "icmp=ok web=ok pop3=ok smtp=fail receive=ok send=ok ryl=ok"},
    {"unreachable: nothing is known", {{"-", 0}}, false, kAllUnknown},
    {"stale: the Ryl service warns", {{"1111111", 90}}, true,
     "icmp=ok web=ok pop3=ok smtp=ok receive=ok send=ok ryl=warning"},
    {"the worst account: fail, unknown, warning, ok, blank", {{"2134011", 0}, {"2111111", 0}},
     true, "icmp=blank web=ok pop3=unknown smtp=fail receive=warning send=ok ryl=ok"},
    {"one of two unreachable: ok is not known", {{"1111011", 0}, {"-", 0}}, false,
     "icmp=unknown web=unknown pop3=unknown smtp=fail receive=unknown send=unknown ryl=unknown"},
};
// clang-format on

// A failed fetch's reason and the label value it is counted under.
const std::tuple<const char*, const char*> kFailures[] = {
    {"the server refused the connection", "refused"},
    {"the server reset the connection", "refused"},
    {"no complete reply within 30 s", "timeout"},
    {"the server did not answer earlier in this pass", "timeout"},
    {"no answer in time", "timeout"},
    {"HTTP 404 Not Found", "http"},
    {"certificate is for another host", "certificate"},
    {"the server refused the password", "authentication"},
    {"password not sent over plain HTTP", "authentication"},
    {"the reply holds no status", "no_status"},
    {"the server closed without a status", "no_status"},
    {"the status is cut short", "cut_short"},
    {"the proxy answered HTTP 503 Service Unavailable", "proxy"},
    {"the proxy did not open a tunnel: HTTP/1.0 403 Forbidden", "proxy"},
    {"the server's host name is not known", "other"},
};

// The scrape time-out header; the probe's deadline and each fetch's bound, in ms.
const std::tuple<const char*, QByteArray, int, int> kBudgets[] = {
    {"none: a fetch's bound", {}, 30250, 30000},
    {"10 s", "10", 9500, 9250},
    {"a fraction", " 2.25 ", 1750, 1500},
    {"no longer than a fetch's bound", "120", 30250, 30000},
    {"shorter than the margin", "0.3", 100, 50},
    {"not a number", "soon", 30250, 30000},
    {"not finite", "inf", 30250, 30000},
    {"negative", "-4", 30250, 30000},
};

// A query and its target value.
const std::tuple<const char*, QByteArray, const char*> kQueries[] = {
    {"plus is a blank", "target=Acme+Freight", "Acme Freight"},
    {"percent and others", "module=x&target=Cedar%20%26%20Pine%2BCo", "Cedar & Pine+Co"},
    {"UTF-8", "target=Caf%C3%A9", "Caf\xc3\xa9"},
    {"empty", "target=", ""},
    {"the first of two", "target=A&target=B", "A"},
    {"absent", "targets=A", "(absent)"},
};

// A listen address; the host and port it gives, or no host when it is refused.
const std::tuple<const char*, const char*, const char*, int> kListen[] = {
    {"IPv4", "127.0.0.1:9810", "127.0.0.1", 9810},
    {"IPv6", "[::1]:0", "::1", 0},
    {"localhost", "localhost:80", "127.0.0.1", 80},
    {"any", "0.0.0.0:9810", "0.0.0.0", 9810},
    {"no port", "127.0.0.1", nullptr, 0},
    {"port too large", "127.0.0.1:65536", nullptr, 0},
    {"IPv6 unbracketed", "::1:9810", nullptr, 0},
    {"IPv4 in brackets", "[127.0.0.1]:1", nullptr, 0},
    {"a name that needs resolving", "example.org:1", nullptr, 0},
};

// A request target; the answer's status and a part of its body.
const std::tuple<const char*, QByteArray, int, QByteArray> kAnswers[] = {
    {"a company", "/probe?target=Fine+%26+Co", 200, "{service=\"smtp\",state=\"fail\"} 1\n"},
    {"no target", "/probe", 400, "target"},
    {"an unknown company, its invisible characters named", "/probe?target=No%1B%5B2Jbody", 404,
     "no company named \"No<U+001B>[2Jbody\""},
    {"a format character in the name", "/probe?target=Par%E2%80%8Csi", 200,
     "courivane_probe_success 1"},
    {"a control character, as the list prints it", "/probe?target=Bell%EF%BF%BD", 200,
     "courivane_probe_success 1"},
    {"the exporter's own", "/metrics", 200, "courivane_exporter_probes_total "},
    {"anything else", "/probe/x", 404, "not found"},
};

QByteArray get(const QByteArray& target, const QByteArray& extra = {}) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

// A request; whether its client then ends its side; how many times it is sent on the connection,
// each after the answer to the one before; whether the exporter ends the connection after it.
const std::tuple<const char*, QByteArray, bool, int, bool> kConnections[] = {
    {"HTTP/1.0", "GET /metrics HTTP/1.0\r\n\r\n", false, 1, true},
    {"a probe over HTTP/1.0", "GET /probe?target=Fine+%26+Co HTTP/1.0\r\n\r\n", false, 1, true},
    {"HTTP/1.0 asking to keep it", "GET /metrics HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", false,
     2, false},
    {"HTTP/1.1 asking to close", get("/metrics", "Connection: close\r\n"), false, 1, true},
    {"HTTP/1.1", get("/metrics"), false, 2, false},
    {"half-closed", get("/metrics"), true, 1, true},
    {"a half-closed probe", get("/probe?target=Fine+%26+Co"), true, 1, true},
    {"a WebSocket upgrade",
     get("/probe?target=Fine+%26+Co", "Connection: Upgrade\r\nUpgrade: websocket\r\n"
                                      "Sec-WebSocket-Version: 13\r\n"
                                      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"),
     false, 1, true},
};

struct Answer {
    int status = 0;
    QByteArray head;
    QByteArray body;
};

// One request over a fresh connection; the answer once it is whole or the connection ends.
Answer ask(quint16 port, const QByteArray& request, int waitMs = 5000) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(request);
    QByteArray data;
    auto whole = [&] {
        data += socket.readAll();
        const qsizetype end = data.indexOf("\r\n\r\n");
        if (end < 0)
            return socket.state() == QAbstractSocket::UnconnectedState;
        const qsizetype length = data.indexOf("Content-Length: ");
        return length >= 0 &&
               data.size() - end - 4 >= data.mid(length + 16, 8).split('\r').first().toLongLong();
    };
    (void)QTest::qWaitFor(whole, waitMs);
    const qsizetype end = data.indexOf("\r\n\r\n");
    return {data.mid(9, 3).toInt(), data.left(end), end < 0 ? QByteArray() : data.mid(end + 4)};
}

} // namespace

class TestExporter : public QObject {
    Q_OBJECT
private:
    FakeMonitorServer m_monitor;
    QTemporaryDir m_tmp;
    std::unique_ptr<ProbeServer> m_server;

private slots:
    void initTestCase() {
        QVERIFY(m_monitor.listen());
        m_monitor.setReply(QStringLiteral("/status/fine.txt"),
                           FakeMonitorServer::httpReply(FakeMonitorServer::splitStatus(
                               "1111011", FakeMonitorServer::now())));
        m_monitor.setScript(QStringLiteral("/status/hung.txt"), {{}, 0, 0, Script::End::KeepOpen});
        const QDir dir(m_tmp.path());
        writeBytes(dir, QStringLiteral("Proxy.Txt"),
                   "NO\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nNO\r\n\r\n\r\n");
        const QByteArray server = m_monitor.address().toUtf8();
        writeBytes(dir, QStringLiteral("CompUserNames.Txt"),
                   "Fine & Co\r\n" + server + "\r\nfine\r\nHung Ltd\r\n" + server +
                       "\r\nhung\r\nPar\u200Csi\r\n" + server + "\r\nfine\r\nBell\a\r\n" + server +
                       "\r\nfine\r\n");
        m_server = std::make_unique<ProbeServer>(dir, PassOptions{});
        QCOMPARE(m_server->listen(QHostAddress::LocalHost, 0), QString());
    }

    void probeExpositionOfAPass_data() { addRows(kProbes); }
    void probeExpositionOfAPass() {
        const auto& [name, accounts, success, ones] = currentRow(kProbes);
        PassResult result;
        result.endedAt = QDateTime::currentDateTimeUtc();
        for (const Account& a : accounts)
            result.rows.append(
                {QStringLiteral("C"), {}, RowOk, replyOf(a.fields, a.ageMinutes), {}, {}, {}, {}});
        const QByteArray text = probeExposition(result, 0.25);
        QCOMPARE(onesOf(text), ones);
        QVERIFY(text.contains(success ? "\ncourivane_probe_success 1\n"
                                      : "\ncourivane_probe_success 0\n"));
        QVERIFY(text.contains("\ncourivane_probe_duration_seconds 0.250000\n"));
        // The age is the oldest status's, and absent when no account gave a time.
        const bool timed = std::any_of(accounts.cbegin(), accounts.cend(),
                                       [](const Account& a) { return a.fields[0] != '-'; });
        QCOMPARE(text.contains("courivane_status_age_seconds " +
                               QByteArray::number(accounts.first().ageMinutes * 60) + '\n'),
                 timed);
        // Labels are bounded: nothing of the company, its servers or its users.
        QVERIFY(!text.contains("C\""));
        // An account left out for being incomplete is no success, and is counted.
        QVERIFY(text.contains("\ncourivane_incomplete_accounts 0\n"));
        result.incompleteLine = 7;
        const QByteArray incomplete = probeExposition(result, 0.25);
        QVERIFY(incomplete.contains("\ncourivane_probe_success 0\n") &&
                incomplete.contains("\ncourivane_incomplete_accounts 1\n"));
    }

    void aFailureIsCountedByWhy_data() {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("kind");
        for (const auto& [reason, kind] : kFailures)
            QTest::newRow(reason) << QString::fromLatin1(reason) << QString::fromLatin1(kind);
    }
    void aFailureIsCountedByWhy() {
        QFETCH(QString, reason);
        QFETCH(QString, kind);
        QCOMPARE(QString::fromLatin1(failureKind(reason)), kind);
        PassResult result;
        result.rows = {{"C", {}, RowFailed, failedReply(reason), {}, {}, {}, {}},
                       {"C", {}, RowFailed, failedReply(reason), {}, {}, {}, {}}};
        QVERIFY(probeExposition(result, 0).contains("\ncourivane_probe_failed_accounts{reason=\"" +
                                                    kind.toLatin1() + "\"} 2\n"));
    }

    void theScrapeTimeOutBoundsTheProbe_data() { addRows(kBudgets); }
    void theScrapeTimeOutBoundsTheProbe() {
        const auto& [name, header, deadline, fetchBound] = currentRow(kBudgets);
        QCOMPARE(probeBudget(header), (ProbeBudget{deadline, fetchBound}));
    }

    void queryValuesAsFormsEncodeThem_data() { addRows(kQueries); }
    void queryValuesAsFormsEncodeThem() {
        const auto& [name, query, value] = currentRow(kQueries);
        const std::optional<QString> got = queryValue(query, "target");
        QCOMPARE(got.value_or(QStringLiteral("(absent)")), QString::fromUtf8(value));
    }

    void listenAddresses_data() { addRows(kListen); }
    void listenAddresses() {
        const auto& [name, text, host, port] = currentRow(kListen);
        const std::optional<ListenAddress> got = parseListenAddress(text);
        QCOMPARE(got.has_value(), host != nullptr);
        if (got) {
            QCOMPARE(got->host, QHostAddress(QString::fromLatin1(host)));
            QCOMPARE(int(got->port), port);
        }
    }

    void answersOverHttp_data() { addRows(kAnswers); }
    void answersOverHttp() {
        const auto& [name, target, status, contains] = currentRow(kAnswers);
        const Answer answer = ask(m_server->port(), get(target));
        QCOMPARE(answer.status, status);
        QVERIFY2(answer.body.contains(contains), answer.body.constData());
        QVERIFY(!answer.body.contains("fine\"") &&
                !answer.body.contains(m_monitor.address().toUtf8()));
    }

    void anotherMethodAPipelinedRequestAndNoConfiguration() {
        const quint16 port = m_server->port();
        const Answer post =
            ask(port, "POST /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n");
        QVERIFY(post.status == 405 && post.body.contains("only GET"));
        // A second request before the first is answered could not be told apart: the
        // connection ends, unanswered.
        const quint64 refused = m_server->counters().refused;
        const Answer both = ask(port, get("/probe?target=Hung+Ltd") + get("/metrics"));
        QCOMPARE(both.status, 0);
        QCOMPARE(m_server->counters().refused, refused + 1);
        // A request that never ends is refused once its time is out.
        m_server->setRequestTimeoutMs(300);
        const Answer slow = ask(port, "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        m_server->setRequestTimeoutMs(ProbeServer::kRequestTimeoutMs);
        QVERIFY(slow.status == 408 && slow.body.contains("too slow"));
        QCOMPARE(m_server->counters().refused, refused + 2);
        // Without a configuration to read: 503, saying which directory.
        QTemporaryDir empty;
        ProbeServer nowhere(QDir(empty.path()), PassOptions{});
        QCOMPARE(nowhere.listen(QHostAddress::LocalHost, 0), QString());
        const Answer none = ask(nowhere.port(), get("/probe?target=Fine+%26+Co"));
        QVERIFY(none.status == 503 && none.body.contains(empty.path().toUtf8()));
    }

    void theAccountsFileIsReadAgainOnlyWhenItChanges() {
        const quint16 port = m_server->port();
        QCOMPARE(ask(port, get("/probe?target=Fine+%26+Co")).status, 200);
        const quint64 reads = m_server->counters().accountReads;
        for (int i = 0; i < 3; ++i)
            QCOMPARE(ask(port, get("/probe?target=Fine+%26+Co")).status, 200);
        QCOMPARE(m_server->counters().accountReads, reads);
        // A company added is probed at once.
        const QDir dir(m_tmp.path());
        const QByteArray before = readBytes(dir, QStringLiteral("CompUserNames.Txt"));
        writeBytes(dir, QStringLiteral("CompUserNames.Txt"),
                   before + "New Co\r\n" + m_monitor.address().toUtf8() + "\r\nfine\r\n");
        QCOMPARE(ask(port, get("/probe?target=New+Co")).status, 200);
        QCOMPARE(m_server->counters().accountReads, reads + 1);
        writeBytes(dir, QStringLiteral("CompUserNames.Txt"), before);
        QCOMPARE(ask(port, get("/probe?target=New+Co")).status, 404);
    }

    void theConnectionEndsWhenTheClientAsks_data() { addRows(kConnections); }
    void theConnectionEndsWhenTheClientAsks() {
        const auto& [name, request, halfClose, times, closes] = currentRow(kConnections);
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_server->port());
        QVERIFY(socket.waitForConnected(2000));
        QByteArray data;
        const auto answers = [&] { return (data += socket.readAll()).count("\nContent-Length: "); };
        for (int i = 1; i <= times; ++i) {
            socket.write(request);
            QVERIFY(socket.waitForBytesWritten(2000));
            if (halfClose)
                ::shutdown(int(socket.socketDescriptor()), SHUT_WR);
            QTRY_VERIFY2(answers() >= i && data.endsWith("\n") && !data.endsWith("\r\n\r\n"),
                         data.constData());
        }
        if (closes)
            QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(answers(), times);
    }

    void theListenerTakesConnectionsAgainOnceDescriptorsAreFree() {
        // The real exporter, with so few descriptors that a flood of connections uses them up.
        QProcess exporter;
        exporter.setChildProcessModifier([] {
            const rlimit few{16, 16};
            ::setrlimit(RLIMIT_NOFILE, &few);
        });
        exporter.start(qEnvironmentVariable("COURIVANE_BIN") + "/courivane-exporter",
                       {"--listen", "127.0.0.1:0", "--config-dir", m_tmp.path()});
        QByteArray said;
        QTRY_VERIFY((said += exporter.readAllStandardError()).contains("/\n"));
        const quint16 port = said.mid(said.lastIndexOf(':') + 1).chopped(2).toUShort();
        // Plain sockets, connected one after another and held.
        std::vector<int> flood;
        for (int i = 0; i < 40; ++i) {
            flood.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            QCOMPARE(::connect(flood.back(), reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        }
        QTRY_VERIFY2_WITH_TIMEOUT(
            (said += exporter.readAllStandardError()).contains("cannot take a connection"),
            said.constData(), 10000);
        for (const int fd : flood)
            ::close(fd);
        QCOMPARE(ask(port, get("/metrics"), 10000).status, 200);
        exporter.kill();
        exporter.waitForFinished();
    }

    void aHungServerEndsTheProbeBeforeTheScraperGivesUp() {
        const quint64 failures = m_server->counters().probeFailures;
        // The scraper waits 1.5 s and no longer.
        const Answer answer = ask(
            m_server->port(),
            get("/probe?target=Hung+Ltd", "X-Prometheus-Scrape-Timeout-Seconds: 1.5\r\n"), 1500);
        QCOMPARE(answer.status, 200);
        QVERIFY(answer.body.contains("\ncourivane_probe_success 0\n"));
        QCOMPARE(onesOf(answer.body), kAllUnknown);
        QCOMPARE(m_server->counters().probeFailures, failures + 1);
    }

    void tooLargeOrTooManyAreRefusedAndTheOthersAnswered() {
        const quint16 port = m_server->port();
        const quint64 refused = m_server->counters().refused;
        const Answer large =
            ask(port, get("/metrics", "X-Padding: " + QByteArray(9000, 'a') + "\r\n"));
        QCOMPARE(large.status, 431);
        // Sixteen connections open and silent, and as many as may wait: the next is turned away
        // at once.
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int i = 0; i < ProbeServer::kMaxConnections + ProbeServer::kMaxWaiting; ++i) {
            held.push_back(std::make_unique<QTcpSocket>());
            held.back()->connectToHost(QHostAddress::LocalHost, port);
        }
        // With the event loop running: the exporter is in this process.
        QTRY_VERIFY(std::all_of(held.cbegin(), held.cend(), [](const auto& s) {
            return s->state() == QAbstractSocket::ConnectedState;
        }));
        QCOMPARE(ask(port, get("/metrics")).status, 503);
        QCOMPARE(m_server->counters().refused, refused + 2);
        // The held ones are still served; one that waits is answered once a place is free.
        held.front()->write(get("/metrics"));
        QByteArray reply;
        QTRY_VERIFY2((reply += held.front()->readAll()).startsWith("HTTP/1.1 200 OK"), reply);
        for (auto it = held.begin() + ProbeServer::kMaxConnections; it != held.end(); ++it)
            (*it)->write(get("/metrics"));
        held.front().reset();
        // The first to come of those waiting takes the place.
        QTRY_VERIFY(std::any_of(held.begin() + ProbeServer::kMaxConnections, held.end(),
                                [](const auto& s) { return s->peek(15) == "HTTP/1.1 200 OK"; }));
        held.clear();
        // A probe that waited has that much less time; with none worth a fetch left, none.
        QCOMPARE(budgetAfterWaiting({9500, 9250}, 4000), (ProbeBudget{5500, 5250}));
        QCOMPARE(budgetAfterWaiting({9500, 9250}, 9200), (ProbeBudget{0, 0}));
    }
};

QTEST_GUILESS_MAIN(TestExporter)
#include "tst_exporter.moc"
