#include "FakeMonitorServer.h"

#include "StatusText.h"

#include <QDateTime>
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
            answer(socket, m_scripts.value(QString::fromUtf8(requestPath(*head)), m_default), 0);
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
