#pragma once

#include "config/OptionsFile.h"
#include "polling/FetchSecurity.h"
#include "polling/FetchTarget.h"
#include "polling/PlainSocket.h"
#include "polling/ReplyInterpreter.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslError>
#include <QString>
#include <QTimer>

#include <variant>

class QSslSocket;
class QTcpSocket;

namespace courivane {

// How one fetch ended: a reply to interpret, or a failure with its reason.
struct FetchOutcome {
    bool failed = false;
    bool timedOut = false; // ended by the fetch's bound without a complete reply
    QString reason;
    QByteArray reply;
    QByteArray certificate;    // the refused certificate, in PEM, when verification failed
    QString certificateServer; // the server ("host:port") that showed it
    bool viaProxy = false;     // the reply came from the HTTP proxy, which asked the server
};

// Fetches one account's status text over HTTP/1.0: plain HTTP on a connection kept from one
// fetch to the next, HTTPS on a TLS socket created afresh for every fetch. The reply is collected
// until the peer closes, or until its body holds the marker spelt exactly and the whole layout
// behind it, so a reply split over many packets is read as one.
class StatusFetch : public QObject {
    Q_OBJECT
public:
    static constexpr int kFetchTimeoutMs = 30000;
    static constexpr qsizetype kMaxReplyBytes = 64 * 1024;

    explicit StatusFetch(QObject* parent = nullptr);
    ~StatusFetch() override;

    // Bounds the whole fetch, connection and reply; tests shorten it.
    void setTimeoutMs(int ms) { m_timeout.setInterval(ms); }
    int timeoutMs() const { return m_timeout.interval(); }
    // What a fetch that ran out its bound fails with.
    QString timeoutReason() const;
    // The fetch under way has waited out all but a tenth of its bound.
    bool boundNearlyOut() const;

    // What fetches over TLS trust beyond the system, and where a password is looked up.
    void setSecurity(const FetchSecurity& security) { m_security = security; }

    // Starts a fetch; its outcome arrives through finished(), never from inside this call.
    // With a proxy, the fetch goes through it. A server that asks for Basic authentication is
    // asked once more with its stored password, over TLS only.
    void start(const FetchTarget& target, const std::optional<ProxyServer>& proxy, bool web);

    // Ends the fetch under way without an outcome.
    void abort();

    // The request line, the server's name (`host`, with ":port" when the server names one) and
    // no-cache headers, and with credentials their header.
    static QByteArray request(const QString& path, const QString& host,
                              const QByteArray& basicCredentials = {});

signals:
    void finished(const courivane::FetchOutcome& outcome);

protected:
    // The connection of plain HTTP fetches, made once and kept; a test scripts one of its own.
    virtual PlainSocket* newPlainSocket();

private:
    // Connects for the fetch under way: the first time, and again with credentials.
    void connectNow();
    // Where a connection goes: the server, or the proxy with the server's URL as its path.
    struct Endpoint {
        QString host;
        qint32 port = 0;
        QString path;
    };
    // The endpoint for the fetch under way, or why there is none.
    std::variant<Endpoint, QString> endpointOf(const FetchTarget& target);
    void openSocket(const Endpoint& to);
    // Plain HTTP: the address looked up where the host is a name, then the connection.
    void openPlain(const Endpoint& to);
    void onPlainData();
    void onPlainFailed(int error);
    void onEncrypted();
    void onSslErrors(const QList<QSslError>& errors);
    // Reads the proxy's answer to CONNECT; once it is 200, the handshake begins.
    void readTunnelAnswer();
    void answerChallenge();
    void oWinsock_OnConnect();
    void oWinsock_OnDataArrival();
    void oWinsock_OnClose();
    void oWinsock_OnError(QAbstractSocket::SocketError error);

    void releaseSocket();
    void failLater(const QString& reason);
    void endFetch();
    void recordFailedFetch(const QString& reason, bool timedOut = false);
    using Read = PlainSocket::Read;
    // Reads what has arrived, once.
    Read takeData();
    // What was read ends the fetch, or it waits for more.
    void afterRead(Read read);

    // Marks a socket as inside one of its own signals for as long as the handler runs.
    struct HandlerScope {
        HandlerScope(QList<QTcpSocket*>& stack, QTcpSocket* socket) : m_stack(stack) {
            m_stack.append(socket);
        }
        ~HandlerScope() { m_stack.removeLast(); }
        HandlerScope(const HandlerScope&) = delete;
        HandlerScope& operator=(const HandlerScope&) = delete;
        QList<QTcpSocket*>& m_stack;
    };

    // The socket of the current fetch, or none between fetches.
    QSslSocket* oWinsock = nullptr; // over TLS
    PlainSocket* m_plain = nullptr; // plain HTTP, kept from one fetch to the next
    int m_lookupId = -1;            // the host name being looked up, if one is
    QList<QTcpSocket*> m_spent;     // released, aborted, not yet deleted
    QList<QTcpSocket*> m_inHandler; // sockets whose signal is being handled
    QTimer m_timeout;
    QByteArray m_request;
    QByteArray m_data;
    MarkerSearch m_search;
    enum class Chunked { NotKnown, No, Yes };
    Chunked m_chunked = Chunked::NotKnown; // the body comes in chunks, once the head has ended
    bool m_web = false;
    bool m_active = false;
    bool m_viaProxy = false;
    FetchTarget m_target;
    std::optional<ProxyServer> m_proxy;
    FetchSecurity m_security;
    bool m_tunnelling = false; // waiting for the proxy's answer to CONNECT
    QByteArray m_tunnelAnswer;
    QByteArray m_credentials; // "user:password" once the server asked for them
    QByteArray m_certificate;
    QString m_certificateServer;
    quint64 m_generation = 0;
};

} // namespace courivane

Q_DECLARE_METATYPE(courivane::FetchOutcome)
