#include "polling/PlainSocket.h"

#include <QSocketNotifier>

#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace courivane {

PlainSocket::PlainSocket(QObject* parent) : QObject(parent) {}

PlainSocket::~PlainSocket() {
    closeSocket();
}

void PlainSocket::open(const QList<QHostAddress>& addresses, quint16 port,
                       const QByteArray& request) {
    closeSocket();
    m_addresses = addresses;
    m_port = port;
    m_request = request;
    m_lastError = ECONNREFUSED;
    if (connectNext())
        return;
    // Never reported from inside open(): whoever opened is still on its way out of it.
    closeSocket();
    const quint64 opening = m_opening;
    const int error = m_lastError;
    QMetaObject::invokeMethod(
        this,
        [this, opening, error] {
            if (opening == m_opening)
                emit failed(error);
        },
        Qt::QueuedConnection);
}

bool PlainSocket::connectNext() {
    while (!m_addresses.isEmpty()) {
        closeSocket();
        const QHostAddress address = m_addresses.takeFirst();
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (address.protocol() == QAbstractSocket::IPv6Protocol) {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
            in6->sin6_family = AF_INET6;
            in6->sin6_port = htons(m_port);
            const Q_IPV6ADDR bytes = address.toIPv6Address();
            std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
            // A link-local address names its interface by number or by name.
            const QString scope = address.scopeId();
            bool number = false;
            in6->sin6_scope_id = scope.toUInt(&number);
            if (!number && !scope.isEmpty())
                in6->sin6_scope_id = ::if_nametoindex(scope.toLatin1().constData());
            length = sizeof *in6;
        } else {
            auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
            in4->sin_family = AF_INET;
            in4->sin_port = htons(m_port);
            in4->sin_addr.s_addr = htonl(address.toIPv4Address());
            length = sizeof *in4;
        }
        m_fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0) {
            m_lastError = errno;
            continue;
        }
        int result = 0;
        do
            result = ::connect(m_fd, reinterpret_cast<sockaddr*>(&storage), length);
        while (result < 0 && errno == EINTR);
        if (result < 0 && errno != EINPROGRESS) {
            m_lastError = errno;
            continue;
        }
        m_sent = 0;
        // Over loopback the connection already stands here; elsewhere the request waits until
        // the socket can be written.
        if (sendRequest())
            return true;
        if (m_fd >= 0)
            return true; // waiting to be writable
        // Refused while connecting: the next address, if there is one.
    }
    return false;
}

bool PlainSocket::sendRequest() {
    while (m_sent < m_request.size()) {
        const ssize_t n = ::send(m_fd, m_request.constData() + m_sent,
                                 static_cast<size_t>(m_request.size() - m_sent), MSG_NOSIGNAL);
        if (n > 0) {
            m_sent += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOTCONN)) {
            if (!m_writeNotifier) {
                m_writeNotifier = new QSocketNotifier(QSocketNotifier::Write, this);
                connect(m_writeNotifier, &QSocketNotifier::activated, this,
                        &PlainSocket::onWritable);
            }
            m_writeNotifier->setSocket(m_fd);
            m_writeNotifier->setEnabled(true);
            return false;
        }
        m_lastError = n < 0 ? errno : EPIPE;
        closeSocket();
        return false;
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
    if (!m_readNotifier) {
        m_readNotifier = new QSocketNotifier(QSocketNotifier::Read, this);
        connect(m_readNotifier, &QSocketNotifier::activated, this, &PlainSocket::readyRead);
    }
    m_readNotifier->setSocket(m_fd);
    m_readNotifier->setEnabled(true);
    return true;
}

void PlainSocket::onWritable() {
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    if (error == 0 && (sendRequest() || m_fd >= 0))
        return;
    if (error != 0)
        m_lastError = error;
    if (!connectNext())
        failWith(m_lastError);
}

PlainSocket::Read PlainSocket::read(QByteArray& into, qsizetype most) {
    if (m_fd < 0)
        return Read::Closed;
    char buffer[16 * 1024];
    ssize_t n = 0;
    do
        n = ::recv(m_fd, buffer, std::min<size_t>(sizeof buffer, static_cast<size_t>(most)), 0);
    while (n < 0 && errno == EINTR);
    if (n > 0) {
        into.append(buffer, n);
        return Read::Data;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return Read::Nothing;
    const bool reset = n < 0 && errno == ECONNRESET;
    closeSocket();
    return reset ? Read::Reset : Read::Closed;
}

void PlainSocket::close() {
    closeSocket();
    m_addresses.clear();
}

void PlainSocket::closeSocket() {
    ++m_opening;
    if (m_readNotifier)
        m_readNotifier->setEnabled(false);
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void PlainSocket::failWith(int error) {
    closeSocket();
    emit failed(error);
}

} // namespace courivane
