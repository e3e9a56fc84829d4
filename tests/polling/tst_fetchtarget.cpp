#include "polling/FetchTarget.h"

#include <QTest>

using namespace courivane;

class TestFetchTarget : public QObject {
    Q_OBJECT
private slots:
    void derive_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("user");
        QTest::addColumn<int>("split");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("proxyPath");
        QTest::addColumn<QString>("logUrl");
        QTest::newRow("combined") << "mon1"
                                  << "acme" << 0 << "mon1" << 80 << "/status/acmeStatus.txt"
                                  << "http://mon1/status/acmeStatus.txt"
                                  << "http://mon1/logs/acme/index.html";
        QTest::newRow("split") << "mon1"
                               << "acme" << 1 << "mon1" << 80 << "/status/acme.txt"
                               << "http://mon1/status/acme.txt"
                               << "http://mon1/logs/acme/index.html";
        QTest::newRow("explicit port") << "mon1:8080"
                                       << "acme" << 0 << "mon1" << 8080 << "/status/acmeStatus.txt"
                                       << "http://mon1:8080/status/acmeStatus.txt"
                                       << "http://mon1:8080/logs/acme/index.html";
        QTest::newRow("path in server")
            << "mon1/base"
            << "acme" << 0 << "mon1" << 80 << "/base/status/acmeStatus.txt"
            << "http://mon1/base/status/acmeStatus.txt"
            << "http://mon1/base/logs/acme/index.html";
        QTest::newRow("port and path") << "mon1:81/base"
                                       << "acme" << 1 << "mon1" << 81 << "/base/status/acme.txt"
                                       << "http://mon1:81/base/status/acme.txt"
                                       << "http://mon1:81/base/logs/acme/index.html";
        QTest::newRow("hash cuts the path, not the log")
            << "mon1"
            << "ac#me" << 0 << "mon1" << 80 << "/status/ac"
            << "http://mon1/status/ac"
            << "http://mon1/logs/ac#me/index.html";
        QTest::newRow("blanks around server and user are no part of them")
            << " mon1 "
            << " acme " << 0 << "mon1" << 80 << "/status/acmeStatus.txt"
            << "http://mon1/status/acmeStatus.txt"
            << "http://mon1/logs/acme/index.html";
        QTest::newRow("invisible bytes are percent-encoded")
            << "mon1/a b"
            << "ok2 HTTP/1.1\x0bX\u00e9" << 0 << "mon1" << 80
            << "/a%20b/status/ok2%20HTTP/1.1%0BX%C3%A9Status.txt"
            << "http://mon1/a%20b/status/ok2%20HTTP/1.1%0BX%C3%A9Status.txt"
            << "http://mon1/a%20b/logs/ok2%20HTTP/1.1%0BX%C3%A9/index.html";
        QTest::newRow("lowest port") << "mon1:1"
                                     << "acme" << 1 << "mon1" << 1 << "/status/acme.txt"
                                     << "http://mon1:1/status/acme.txt"
                                     << "http://mon1:1/logs/acme/index.html";
        QTest::newRow("highest port") << "mon1:65535"
                                      << "acme" << 1 << "mon1" << 65535 << "/status/acme.txt"
                                      << "http://mon1:65535/status/acme.txt"
                                      << "http://mon1:65535/logs/acme/index.html";
        QTest::newRow("IPv6 with a port")
            << "[::1]:8080"
            << "acme" << 0 << "::1" << 8080 << "/status/acmeStatus.txt"
            << "http://[::1]:8080/status/acmeStatus.txt"
            << "http://[::1]:8080/logs/acme/index.html";
        QTest::newRow("IPv6 without a port")
            << "[2001:db8::5]/base"
            << "acme" << 1 << "2001:db8::5" << 80 << "/base/status/acme.txt"
            << "http://[2001:db8::5]/base/status/acme.txt"
            << "http://[2001:db8::5]/base/logs/acme/index.html";
    }
    void derive() {
        QFETCH(QString, server);
        QFETCH(QString, user);
        QFETCH(int, split);
        const FetchTarget t = deriveFetchTarget({QStringLiteral("Acme"), server, user}, split);
        QTEST(t.host, "host");
        QTEST(t.directPort(), "port");
        QTEST(t.requestPath, "path");
        QTEST(t.proxyRequestPath(), "proxyPath");
        QTEST(t.logUrl, "logUrl");
        QVERIFY(t.portError.isEmpty());
    }

    void portIsPerAccount() {
        // An explicit port belongs to its own account only.
        const FetchTarget first = deriveFetchTarget({"A", "mon1:8080", "a"}, 0);
        const FetchTarget second = deriveFetchTarget({"B", "mon2", "b"}, 0);
        QCOMPARE(first.directPort(), 8080);
        QCOMPARE(second.directPort(), 80);
    }

    void badPortIsAnError_data() {
        QTest::addColumn<QString>("server");
        QTest::newRow("letters") << "mon1:http";
        QTest::newRow("empty") << "mon1:";
        QTest::newRow("zero") << "mon1:0";
        QTest::newRow("too large") << "mon1:65536";
        QTest::newRow("sign") << "mon1:+18100";
        QTest::newRow("blank before the port") << "mon1: 18100";
    }
    void badPortIsAnError() {
        QFETCH(QString, server);
        const FetchTarget t = deriveFetchTarget({"A", server, "a"}, 0);
        QVERIFY(!t.portError.isEmpty());
        QCOMPARE(t.host, QStringLiteral("mon1"));
    }

    void unusableServersAreAnError_data() {
        QTest::addColumn<QString>("server");
        QTest::newRow("blanks only") << "   ";
        QTest::newRow("no closing bracket") << "[::1:8080";
        QTest::newRow("text after the bracket") << "[::1]8080";
        QTest::newRow("bad port") << "[::1]:x";
    }
    void unusableServersAreAnError() {
        QFETCH(QString, server);
        QVERIFY(!deriveFetchTarget({"A", server, "a"}, 0).portError.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFetchTarget)
#include "tst_fetchtarget.moc"
