#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

namespace courivane::testing {

// How the fake server answers one request path.
struct Script {
    enum class Mode {
        Whole,            // the reply in one write, then close
        Pieces,           // the reply in pieces of `pieceSize` bytes, `delayMs` apart, then close
        Delayed,          // the reply after `delayMs`, then close
        Never,            // read the request, answer nothing, keep the connection open
        CloseWithoutData, // close right after the request
        Reset,            // reset the connection right after the request
        KeepOpen,         // the reply in one write, connection left open
    };
    Mode mode = Mode::Whole;
    QByteArray reply;
    int pieceSize = 1;
    int delayMs = 0;
};

// A monitoring server on 127.0.0.1 that serves scripted replies by request path and records the
// bytes of every request.
class FakeMonitorServer : public QObject {
    Q_OBJECT
public:
    explicit FakeMonitorServer(QObject* parent = nullptr);

    bool listen(quint16 port = 0, const QHostAddress& address = QHostAddress::LocalHost);
    quint16 port() const { return m_server.serverPort(); }
    // "127.0.0.1:<port>" or "[::1]:<port>", a MonitoringServer value
    QString address() const;

    void setScript(const QString& path, const Script& script) { m_scripts.insert(path, script); }
    void setReply(const QString& path, const QByteArray& reply) {
        setScript(path, {Script::Mode::Whole, reply});
    }
    // Used for a path without a script of its own; by default a 404 page without the marker.
    void setDefault(const Script& script) { m_default = script; }

    QList<QByteArray> requests() const { return m_requests; }
    QList<QByteArray> requestLines() const;
    void clearRequests() { m_requests.clear(); }
    // Benchmarks turn the request log off, so that it does not count as the monitor's memory.
    void setRecordRequests(bool on) { m_record = on; }

    // A status text in the combined layout; fields ICMP, POP3, Receive, SMTP, Ryl, Send.
    static QByteArray combinedStatus(const char fields[6], const QByteArray& time);
    // A status text in the split layout; fields ICMP, Web, POP3, Receive, SMTP, Ryl, Send.
    static QByteArray splitStatus(const char fields[7], const QByteArray& time);
    // The text wrapped in an HTTP/1.0 reply with its header lines.
    static QByteArray httpReply(const QByteArray& body, const QByteArray& status = "200 OK");

private:
    void onNewConnection();
    void answer(QTcpSocket* socket, const QByteArray& request);

    QTcpServer m_server;
    QHash<QString, Script> m_scripts;
    Script m_default;
    QList<QByteArray> m_requests;
    bool m_record = true;
};

} // namespace courivane::testing
