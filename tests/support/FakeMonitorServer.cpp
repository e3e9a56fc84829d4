#include "FakeMonitorServer.h"

#include "StatusText.h"

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

QByteArray FakeMonitorServer::httpReply(const QByteArray& body, const QByteArray& status) {
    return "HTTP/1.0 " + status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

void FakeMonitorServer::onNewConnection() {
    // Each connection collects its request head, then is answered once.
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        auto* head = new QByteArray;
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
            answer(socket, *head);
        });
    }
}

void FakeMonitorServer::answer(QTcpSocket* socket, const QByteArray& request) {
    const QString path = QString::fromUtf8(requestPath(request));
    const Script script = m_scripts.value(path, m_default);
    switch (script.mode) {
    case Script::Mode::Whole:
        socket->write(script.reply);
        socket->disconnectFromHost();
        break;
    case Script::Mode::Delayed:
        QTimer::singleShot(script.delayMs, socket, [socket, script] {
            socket->write(script.reply);
            socket->disconnectFromHost();
        });
        break;
    case Script::Mode::Pieces: {
        auto* timer = new QTimer(socket);
        timer->setInterval(script.delayMs);
        auto offset = std::make_shared<qsizetype>(0);
        connect(timer, &QTimer::timeout, socket, [socket, timer, script, offset] {
            socket->write(script.reply.mid(*offset, script.pieceSize));
            socket->flush();
            *offset += script.pieceSize;
            if (*offset >= script.reply.size()) {
                timer->stop();
                socket->disconnectFromHost();
            }
        });
        timer->start();
        break;
    }
    case Script::Mode::Never:
        break;
    case Script::Mode::KeepOpen:
        socket->write(script.reply);
        break;
    case Script::Mode::CloseWithoutData:
        socket->disconnectFromHost();
        break;
    case Script::Mode::Reset:
        resetConnection(socket);
        break;
    }
}

} // namespace courivane::testing
