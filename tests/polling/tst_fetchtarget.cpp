#include "polling/FetchTarget.h"

#include "TestFiles.h"

using namespace courivane;
using namespace courivane::testing;

namespace {

const struct {
    const char* name;
    const char* server;
    const char* user;
    int split;
    const char* host;
    int port;
    const char* path; // the URL the proxy is asked for is http://<server as written><path>
    const char* log;
} kTargets[] = {
    {"combined", "mon1", "acme", 0, "mon1", 80, "/status/acmeStatus.txt", "/logs/acme"},
    {"split", "mon1", "acme", 1, "mon1", 80, "/status/acme.txt", "/logs/acme"},
    {"port and path", "mon1:81/base", "acme", 1, "mon1", 81, "/base/status/acme.txt",
     "/base/logs/acme"},
    {"path, combined", "mon1/base", "acme", 0, "mon1", 80, "/base/status/acmeStatus.txt",
     "/base/logs/acme"},
    {"hash cuts the path, not the log", "mon1", "ac#me", 0, "mon1", 80, "/status/ac",
     "/logs/ac#me"},
    {"blanks around server and user are no part of them", " mon1 ", " acme ", 0, "mon1", 80,
     "/status/acmeStatus.txt", "/logs/acme"},
    {"invisible bytes are percent-encoded", "mon1/a b", "ok2 HTTP/1.1\x0bX\u00e9", 0, "mon1", 80,
     "/a%20b/status/ok2%20HTTP/1.1%0BX%C3%A9Status.txt", "/a%20b/logs/ok2%20HTTP/1.1%0BX%C3%A9"},
    {"lowest port", "mon1:1", "acme", 1, "mon1", 1, "/status/acme.txt", "/logs/acme"},
    {"highest port", "mon1:65535", "acme", 1, "mon1", 65535, "/status/acme.txt", "/logs/acme"},
    {"IPv6 with a port", "[::1]:8080", "acme", 0, "::1", 8080, "/status/acmeStatus.txt",
     "/logs/acme"},
    {"IPv6 and a path", "[2001:db8::5]/base", "acme", 1, "2001:db8::5", 80, "/base/status/acme.txt",
     "/base/logs/acme"},
};

const char* const kUnusable[] = {"mon1:http",   "mon1:", "mon1:0",    "mon1:65536", "mon1:+18100",
                                 "mon1: 18100", "   ",   "[::1:8080", "[::1]8080",  "[::1]:x"};

} // namespace

class TestFetchTarget : public QObject {
    Q_OBJECT
private slots:
    void derive_data() { addRows(kTargets); }
    void derive() {
        const auto& r = currentRow(kTargets);
        const FetchTarget t =
            deriveFetchTarget({"Acme", r.server, QString::fromUtf8(r.user)}, r.split);
        QCOMPARE(t.host, QString::fromUtf8(r.host));
        QCOMPARE(t.directPort(), r.port);
        QCOMPARE(t.requestPath, QString::fromUtf8(r.path));
        const QString authority = QString::fromLatin1(r.server).trimmed().section(u'/', 0, 0);
        QCOMPARE(t.proxyRequestPath(), "http://" + authority + r.path);
        QCOMPARE(t.logUrl, "http://" + authority + r.log + "/index.html");
        QVERIFY(t.portError.isEmpty());
    }

    void unusableServersAreAnError() {
        for (const char* server : kUnusable) {
            const FetchTarget t = deriveFetchTarget({"A", server, "a"}, 0);
            QVERIFY2(!t.portError.isEmpty(), server);
            if (QByteArray(server).startsWith("mon1"))
                QCOMPARE(t.host, QStringLiteral("mon1"));
        }
    }
};

QTEST_GUILESS_MAIN(TestFetchTarget)
#include "tst_fetchtarget.moc"
