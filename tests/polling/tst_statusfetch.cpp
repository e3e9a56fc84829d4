#include "polling/ReplyInterpreter.h"
#include "polling/StatusFetch.h"

#include "FakeMonitorServer.h"
#include "TestFiles.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

using namespace courivane;
using namespace courivane::testing;

namespace {

const QByteArray kStatus = FakeMonitorServer::combinedStatus("111111", "2026-07-01 12:00:00");
const QByteArray kReply = FakeMonitorServer::httpReply(kStatus);

// A direct connection, or one through the proxy at address:port (0: no usable port).
std::optional<ProxyServer> proxy(const QString& address = {}, quint16 port = 0) {
    if (address.isNull())
        return std::nullopt;
    return ProxyServer{address, port ? std::optional<quint16>(port) : std::nullopt};
}

FetchOutcome fetchOnce(StatusFetch& fetch, const FetchTarget& target,
                       const std::optional<ProxyServer>& through = {}, bool web = false) {
    QSignalSpy done(&fetch, &StatusFetch::finished);
    fetch.start(target, through, web);
    if (!done.wait(10000))
        qFatal("the fetch never finished");
    return done.first().first().value<FetchOutcome>();
}

FetchTarget target(const QString& server, const QString& user, bool web = false) {
    return deriveFetchTarget({"Acme", server, user}, web);
}

// The server's certificate; Certificates.pem: a file of tests/support/tls as the operator put it
// there, or pinned for "this" server or "another" port; the proxy: none, a tunnel, or a tunnel
// that sends a status of its own with its answer; the reason of the failure, or none.
enum Via { Direct, Tunnel, Forger, Forbidden, Overlong, Closer };
const std::tuple<const char*, const char*, const char*, Via, const char*> kTls[] = {
    {"a trusted chain", "localhost.pem", "ca.pem", Direct, ""},
    {"an unknown authority", "localhost.pem", "", Direct, "certificate not trusted"},
    {"self-signed", "self-signed.pem", "ca.pem", Direct, "certificate not trusted"},
    {"self-signed, put in the file", "self-signed.pem", "self-signed.pem", Direct, ""},
    {"its own certificate put in the file", "localhost.pem", "localhost.pem", Direct, ""},
    {"in the file, but for another host", "other-host.pem", "other-host.pem", Direct,
     "certificate is for another host"},
    {"in the file, but expired", "expired.pem", "expired.pem", Direct, "certificate expired"},
    {"another host's", "other-host.pem", "ca.pem", Direct, "certificate is for another host"},
    {"expired", "expired.pem", "ca.pem", Direct, "certificate expired"},
    {"self-signed, pinned", "self-signed.pem", "this self-signed.pem", Direct, ""},
    {"pinned, but expired", "expired.pem", "this expired.pem", Direct, "certificate expired"},
    {"pinned for another port", "self-signed.pem", "another self-signed.pem", Direct,
     "certificate not trusted"},
    // Its key signed the impostor's certificate: a pinned certificate vouches for no other.
    {"issued by a pinned certificate", "impostor.pem", "this self-signed.pem", Direct,
     "certificate not trusted"},
    {"through a tunnel", "localhost.pem", "ca.pem", Tunnel, ""},
    {"through a tunnel, untrusted", "self-signed.pem", "", Tunnel, "certificate not trusted"},
    {"through a tunnel, pinned", "self-signed.pem", "this self-signed.pem", Tunnel, ""},
    {"a status forged by the proxy", "localhost.pem", "ca.pem", Forger,
     "the proxy sent data before the tunnel was secured"},
    {"a tunnel refused", "localhost.pem", "ca.pem", Forbidden,
     "the proxy did not open a tunnel: HTTP/1.0 403 Forbidden"},
    {"an answer that never ends", "localhost.pem", "ca.pem", Overlong,
     "the proxy's answer to CONNECT is too long"},
    {"closed before it answered", "localhost.pem", "ca.pem", Closer,
     "the proxy closed the connection"},
};

// A reply's head: its status code, and whether it offers Basic authentication.
const std::tuple<const char*, QByteArray, int, bool> kChallenges[] = {
    {"Basic", "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"s\"\r\n\r\n", 401,
     true},
    {"any case, no blank", "HTTP/1.1 401 X\r\nwww-authenticate:basic\r\n\r\n", 401, true},
    {"Digest only", "HTTP/1.1 401 X\r\nWWW-Authenticate: Digest realm=x\r\n\r\n", 401, false},
    {"Basic in another header", "HTTP/1.0 401 X\r\nX-Note: Basic\r\n\r\n", 401, false},
    {"Basic in the body only", "HTTP/1.0 401 X\r\n\r\nWWW-Authenticate: Basic", 401, false},
    {"no status line", "RylStatus\r\n1\r\n", 0, false},
    {"two blanks before the code", "HTTP/1.0  401 X\r\nWWW-Authenticate: Basic\r\n\r\n", 401, true},
    {"two blanks before a 500", "HTTP/1.0  500 401 X\r\n\r\n", 500, false},
};

// Over TLS or not, the password stored; the reason of the failure, or none, and how many
// requests the server saw.
const std::tuple<const char*, bool, const char*, const char*, int> kAuthentication[] = {
    {"no password stored", true, "", "authentication required", 1},
    {"asked again with the password", true, "s3cret", "", 2},
    {"a wrong password", true, "guess", "the server refused the password", 2},
    {"never over plain HTTP", false, "s3cret", "password not sent over plain HTTP", 1},
};

// Server, user, split flag; host, port, request path and log page. A proxy is asked for the
// log page's scheme and authority, then the request path.
const std::tuple<const char*, const char*, const char*, int, const char*, int, const char*,
                 const char*>
    kTargets[] = {
        {"combined", "mon1", "acme", 0, "mon1", 80, "/status/acmeStatus.txt",
         "http://mon1/logs/acme/index.html"},
        {"split", "mon1", "acme", 1, "mon1", 80, "/status/acme.txt",
         "http://mon1/logs/acme/index.html"},
        {"port and path", "mon1:81/base", "acme", 1, "mon1", 81, "/base/status/acme.txt",
         "http://mon1:81/base/logs/acme/index.html"},
        {"path, combined", "mon1/base", "acme", 0, "mon1", 80, "/base/status/acmeStatus.txt",
         "http://mon1/base/logs/acme/index.html"},
        {"a slash at the end adds no folder", "mon1/base//", "acme", 0, "mon1", 80,
         "/base/status/acmeStatus.txt", "http://mon1/base/logs/acme/index.html"},
        {"nor after the host", "mon1:81/", "acme", 1, "mon1", 81, "/status/acme.txt",
         "http://mon1:81/logs/acme/index.html"},
        {"hash cuts the path, not the log", "mon1", "ac#me", 0, "mon1", 80, "/status/ac",
         "http://mon1/logs/ac#me/index.html"},
        {"blanks around server and user are no part of them", " mon1 ", " acme ", 0, "mon1", 80,
         "/status/acmeStatus.txt", "http://mon1/logs/acme/index.html"},
        {"invisible bytes are percent-encoded", "mon1/a b", "ok2 HTTP/1.1\x0bX\u00e9", 0, "mon1",
         80, "/a%20b/status/ok2%20HTTP/1.1%0BX%C3%A9Status.txt",
         "http://mon1/a%20b/logs/ok2%20HTTP/1.1%0BX%C3%A9/index.html"},
        {"IPv6 with a port", "[::1]:8080", "acme", 0, "::1", 8080, "/status/acmeStatus.txt",
         "http://[::1]:8080/logs/acme/index.html"},
        {"IPv6 and a path", "[2001:db8::5]/base", "acme", 1, "2001:db8::5", 80,
         "/base/status/acme.txt", "http://[2001:db8::5]/base/logs/acme/index.html"},
};

// The port's own rules are the options file's; one bad port each after a name and a bracket.
const char* const kUnusable[] = {"mon1:http", "   ",       "/base",     ":80",
                                 "mon 1",     "[::1:8080", "[::1]8080", "[::1]:x"};

// How servers answer, and what the fetch makes of it; an empty reason is a whole status.
constexpr Script::End kOpen = Script::End::KeepOpen;
const QByteArray kEcho = "HTTP/1.0 200 OK\r\nContent-Location: /status/cherylStatus.txt\r\n"
                         "X-Padding: 0123456789012345678901234567890123456789012345678901\r\n";
// A status in chunks of four bytes: its size lines outweigh its fields.
QByteArray inChunks(const QByteArray& body) {
    QByteArray text = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (qsizetype at = 0; at < body.size(); at += 4)
        text += QByteArray::number(body.mid(at, 4).size()) + "\r\n" + body.mid(at, 4) + "\r\n";
    return text;
}
const QByteArray kChunked = inChunks(kStatus);
// clang-format off
const std::tuple<const char*, Script, int, const char*> kAnswers[] = {
    {"one byte at a time", {kStatus, 1, 2}, 5000, ""},
    {"marker in the second piece", {"HTTP/1.0 200 OK\r\nServer: x\r\n\r\n" + kStatus, 40, 2}, 5000,
     ""},
    {"a whole status on an open connection ends the fetch", {kReply, 0, 0, kOpen}, 60000, ""},
    {"so does the shortest one", {kStatus.left(kStatus.indexOf(kMarker) + requiredReplyLength(0)),
     0, 0, kOpen}, 60000, ""},
    {"closed without data", {}, 5000, "the server closed without a status"},
    {"reset", {{}, 0, 0, Script::End::Reset}, 5000, "the server reset the connection"},
    {"a server that never answers is bounded", {{}, 0, 0, kOpen}, 200, "no complete reply"},
    // An echo of the request path in another letter case is no reason to stop listening.
    {"an echo in the head only", {kEcho, 0, 0, kOpen}, 300, "no complete reply"},
    {"an HTTP error is no status", {FakeMonitorServer::httpReply(kStatus, "500 Internal Error")}, 5000,
     "HTTP 500 Internal Error"},
    {"cut short", {"RylStatus\r\n1\r\n1\r\n"}, 5000, "the status is cut short"},
    // The size lines count as bytes after the marker: the fetch waits for the fields themselves.
    {"a chunked status on an open connection", {kChunked, 12, 5, kOpen}, 60000, ""},
    {"the shortest one in chunks", {inChunks(kStatus.left(kStatus.indexOf(kMarker) +
     requiredReplyLength(0))), 0, 0, kOpen}, 60000, ""},
    {"an oversized reply stops at 64 KiB",
     {"HTTP/1.0 200 OK\r\n\r\n" + QByteArray(200 * 1024, 'x'), 0, 0, kOpen}, 5000,
     "the reply holds no status"},
};
// clang-format on

} // namespace

class TestStatusFetch : public QObject {
    Q_OBJECT
private:
    FakeMonitorServer m_server;

private slots:
    void overTls_data() { addRows(kTls); }
    void overTls() {
        const auto& [name, certificate, trusted, via, reason] = currentRow(kTls);
        FakeMonitorServer server;
        server.useTls(QString::fromLatin1(certificate));
        QVERIFY(server.listen());
        server.setReply("/status/acmeStatus.txt", kReply);
        FakeTunnelProxy tunnel;
        if (via == Forger)
            tunnel.forge(FakeMonitorServer::combinedStatus("111111", FakeMonitorServer::now()));
        else if (via == Forbidden)
            tunnel.refuse("HTTP/1.0 403 Forbidden\r\n\r\n");
        else if (via == Overlong)
            tunnel.refuse("HTTP/1.0 200 OK\r\nX: " + QByteArray(9000, 'a') + "\r\n");
        else if (via == Closer)
            tunnel.refuse({});
        QVERIFY(tunnel.listen());
        QTemporaryDir tmp;
        const QDir dir(tmp.path());
        const QStringList file = QString::fromLatin1(trusted).split(u' ');
        const QString authority = server.address();
        if (file.size() == 2)
            QCOMPARE(trustCertificate(dir, tlsFile(file.last()),
                                      file.first() == "this" ? authority : "127.0.0.1:1"),
                     QString());
        else if (!file.first().isEmpty())
            writeBytes(dir, kCertificatesFileName, tlsFile(file.first()));
        const TrustedCertificates read = readTrustedCertificates(dir);
        QCOMPARE(read.problems, QStringList());
        StatusFetch fetch;
        fetch.setSecurity({read.certificates, read.pinned, nullptr});
        const FetchOutcome outcome =
            fetchOnce(fetch, target("https://" + server.address(), "acme"),
                      via != Direct ? proxy(QStringLiteral("127.0.0.1"), tunnel.port()) : proxy());
        QCOMPARE(outcome.reason, QString::fromLatin1(reason));
        QCOMPARE(outcome.reply, *reason ? QByteArray() : kReply);
        // The request inside the tunnel is the direct one; the proxy saw only the CONNECT.
        QCOMPARE(server.requestLines(),
                 *reason ? QList<QByteArray>{}
                         : QList<QByteArray>{"GET /status/acmeStatus.txt HTTP/1.0"});
        if (via == Tunnel)
            QCOMPARE(tunnel.heads(), QList<QByteArray>{"CONNECT " + server.address().toLatin1() +
                                                       " HTTP/1.0\r\n\r\n"});
        // A refused certificate comes with the fetch and its server, for the user to trust.
        if (QString::fromLatin1(reason).startsWith("certificate"))
            QVERIFY(!QSslCertificate(outcome.certificate).isNull() &&
                    outcome.certificateServer == authority);
    }

    void aPlainServerAskedOverTls() {
        // As a web server answers a TLS greeting on its plain port: a 400 page, then the end.
        QTcpServer plain;
        QVERIFY(plain.listen(QHostAddress::LocalHost));
        connect(&plain, &QTcpServer::newConnection, &plain, [&plain] {
            QTcpSocket* socket = plain.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                socket->write("HTTP/1.1 400 Bad Request\r\n\r\n");
                socket->disconnectFromHost();
            });
        });
        StatusFetch fetch;
        QCOMPARE(
            fetchOnce(fetch, target(QStringLiteral("https://127.0.0.1:%1").arg(plain.serverPort()),
                                    "acme"))
                .reason,
            QStringLiteral("the server does not speak HTTPS"));
    }

    void theFilesOfTrustAndPasswords() {
        QTemporaryDir tmp;
        const QDir dir(tmp.path());
        QVERIFY(readTrustedCertificates(dir).certificates.isEmpty());
        const QByteArray pem = tlsFile("self-signed.pem");
        QCOMPARE(trustCertificate(dir, pem, "m1:443"), QString());
        const QString path = dir.filePath(kCertificatesFileName);
        const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        QVERIFY(!(QFileInfo(path).permissions() & others)); // 0600, as the other files
        // What the operator put there by hand stays as it was, an authority; pins follow it.
        const QByteArray own = "# our CA\n" + tlsFile("ca.pem");
        writeBytes(dir, kCertificatesFileName, own);
        QCOMPARE(trustCertificate(dir, pem, "m1:443"), QString());
        QCOMPARE(trustCertificate(dir, pem, "M1:443"), QString()); // once is enough
        QCOMPARE(trustCertificate(dir, pem, "m2:8443"), QString());
        QVERIFY(readBytes(dir, kCertificatesFileName).startsWith(own));
        const TrustedCertificates trusted = readTrustedCertificates(dir);
        const QByteArray sha = QSslCertificate(pem).digest(QCryptographicHash::Sha256);
        QCOMPARE(trusted.certificates, QSslCertificate::fromData(tlsFile("ca.pem")));
        QCOMPARE(trusted.pinned, (QList<PinnedCertificate>{{"m1:443", sha}, {"m2:8443", sha}}));
        QCOMPARE(certificateSummary(QSslCertificate(tlsFile("no-organisation.pem"))).first(),
                 QStringLiteral("Subject: plain.invalid"));
        QCOMPARE(trustCertificate(dir, "not a certificate", "m1:443"),
                 QStringLiteral("it is not one certificate"));
        QCOMPARE(trustCertificate(dir, pem, "m1:443\nPinned for m3:443"),
                 QStringLiteral("the server has no usable name"));
        writeBytes(dir, kCertificatesFileName,
                   readBytes(dir, kCertificatesFileName) +
                       "-----BEGIN CERTIFICATE-----\nbroken\n-----END CERTIFICATE-----\n");
        const TrustedCertificates broken = readTrustedCertificates(dir);
        QVERIFY(broken.pinned.size() == 2 && broken.problems.size() == 1);
        // A line that is not three fields is refused without being shown: it holds a password.
        writeBytes(dir, "passwords", "https://m1\tacme\tsecret\nhttps://m2 acme secret2\n");
        QFile::setPermissions(dir.filePath("passwords"), QFile::ReadOwner | QFile::WriteOwner);
        const PasswordFileRead read = readPasswordFile(dir.filePath("passwords"));
        QVERIFY(read.problem.contains("line 2") && !read.problem.contains("secret"));
        QVERIFY(read.store.isEmpty());
    }

    void challenges_data() { addRows(kChallenges); }
    void challenges() {
        const auto& [name, reply, status, basic] = currentRow(kChallenges);
        QCOMPARE(httpStatus(reply), status);
        QCOMPARE(offersBasic(reply), basic);
    }

    void basicAuthentication_data() { addRows(kAuthentication); }
    void basicAuthentication() {
        const auto& [name, tls, stored, reason, requests] = currentRow(kAuthentication);
        FakeMonitorServer server;
        if (tls)
            server.useTls(QStringLiteral("localhost.pem"));
        QVERIFY(server.listen());
        server.setReply("/status/acmeStatus.txt", kReply);
        server.requireCredentials("acme:s3cret");
        const QString address = (tls ? "https://" : "") + server.address();
        MemoryPasswordStore passwords;
        if (*stored)
            passwords.set(address, "acme", QString::fromLatin1(stored));
        StatusFetch fetch;
        fetch.setSecurity({QSslCertificate::fromData(tlsFile("ca.pem")), {}, &passwords});
        const FetchOutcome outcome = fetchOnce(fetch, target(" " + address, "acme"));
        QCOMPARE(outcome.reason, QString::fromLatin1(reason));
        QCOMPARE(outcome.failed, *reason != 0);
        // The first request never carries credentials; the second carries the stored ones.
        QList<QByteArray> sent = server.requests();
        QCOMPARE(sent.size(), requests);
        QVERIFY(!sent.first().contains("Authorization"));
        if (requests == 2)
            QVERIFY(sent.last().endsWith("\r\nCache-Control: no-cache\r\nAuthorization: Basic " +
                                         QByteArray(stored).prepend("acme:").toBase64() +
                                         "\r\n\r\n"));
    }

    void aPasswordFoundAfterTheBoundIsNotUsed() {
        // The keyring answers after the fetch's bound has ended it: the fetch has ended once.
        struct LateStore : MemoryPasswordStore {
            void find(const QString&, const QString&, QObject* context, Found found) override {
                QTimer::singleShot(300, context, [this, found] {
                    found(QStringLiteral("s3cret"));
                    answered = true;
                });
            }
            bool answered = false;
        } passwords;
        FakeMonitorServer server;
        server.useTls(QStringLiteral("localhost.pem"));
        QVERIFY(server.listen());
        server.requireCredentials("acme:s3cret");
        StatusFetch fetch;
        fetch.setSecurity({QSslCertificate::fromData(tlsFile("ca.pem")), {}, &passwords});
        fetch.setTimeoutMs(150);
        QSignalSpy done(&fetch, &StatusFetch::finished);
        fetch.start(target("https://" + server.address(), "acme"), proxy(), 0);
        QVERIFY(done.wait(2000));
        // Once the late answer has come, no new connection was begun for it.
        QTRY_VERIFY(passwords.answered);
        QVERIFY(fetch.findChildren<QTcpSocket*>().isEmpty());
        QCOMPARE(done.size(), 1);
        QVERIFY(done.first().first().value<FetchOutcome>().timedOut);
        QCOMPARE(server.requests().size(), 1);
    }

    void initTestCase() { QVERIFY(m_server.listen()); }
    void init() { m_server.clearRequests(); }

    void derive_data() { addRows(kTargets); }
    void derive() {
        const auto& [name, server, user, split, host, port, path, log] = currentRow(kTargets);
        const FetchTarget t = deriveFetchTarget({"Acme", server, QString::fromUtf8(user)}, split);
        QCOMPARE(t.host, QString::fromUtf8(host));
        QCOMPARE(t.directPort(), port);
        QCOMPARE(t.requestPath, QString::fromUtf8(path));
        QCOMPARE(t.logUrl, QString::fromUtf8(log));
        QCOMPARE(t.proxyRequestPath(), t.logUrl.section(u'/', 0, 2) + path);
        QVERIFY(t.addressError.isEmpty());
    }

    void unusableServersAreAnError() {
        for (const char* server : kUnusable) {
            const FetchTarget t = deriveFetchTarget({"A", server, "a"}, 0);
            QVERIFY2(!t.addressError.isEmpty(), server);
            if (QByteArray(server).startsWith("mon1"))
                QCOMPARE(t.host, QStringLiteral("mon1"));
        }
    }

    void theRequestNamesTheServerAndAsksForNoCache() {
        StatusFetch fetch;
        fetchOnce(fetch, target(m_server.address() + "/base", "acme", 1), proxy(), 1);
        QCOMPARE(m_server.requests(),
                 QList<QByteArray>{
                     "GET /base/status/acme.txt HTTP/1.0\r\nHost: " + m_server.address().toUtf8() +
                     "\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n\r\n"});
        // A name-based virtual host serves the status only to a request that names it.
        FakeMonitorServer named;
        QVERIFY(named.listen());
        named.serveOnlyHost("localhost:" + QByteArray::number(named.port()));
        named.setReply("/status/acmeStatus.txt", kReply);
        const QString byName = QStringLiteral("localhost:%1").arg(named.port());
        QCOMPARE(fetchOnce(fetch, target(byName, "acme")).reply, kReply);
        // A caching proxy on the way is told to ask the server again.
        FakeMonitorServer cache;
        cache.setCaching(true);
        QVERIFY(cache.listen());
        const QByteArray url = "http://mon1/status/acmeStatus.txt";
        cache.setReply(url, kReply);
        QCOMPARE(fetchOnce(fetch, target("mon1", "acme"), proxy("127.0.0.1", cache.port())).reply,
                 kReply);
        const QByteArray failing = FakeMonitorServer::httpReply(
            FakeMonitorServer::combinedStatus("111011", "2026-07-01 12:00:00"));
        cache.setReply(url, failing);
        QCOMPARE(fetchOnce(fetch, target("mon1", "acme"), proxy("127.0.0.1", cache.port())).reply,
                 failing);
    }

    void answers_data() { addRows(kAnswers); }
    void answers() {
        const auto& [name, script, timeoutMs, reason] = currentRow(kAnswers);
        m_server.setScript(QStringLiteral("/status/answerStatus.txt"), script);
        StatusFetch fetch;
        fetch.setTimeoutMs(timeoutMs);
        const FetchOutcome outcome = fetchOnce(fetch, target(m_server.address(), "answer"));
        const Reply reply =
            outcome.failed ? failedReply(outcome.reason) : interpretReply(outcome.reply, 0);
        QVERIFY2(reply.reason.contains(reason), qPrintable(reply.reason));
        QCOMPARE(reply.failed, *reason != 0);
        QVERIFY(script.reply.startsWith(outcome.reply.left(script.reply.size())));
        if (script.reply.size() > StatusFetch::kMaxReplyBytes)
            QCOMPARE(outcome.reply.size(), StatusFetch::kMaxReplyBytes);
        if (reply.reason.contains("no complete")) // ended by its timer: the socket is released
            QTRY_VERIFY(!fetch.findChild<PlainSocket*>()->isOpen());
    }

    void throughAProxy() {
        // A proxy is asked for the whole URL; the fake server answers it as it answers a path.
        FakeMonitorServer httpProxy;
        QVERIFY(httpProxy.listen());
        const QString mon1 = QStringLiteral("mon1:%1").arg(m_server.port());
        httpProxy.setReply("http://" + mon1 + "/status/acmeStatus.txt", kReply);
        StatusFetch fetch;
        const FetchOutcome outcome = fetchOnce(
            fetch, target(mon1, "acme"), proxy(QStringLiteral("127.0.0.1"), httpProxy.port()));
        QVERIFY(!outcome.failed);
        QVERIFY(outcome.reply.contains(kStatus));
        // The explicit port stays in the URL.
        QCOMPARE(httpProxy.requestLines(), QList<QByteArray>{"GET http://" + mon1.toUtf8() +
                                                             "/status/acmeStatus.txt HTTP/1.0"});
        // Proxy settings that cannot work fail without a connection.
        for (const auto& bad : {proxy("", httpProxy.port()), proxy("127.0.0.1")})
            QVERIFY(fetchOnce(fetch, target(mon1, "acme"), bad).failed);
        QCOMPARE(httpProxy.requests().size(), 1);
        // A bracketed literal as the proxy address; IPv6 literals keep their brackets in the URL.
        const FetchOutcome v6 =
            fetchOnce(fetch, target(QStringLiteral("[::1]:1"), "acme"),
                      proxy(QStringLiteral("[::ffff:127.0.0.1]"), httpProxy.port()));
        QCOMPARE(httpProxy.requestLines().last(),
                 QByteArray("GET http://[::1]:1/status/acmeStatus.txt HTTP/1.0"));
    }

    void theLowestPortIsTried() {
        StatusFetch fetch;
        const FetchOutcome outcome = fetchOnce(fetch, target(QStringLiteral("127.0.0.1:1"), "a"));
        QCOMPARE(outcome.reason, QStringLiteral("the server refused the connection"));
        // Through a proxy that is not there, the reason names the proxy.
        QCOMPARE(fetchOnce(fetch, target(QStringLiteral("mon"), "a"), proxy("127.0.0.1", 1)).reason,
                 QStringLiteral("the proxy refused the connection"));
    }

    // With no descriptor left the socket cannot be made, and the reason says so.
    void noDescriptorLeft() {
        StatusFetch fetch;
        rlimit old{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &old) == 0);
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        rlimit none = old;
        none.rlim_cur = rlim_t(lowestFree);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &none) == 0);
        auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_NOFILE, &old); });
        const FetchOutcome outcome = fetchOnce(fetch, target(QStringLiteral("127.0.0.1:1"), "a"));
        restore.dismiss();
        ::setrlimit(RLIMIT_NOFILE, &old);
        QCOMPARE(outcome.reason, QString::fromLocal8Bit(std::strerror(EMFILE)));
    }

    void aHostNameIsLookedUp() {
        // "localhost" may name ::1 first, where nothing listens: the next address is tried.
        m_server.setReply(QStringLiteral("/status/acmeStatus.txt"), kReply);
        StatusFetch fetch;
        const QString server = QStringLiteral("localhost:%1").arg(m_server.port());
        const FetchOutcome outcome = fetchOnce(fetch, target(server, "acme"));
        QVERIFY2(!outcome.failed, qPrintable(outcome.reason));
        QVERIFY(outcome.reply.contains(kStatus));
    }

    void ipv6Loopback() {
        FakeMonitorServer server6;
        if (!server6.listen(0, QHostAddress::LocalHostIPv6))
            QSKIP("no IPv6 loopback on this machine");
        server6.setReply(QStringLiteral("/status/acmeStatus.txt"), kReply);
        StatusFetch fetch;
        QVERIFY(!fetchOnce(fetch, target(server6.address(), "acme")).failed);
    }

    void aLateEventOfAnOldSocketReachesNothing() {
        m_server.setScript(QStringLiteral("/status/slowStatus.txt"), {kReply, 0, 100});
        m_server.setReply(QStringLiteral("/status/fastStatus.txt"), kReply);
        StatusFetch fetch;
        QSignalSpy done(&fetch, &StatusFetch::finished);
        fetch.start(target(m_server.address(), "slow"), proxy(), 0);
        fetch.start(target(m_server.address(), "fast"), proxy(), 0);
        QVERIFY(done.wait());
        // A second slow fetch ends after the first slow reply went to its released socket.
        fetch.start(target(m_server.address(), "slow"), proxy(), 0);
        QVERIFY(done.wait());
        QCOMPARE(done.size(), 2);
        QVERIFY(!done.last().first().value<FetchOutcome>().failed);
    }
};

QTEST_GUILESS_MAIN(TestStatusFetch)
#include "tst_statusfetch.moc"
