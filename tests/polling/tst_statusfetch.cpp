#include "polling/ReplyInterpreter.h"
#include "polling/StatusFetch.h"

#include "FakeMonitorServer.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace courivane;
using namespace courivane::testing;

namespace {

const QByteArray kStatus = FakeMonitorServer::combinedStatus("111111", "2026-07-01 12:00:00");

// The options of a direct connection, or of one through the proxy at address:port.
OptionFlags proxy(const QString& address = {}, qint32 port = 80, bool portValid = true) {
    OptionFlags options;
    options.EnableProxy = yesNo(!address.isNull());
    options.ProxyAddress = address;
    options.ProxyPort = port;
    options.proxyPortValid = portValid;
    return options;
}

FetchOutcome fetchOnce(StatusFetch& fetch, const FetchTarget& target,
                       const OptionFlags& options = proxy(), int splitFlag = 0) {
    QSignalSpy done(&fetch, &StatusFetch::finished);
    fetch.start(target, options, splitFlag);
    if (!done.wait(10000))
        qFatal("the fetch never finished");
    return done.first().first().value<FetchOutcome>();
}

} // namespace

class TestStatusFetch : public QObject {
    Q_OBJECT
private:
    FakeMonitorServer m_server;
    FetchTarget target(const QString& user, int splitFlag = 0, const QString& suffix = {}) const {
        return deriveFetchTarget({QStringLiteral("Acme"), m_server.address() + suffix, user},
                                 splitFlag);
    }

private slots:
    void initTestCase() { QVERIFY(m_server.listen()); }
    void init() { m_server.clearRequests(); }

    void requestBytes_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<int>("split");
        QTest::addColumn<QString>("serverSuffix");
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("combined") << "acme" << 0 << ""
                                  << QByteArray("GET /status/acmeStatus.txt HTTP/1.0\r\n\r\n");
        QTest::newRow("split") << "acme" << 1 << ""
                               << QByteArray("GET /status/acme.txt HTTP/1.0\r\n\r\n");
        QTest::newRow("path in server")
            << "acme" << 0 << "/base"
            << QByteArray("GET /base/status/acmeStatus.txt HTTP/1.0\r\n\r\n");
        QTest::newRow("hash") << "ac#me" << 0 << ""
                              << QByteArray("GET /status/ac HTTP/1.0\r\n\r\n");
    }
    void requestBytes() {
        QFETCH(QString, user);
        QFETCH(int, split);
        QFETCH(QString, serverSuffix);
        StatusFetch fetch;
        fetchOnce(fetch, target(user, split, serverSuffix), proxy(), split);
        QCOMPARE(m_server.requests().size(), 1);
        QTEST(m_server.requests().first(), "request");
    }

    void throughTheProxyKeepsTheExplicitPort() {
        FakeHttpProxy httpProxy;
        QVERIFY(httpProxy.listen());
        httpProxy.mapHost(QStringLiteral("mon1"), QStringLiteral("127.0.0.1"));
        m_server.setReply(QStringLiteral("/status/acmeStatus.txt"),
                          FakeMonitorServer::httpReply(kStatus));
        StatusFetch fetch;
        const FetchTarget t =
            deriveFetchTarget({"Acme", QStringLiteral("mon1:%1").arg(m_server.port()), "acme"}, 0);
        const FetchOutcome outcome =
            fetchOnce(fetch, t, proxy(QStringLiteral("127.0.0.1"), httpProxy.port()));
        QCOMPARE(
            httpProxy.requestLines(),
            QList<QByteArray>{QStringLiteral("GET http://mon1:%1/status/acmeStatus.txt HTTP/1.0")
                                  .arg(m_server.port())
                                  .toUtf8()});
        QVERIFY(!outcome.failed);
        QVERIFY(outcome.reply.contains(kStatus));
        // The proxy asked the port the account names.
        QCOMPARE(m_server.requestLines(), QList<QByteArray>{"GET /status/acmeStatus.txt HTTP/1.0"});
    }

    void proxyFaultsFail_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("portValid");
        QTest::newRow("no address") << "" << true;
        QTest::newRow("bad port in the options") << "127.0.0.1" << false;
    }
    void proxyFaultsFail() {
        QFETCH(QString, address);
        QFETCH(bool, portValid);
        StatusFetch fetch;
        const FetchOutcome outcome =
            fetchOnce(fetch, target("acme"), proxy(address, m_server.port(), portValid));
        QVERIFY(outcome.failed);
        QVERIFY(m_server.requests().isEmpty());
    }

    void repliesInPieces_data() {
        QTest::addColumn<int>("pieceSize");
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("one byte at a time") << 1 << QByteArray();
        QTest::newRow("marker in the second piece")
            << 40 << QByteArray("HTTP/1.0 200 OK\r\nServer: x\r\n\r\n");
    }
    void repliesInPieces() {
        QFETCH(int, pieceSize);
        QFETCH(QByteArray, header);
        const QByteArray reply = header + kStatus;
        m_server.setScript(QStringLiteral("/status/piecesStatus.txt"),
                           {Script::Mode::Pieces, reply, pieceSize, 2});
        StatusFetch fetch;
        const FetchOutcome outcome = fetchOnce(fetch, target("pieces"));
        QVERIFY(!outcome.failed);
        const qsizetype at = locateMarker(outcome.reply, 0);
        QVERIFY(at >= 0 && outcome.reply.size() - at >= requiredReplyLength(0));
        QVERIFY(reply.startsWith(outcome.reply));
    }

    void failures_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("reason");
        QTest::newRow("closed without data")
            << int(Script::Mode::CloseWithoutData) << "the server closed without a status";
        QTest::newRow("reset") << int(Script::Mode::Reset) << "the server reset the connection";
    }
    void failures() {
        QFETCH(int, mode);
        m_server.setScript(QStringLiteral("/status/badStatus.txt"), {Script::Mode(mode), {}});
        StatusFetch fetch;
        const FetchOutcome outcome = fetchOnce(fetch, target("bad"));
        const Reply reply =
            outcome.failed ? failedReply(outcome.reason) : interpretReply(outcome.reply, 0);
        QVERIFY(reply.failed);
        QTEST(reply.reason, "reason");
    }

    void aCompleteStatusEndsTheFetchWithoutWaitingForTheClose_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("early");
        QTest::newRow("exact marker") << FakeMonitorServer::httpReply(kStatus) << true;
        // An echo of the request path in another letter case is no reason to stop listening.
        QTest::newRow("echo in the head only")
            << QByteArray("HTTP/1.0 200 OK\r\nContent-Location: /status/cherylStatus.txt\r\n"
                          "X-Padding: 0123456789012345678901234567890123456789012345678901\r\n")
            << false;
    }
    void aCompleteStatusEndsTheFetchWithoutWaitingForTheClose() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, early);
        m_server.setScript(QStringLiteral("/status/openStatus.txt"),
                           {Script::Mode::KeepOpen, reply});
        StatusFetch fetch;
        fetch.setTimeoutMs(early ? 60000 : 300);
        const FetchOutcome outcome = fetchOnce(fetch, target("open"));
        QCOMPARE(outcome.failed, !early);
        if (early)
            QCOMPARE(outcome.reply, reply);
        else
            QVERIFY(outcome.reason.contains(QStringLiteral("no complete reply")));
    }

    void ipv6Literals() {
        FakeMonitorServer server6;
        if (!server6.listen(0, QHostAddress::LocalHostIPv6))
            QSKIP("no IPv6 loopback on this machine");
        server6.setReply(QStringLiteral("/status/acmeStatus.txt"),
                         FakeMonitorServer::httpReply(kStatus));
        const FetchTarget t = deriveFetchTarget({"Acme", server6.address(), "acme"}, 0);
        StatusFetch fetch;
        QVERIFY(!fetchOnce(fetch, t).failed);

        // Through a proxy written as a bracketed literal too; the URL keeps the brackets.
        FakeHttpProxy httpProxy;
        QVERIFY(httpProxy.listen());
        const FetchOutcome outcome =
            fetchOnce(fetch, t, proxy(QStringLiteral("[::ffff:127.0.0.1]"), httpProxy.port()));
        QVERIFY(!outcome.failed);
        QCOMPARE(httpProxy.requestLines(),
                 QList<QByteArray>{QStringLiteral("GET http://[::1]:%1/status/acmeStatus.txt "
                                                  "HTTP/1.0")
                                       .arg(server6.port())
                                       .toUtf8()});
        QCOMPARE(server6.requestLines().size(), 2);
    }

    void aServerThatNeverAnswersIsBounded() {
        m_server.setScript(QStringLiteral("/status/silentStatus.txt"), {Script::Mode::Never, {}});
        StatusFetch fetch;
        QCOMPARE(fetch.timeoutMs(), 30000);
        fetch.setTimeoutMs(200);
        const FetchOutcome outcome = fetchOnce(fetch, target("silent"));
        QVERIFY(outcome.failed);
        QVERIFY(outcome.reason.contains(QStringLiteral("no complete reply")));
        QTRY_VERIFY(fetch.findChildren<QTcpSocket*>().isEmpty()); // released
    }

    void anOversizedReplyStopsAt64KiB() {
        m_server.setScript(QStringLiteral("/status/hugeStatus.txt"),
                           {Script::Mode::Oversized, "HTTP/1.0 200 OK\r\n\r\n", 1, 0, 200 * 1024});
        StatusFetch fetch;
        fetch.setTimeoutMs(5000);
        const FetchOutcome outcome = fetchOnce(fetch, target("huge"));
        QVERIFY(!outcome.failed);
        QCOMPARE(outcome.reply.size(), StatusFetch::kMaxReplyBytes);
        QVERIFY(interpretReply(outcome.reply, 0).failed);
    }

    void connectionRefused() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        StatusFetch fetch;
        const FetchOutcome outcome = fetchOnce(
            fetch, deriveFetchTarget({"A", QStringLiteral("127.0.0.1:%1").arg(port), "a"}, 0));
        QVERIFY(outcome.failed);
    }

    void aLateEventOfAnOldSocketReachesNothing() {
        m_server.setScript(QStringLiteral("/status/slowStatus.txt"),
                           {Script::Mode::Delayed, FakeMonitorServer::httpReply(kStatus), 1, 100});
        m_server.setReply(QStringLiteral("/status/fastStatus.txt"),
                          FakeMonitorServer::httpReply(kStatus));
        StatusFetch fetch;
        QSignalSpy done(&fetch, &StatusFetch::finished);
        fetch.start(target("slow"), proxy(), 0);
        fetch.start(target("fast"), proxy(), 0);
        QVERIFY(done.wait());
        QTest::qWait(300); // the slow server answers meanwhile, to a released socket
        QCOMPARE(done.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestStatusFetch)
#include "tst_statusfetch.moc"
