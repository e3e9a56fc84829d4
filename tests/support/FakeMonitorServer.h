#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <QTcpServer>

#include <atomic>
#include <optional>

class QTcpSocket;

namespace courivane::testing {

// How the fake server answers one request path: the reply in pieces of `pieceSize` bytes (all at
// once when 0), each `delayMs` after the request or the piece before; then the connection ends.
// An empty reply that is kept open is a server that never answers.
struct Script {
    enum class End { Close, KeepOpen, Reset };
    QByteArray reply;
    int pieceSize = 0;
    int delayMs = 0;
    End end = End::Close;
};

// A monitoring server on 127.0.0.1 that serves scripted replies by request path and records the
// bytes of every request.
class FakeMonitorServer : public QObject {
    Q_OBJECT
public:
    explicit FakeMonitorServer(QObject* parent = nullptr);

    bool listen(quint16 port = 0, const QHostAddress& address = QHostAddress::LocalHost);
    // Serves over TLS with this certificate (a file of tests/support/tls) and the tests' key.
    void useTls(const QString& certificateFile);
    quint16 port() const { return m_server.serverPort(); }
    // "127.0.0.1:<port>" or "[::1]:<port>", a MonitoringServer value
    QString address() const;

    void setScript(const QString& path, const Script& script) { m_scripts.insert(path, script); }
    void setReply(const QString& path, const QByteArray& reply) { setScript(path, {reply}); }
    // Asks for Basic authentication: a request without "user:password" gets a 401.
    void requireCredentials(const QByteArray& userAndPassword) { m_credentials = userAndPassword; }
    // Used for a path without a script of its own; by default a 404 page without the marker.
    void setDefault(const Script& script) { m_default = script; }
    // A name-based virtual host: only a request naming this host ("Host: name") is served its
    // scripts; any other gets the default site.
    void serveOnlyHost(const QByteArray& name) { m_host = name; }
    // A caching proxy: the first answer to a path is served again for it, unless the request
    // asks for no cache.
    void setCaching(bool on) { m_caching = on; }

    QList<QByteArray> requests() const { return m_requests; }
    QList<QByteArray> requestLines() const;
    void clearRequests() { m_requests.clear(); }
    // The most connections this server, and all of them together, held open at once since the
    // last reset; a connection counts until the server ends it.
    int maxOpen() const { return m_maxOpen; }
    static int maxOpenAll() { return s_maxOpenAll; }
    void resetOpenCounts() {
        m_maxOpen = m_open;
        s_maxOpenAll = s_openAll.load();
    }
    // Benchmarks turn the request log off, so that it does not count as the monitor's memory.
    void setRecordRequests(bool on) { m_record = on; }

    // A status text in the combined layout; fields ICMP, POP3, Receive, SMTP, Ryl, Send.
    static QByteArray combinedStatus(const char fields[6], const QByteArray& time);
    // A status text in the split layout; fields ICMP, Web, POP3, Receive, SMTP, Ryl, Send.
    static QByteArray splitStatus(const char fields[7], const QByteArray& time);
    // This machine's time in UTC as a status writes it: a status that is fresh.
    static QByteArray now();
    // The text wrapped in an HTTP/1.0 reply with its header lines.
    static QByteArray httpReply(const QByteArray& body, const QByteArray& status = "200 OK");

private:
    void onNewConnection();
    // Writes the piece at `offset` once the script's delay is `due`, then the rest in turn.
    void answer(QTcpSocket* socket, const Script& script, qsizetype offset, bool due = false);
    void opened();
    void closed();

    // Accepts plain connections, or TLS ones once a certificate is set.
    class Listener : public QTcpServer {
    public:
        std::optional<QSslConfiguration> tls;

    protected:
        void incomingConnection(qintptr descriptor) override;
    };
    Listener m_server;
    QByteArray m_credentials;
    QByteArray m_host;
    bool m_caching = false;
    QHash<QString, Script> m_cache;
    QHash<QString, Script> m_scripts;
    Script m_default;
    QList<QByteArray> m_requests;
    bool m_record = true;
    int m_open = 0;
    int m_maxOpen = 0;
    // Atomic: benchmarks run several servers in threads of their own.
    static inline std::atomic<int> s_openAll = 0;
    static inline std::atomic<int> s_maxOpenAll = 0;
};

// An HTTP proxy on 127.0.0.1 that opens CONNECT tunnels to loopback ports only and records each
// request head it was sent; anything else gets a 405.
class FakeTunnelProxy : public QObject {
    Q_OBJECT
public:
    explicit FakeTunnelProxy(QObject* parent = nullptr);
    bool listen() { return m_server.listen(QHostAddress::LocalHost); }
    quint16 port() const { return m_server.serverPort(); }
    QList<QByteArray> heads() const { return m_heads; }
    // A hostile proxy: sends these bytes in the same write as its answer to CONNECT.
    void forge(const QByteArray& bytes) { m_forged = bytes; }
    // Answers CONNECT with these bytes alone (none: nothing) and closes, opening no tunnel.
    void refuse(const QByteArray& answer) { m_refusal = answer; }

private:
    void onNewConnection();
    QTcpServer m_server;
    QList<QByteArray> m_heads;
    QByteArray m_forged;
    std::optional<QByteArray> m_refusal;
};

// A file of the tests' TLS data (tests/support/tls), read whole.
QByteArray tlsFile(const QString& name);

} // namespace courivane::testing
