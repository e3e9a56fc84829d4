#include "polling/StatusFetch.h"

#include <QTcpSocket>

#include <cerrno>

namespace courivane {

StatusFetch::StatusFetch(QObject* parent) : QObject(parent), m_timeout(this) {
    qRegisterMetaType<courivane::FetchOutcome>();
    m_timeout.setObjectName(QStringLiteral("fetchTimeout"));
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(kFetchTimeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        if (m_active)
            recordFailedFetch(
                QStringLiteral("no complete reply within %1 s").arg(timeoutMs() / 1000.0), true);
    });
}

StatusFetch::~StatusFetch() {
    releaseSocket();
}

QByteArray StatusFetch::request(const QString& path) {
    return "GET " + path.toUtf8() + " HTTP/1.0\r\n\r\n";
}

void StatusFetch::releaseSocket() {
    if (oWinsock) {
        // A released socket reports nothing more: its late events never reach the next fetch.
        oWinsock->disconnect(this);
        oWinsock->abort();
        m_spent.append(oWinsock);
        oWinsock = nullptr;
    }
    // Deleted at once, without a posted event, unless one of its own signals is still on the
    // stack; such a socket waits for the next release.
    for (qsizetype i = m_spent.size() - 1; i >= 0; --i) {
        if (!m_inHandler.contains(m_spent.at(i)))
            delete m_spent.takeAt(i);
    }
}

void StatusFetch::start(const FetchTarget& target, const OptionFlags& options, int splitFlag) {
    releaseSocket();
    ++m_generation;
    m_active = true;
    m_data.clear();
    m_search = MarkerSearch();
    m_splitFlag = splitFlag;
    m_viaProxy = false;

    if (!target.portError.isEmpty()) {
        failLater(target.portError);
        return;
    }
    QString host = target.host;
    qint32 port = target.directPort();
    QString path = target.requestPath;
    if (isYes(options.EnableProxy)) {
        if (!options.proxyPortValid) {
            failLater(QStringLiteral("the proxy port in Proxy.Txt is not usable"));
            return;
        }
        if (options.ProxyAddress.isEmpty()) {
            failLater(QStringLiteral("the proxy is enabled but has no address"));
            return;
        }
        m_viaProxy = true;
        host = unbracketedHost(options.ProxyAddress);
        port = options.ProxyPort;
        path = target.proxyRequestPath();
    }
    if (port < 1 || port > 65535) {
        failLater(QStringLiteral("port %1 is out of range").arg(port));
        return;
    }
    m_request = request(path);

    oWinsock = newSocket();
    connect(oWinsock, &QTcpSocket::connected, this, &StatusFetch::oWinsock_OnConnect);
    connect(oWinsock, &QTcpSocket::readyRead, this, &StatusFetch::oWinsock_OnDataArrival);
    connect(oWinsock, &QTcpSocket::disconnected, this, &StatusFetch::oWinsock_OnClose);
    connect(oWinsock, &QTcpSocket::errorOccurred, this, &StatusFetch::oWinsock_OnError);
    m_timeout.start();
    oWinsock->connectToHost(host, static_cast<quint16>(port),
                            QIODevice::ReadWrite | QIODevice::Unbuffered);
}

QTcpSocket* StatusFetch::newSocket() {
    return new QTcpSocket(this);
}

void StatusFetch::abort() {
    m_active = false;
    ++m_generation;
    m_timeout.stop();
    m_data.clear();
    releaseSocket();
}

void StatusFetch::failLater(const QString& reason) {
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, reason] {
            if (generation == m_generation && m_active)
                recordFailedFetch(reason);
        },
        Qt::QueuedConnection);
}

void StatusFetch::oWinsock_OnConnect() {
    if (!oWinsock)
        return;
    const HandlerScope scope(m_inHandler, oWinsock);
    oWinsock->write(m_request);
}

StatusFetch::Read StatusFetch::takeData() {
    if (!oWinsock)
        return Read::Closed;
    const qsizetype room = kMaxReplyBytes - m_data.size();
    if (room <= 0)
        return Read::Data;
    char buffer[16 * 1024];
    // Qt reports a reset like an orderly close; the read that meets it leaves ECONNRESET in
    // errno, where a close leaves nothing (the reset test guards this reading of errno).
    errno = 0;
    const qint64 n = oWinsock->read(buffer, std::min<qsizetype>(room, sizeof buffer));
    if (n > 0) {
        m_data.append(buffer, n);
        return Read::Data;
    }
    if (n == 0)
        return Read::Nothing;
    return errno == ECONNRESET ? Read::Reset : Read::Closed;
}

void StatusFetch::oWinsock_OnDataArrival() {
    if (!m_active)
        return;
    const HandlerScope scope(m_inHandler, oWinsock);
    switch (takeData()) {
    case Read::Nothing:
        return;
    case Read::Reset:
        if (m_data.isEmpty()) {
            recordFailedFetch(QStringLiteral("the server reset the connection"));
            return;
        }
        endFetch();
        return;
    case Read::Closed:
        endFetch();
        return;
    case Read::Data:
        break;
    }
    // Only an exact marker ends the fetch early: one in another letter case may be an echo of
    // the request path, and the real status may still be on its way.
    const qsizetype at = m_search.feed(m_data);
    const bool complete = at >= 0 && m_data.size() - at >= requiredReplyLength(m_splitFlag);
    if (m_data.size() >= kMaxReplyBytes || complete)
        endFetch();
}

void StatusFetch::oWinsock_OnClose() {
    if (!m_active)
        return;
    const HandlerScope scope(m_inHandler, oWinsock);
    endFetch();
}

void StatusFetch::oWinsock_OnError(QAbstractSocket::SocketError error) {
    if (!m_active)
        return;
    const HandlerScope scope(m_inHandler, oWinsock);
    // The peer closing after its reply is the normal end of an HTTP/1.0 exchange.
    if (error == QAbstractSocket::RemoteHostClosedError) {
        oWinsock_OnClose();
        return;
    }
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        recordFailedFetch(m_viaProxy ? QStringLiteral("the proxy refused the connection")
                                     : QStringLiteral("the server refused the connection"));
        return;
    case QAbstractSocket::HostNotFoundError:
        recordFailedFetch(m_viaProxy ? QStringLiteral("the proxy's host name is not known")
                                     : QStringLiteral("the server's host name is not known"));
        return;
    default:
        recordFailedFetch(oWinsock ? oWinsock->errorString() : QStringLiteral("socket error"));
    }
}

void StatusFetch::endFetch() {
    m_active = false;
    m_timeout.stop();
    FetchOutcome outcome;
    outcome.reply = m_data;
    m_data.clear();
    releaseSocket();
    emit finished(outcome);
}

void StatusFetch::recordFailedFetch(const QString& reason, bool timedOut) {
    m_active = false;
    m_timeout.stop();
    m_data.clear();
    releaseSocket();
    FetchOutcome outcome;
    outcome.failed = true;
    outcome.timedOut = timedOut;
    outcome.reason = reason;
    emit finished(outcome);
}

} // namespace courivane
