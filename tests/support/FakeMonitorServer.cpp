#include "FakeMonitorServer.h"

#include "StatusText.h"

#include <QDateTime>
#include <QFile>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace courivane::testing {

namespace {

const QByteArray kEndOfHead = "\r\n\r\n";

QByteArray requestPath(const QByteArray& request) {
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    return words.size() >= 2 ? words.at(1) : QByteArray();
}

void resetConnection(QTcpSocket* socket) {
    // A zero linger turns the close into a reset.
    const struct linger hard { 1, 0 };
    ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                 sizeof hard);
    socket->abort();
}

} // namespace

FakeMonitorServer::FakeMonitorServer(QObject* parent) : QObject(parent) {
    m_default.reply = httpReply("<html><body>Not found</body></html>", "404 Not Found");
    connect(&m_server, &QTcpServer::newConnection, this, &FakeMonitorServer::onNewConnection);
}

QByteArray tlsFile(const QString& name) {
    QFile file(QStringLiteral(COURIVANE_TLS_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    return file.readAll();
}

void FakeMonitorServer::useTls(const QString& certificateFile) {
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(tlsFile(certificateFile), QSsl::Pem));
    tls.setPrivateKey(QSslKey(tlsFile(QStringLiteral("server.key.pem")), QSsl::Rsa, QSsl::Pem));
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_server.tls = tls;
}

void FakeMonitorServer::Listener::incomingConnection(qintptr descriptor) {
    if (!tls) {
        QTcpServer::incomingConnection(descriptor);
        return;
    }
    auto* socket = new QSslSocket(this);
    socket->setSslConfiguration(*tls);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    // A client that refuses the certificate ends the connection; the server only lets go.
    QObject::connect(socket, &QSslSocket::errorOccurred, socket, [socket] {
        if (socket->state() != QAbstractSocket::ConnectedState)
            socket->deleteLater();
    });
    socket->startServerEncryption();
    addPendingConnection(socket);
}

FakeTunnelProxy::FakeTunnelProxy(QObject* parent) : QObject(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, &FakeTunnelProxy::onNewConnection);
}

void FakeTunnelProxy::onNewConnection() {
    while (QTcpSocket* client = m_server.nextPendingConnection()) {
        auto* head = new QByteArray;
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QObject::destroyed, client, [head] { delete head; });
        connect(client, &QTcpSocket::readyRead, this, [this, client, head] {
            if (head->contains(kEndOfHead))
                return;
            // Only the head: what follows it belongs to the tunnel.
            while (client->canReadLine() && !head->contains(kEndOfHead))
                *head += client->readLine();
            if (!head->contains(kEndOfHead))
                return;
            m_heads << *head;
            const QList<QByteArray> words = head->left(head->indexOf("\r\n")).split(' ');
            const QByteArray authority = words.size() == 3 ? words.at(1) : QByteArray();
            const qsizetype colon = authority.lastIndexOf(':');
            const QByteArray host = authority.left(colon);
            const bool loopback = host == "127.0.0.1" || host == "localhost" || host == "[::1]";
            if (m_refusal) {
                client->write(*m_refusal);
                client->disconnectFromHost();
                return;
            }
            if (words.first() != "CONNECT" || colon < 0 || !loopback) {
                client->write("HTTP/1.0 405 Method Not Allowed\r\n\r\n");
                client->disconnectFromHost();
                return;
            }
            auto* server = new QTcpSocket(client);
            connect(server, &QTcpSocket::connected, client, [this, client] {
                client->write("HTTP/1.0 200 Connection established\r\n\r\n" + m_forged);
            });
            connect(server, &QTcpSocket::readyRead, client,
                    [client, server] { client->write(server->readAll()); });
            connect(client, &QTcpSocket::readyRead, server,
                    [client, server] { server->write(client->readAll()); });
            connect(server, &QTcpSocket::disconnected, client,
                    [client] { client->disconnectFromHost(); });
            connect(client, &QTcpSocket::disconnected, server,
                    [server] { server->disconnectFromHost(); });
            connect(server, &QTcpSocket::errorOccurred, client,
                    [client] { client->disconnectFromHost(); });
            server->connectToHost(host == "[::1]" ? QHostAddress(QHostAddress::LocalHostIPv6)
                                                  : QHostAddress(QHostAddress::LocalHost),
                                  authority.mid(colon + 1).toUShort());
        });
    }
}

bool FakeMonitorServer::listen(quint16 port, const QHostAddress& address) {
    return m_server.listen(address, port);
}

QString FakeMonitorServer::address() const {
    const QHostAddress host = m_server.serverAddress();
    const QString name = host.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(host.toString())
                             : host.toString();
    return QStringLiteral("%1:%2").arg(name).arg(port());
}

QList<QByteArray> FakeMonitorServer::requestLines() const {
    QList<QByteArray> lines;
    for (const QByteArray& request : m_requests)
        lines << request.left(request.indexOf("\r\n"));
    return lines;
}

QByteArray FakeMonitorServer::combinedStatus(const char fields[6], const QByteArray& time) {
    const char all[7] = {fields[0], '1', fields[1], fields[2], fields[3], fields[4], fields[5]};
    return statusText(all, false, time);
}

QByteArray FakeMonitorServer::splitStatus(const char fields[7], const QByteArray& time) {
    return statusText(fields, true, time);
}

QByteArray FakeMonitorServer::now() {
    return QDateTime::currentDateTimeUtc()
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
        .toLatin1();
}

QByteArray FakeMonitorServer::httpReply(const QByteArray& body, const QByteArray& status) {
    return "HTTP/1.0 " + status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

void FakeMonitorServer::onNewConnection() {
    // Each connection collects its request head, then is answered once.
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        auto* head = new QByteArray;
        opened();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, socket, [head] { delete head; });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, head] {
            if (head->contains(kEndOfHead))
                return;
            *head += socket->readAll();
            if (!head->contains(kEndOfHead))
                return;
            if (m_record)
                m_requests << *head;
            if (!m_credentials.isEmpty() &&
                !head->contains("\r\nAuthorization: Basic " + m_credentials.toBase64() + "\r\n")) {
                const QByteArray page = "<html><body>401 Authorization Required</body></html>";
                answer(socket,
                       {"HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"status\"\r\n"
                        "Content-Length: " +
                        QByteArray::number(page.size()) + "\r\n\r\n" + page},
                       0);
                return;
            }
            if (!m_host.isEmpty() && !head->contains("\r\nHost: " + m_host + "\r\n")) {
                answer(socket, m_default, 0);
                return;
            }
            const QString path = QString::fromUtf8(requestPath(*head));
            const bool fresh = head->contains("\r\nCache-Control: no-cache\r\n") ||
                               head->contains("\r\nPragma: no-cache\r\n");
            if (m_caching && !fresh && m_cache.contains(path)) {
                answer(socket, m_cache.value(path), 0);
                return;
            }
            const Script script = m_scripts.value(path, m_default);
            if (m_caching)
                m_cache.insert(path, script);
            answer(socket, script, 0);
        });
    }
}

void FakeMonitorServer::answer(QTcpSocket* socket, const Script& script, qsizetype offset,
                               bool due) {
    if (script.delayMs > 0 && !due) {
        QTimer::singleShot(script.delayMs, socket, [this, socket, script, offset] {
            answer(socket, script, offset, true);
        });
        return;
    }
    if (script.end == Script::End::Reset) {
        closed();
        return resetConnection(socket);
    }
    const qsizetype piece = script.pieceSize > 0 ? script.pieceSize : script.reply.size();
    if (offset < script.reply.size()) {
        socket->write(script.reply.mid(offset, piece));
        if (offset + piece < script.reply.size()) {
            socket->flush(); // this piece goes now, the next after the delay
            return answer(socket, script, offset + piece);
        }
    }
    if (script.end == Script::End::Close) {
        closed();
        socket->disconnectFromHost();
    }
}

void FakeMonitorServer::opened() {
    m_maxOpen = std::max(m_maxOpen, ++m_open);
    s_maxOpenAll = std::max(s_maxOpenAll.load(), ++s_openAll);
}

void FakeMonitorServer::closed() {
    --m_open;
    --s_openAll;
}

} // namespace courivane::testing
