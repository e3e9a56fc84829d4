#include "polling/StatusFetch.h"

#include "polling/ReplyInterpreter.h"

#include <QTcpSocket>

namespace courivane {

StatusFetch::StatusFetch(QObject* parent) : QObject(parent) {
    qRegisterMetaType<courivane::FetchOutcome>();
    m_timeout.setObjectName(QStringLiteral("fetchTimeout"));
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(kFetchTimeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        if (m_active)
            recordFailedFetch(
                QStringLiteral("no complete reply within %1 s").arg(timeoutMs() / 1000.0));
    });
}

StatusFetch::~StatusFetch() {
    releaseSocket();
}

QByteArray StatusFetch::request(const QString& path) {
    return "GET " + path.toUtf8() + " HTTP/1.0\r\n\r\n";
}

void StatusFetch::releaseSocket() {
    if (!oWinsock)
        return;
    // A released socket reports nothing more: its late events never reach the next fetch.
    oWinsock->disconnect(this);
    oWinsock->abort();
    oWinsock->deleteLater();
    oWinsock = nullptr;
}

void StatusFetch::start(const FetchTarget& target, const ProxySettings& proxy, int splitFlag) {
    releaseSocket();
    ++m_generation;
    m_active = true;
    m_data.clear();
    m_markerAt = -1;
    m_splitFlag = splitFlag;

    if (!target.portError.isEmpty()) {
        failLater(target.portError);
        return;
    }
    QString host = target.host;
    qint32 port = target.directPort();
    QString path = target.requestPath;
    if (proxy.enabled) {
        if (!proxy.portValid) {
            failLater(QStringLiteral("the proxy port in Proxy.Txt is not usable"));
            return;
        }
        if (proxy.address.isEmpty()) {
            failLater(QStringLiteral("the proxy is enabled but has no address"));
            return;
        }
        host = proxy.address;
        port = proxy.port;
        path = target.proxyRequestPath();
    }
    if (port < 1 || port > 65535) {
        failLater(QStringLiteral("port %1 is out of range").arg(port));
        return;
    }
    m_request = request(path);

    oWinsock = new QTcpSocket(this);
    connect(oWinsock, &QTcpSocket::connected, this, &StatusFetch::oWinsock_OnConnect);
    connect(oWinsock, &QTcpSocket::readyRead, this, &StatusFetch::oWinsock_OnDataArrival);
    connect(oWinsock, &QTcpSocket::disconnected, this, &StatusFetch::oWinsock_OnClose);
    connect(oWinsock, &QTcpSocket::errorOccurred, this, &StatusFetch::oWinsock_OnError);
    m_timeout.start();
    oWinsock->connectToHost(host, static_cast<quint16>(port));
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
    if (oWinsock)
        oWinsock->write(m_request);
}

void StatusFetch::takeData() {
    if (!oWinsock)
        return;
    const qsizetype room = kMaxReplyBytes - m_data.size();
    if (room > 0)
        m_data += oWinsock->read(room);
}

void StatusFetch::oWinsock_OnDataArrival() {
    if (!m_active)
        return;
    const qsizetype before = m_data.size();
    takeData();
    // Search only the new bytes (and a marker's length before them): a reply that trickles in
    // byte by byte costs no more than one that arrives whole.
    if (m_markerAt < 0)
        m_markerAt = findMarker(m_data, before - (kMarker.size() - 1));
    const bool complete =
        m_markerAt >= 0 && m_data.size() - m_markerAt >= requiredReplyLength(m_splitFlag);
    if (m_data.size() >= kMaxReplyBytes || complete)
        endFetch();
}

void StatusFetch::oWinsock_OnClose() {
    if (!m_active)
        return;
    takeData();
    endFetch();
}

void StatusFetch::oWinsock_OnError(QAbstractSocket::SocketError error) {
    if (!m_active)
        return;
    // The peer closing after its reply is the normal end of an HTTP/1.0 exchange.
    if (error == QAbstractSocket::RemoteHostClosedError) {
        oWinsock_OnClose();
        return;
    }
    recordFailedFetch(oWinsock ? oWinsock->errorString() : QStringLiteral("socket error"));
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

void StatusFetch::recordFailedFetch(const QString& reason) {
    m_active = false;
    m_timeout.stop();
    m_data.clear();
    releaseSocket();
    FetchOutcome outcome;
    outcome.failed = true;
    outcome.reason = reason;
    emit finished(outcome);
}

} // namespace courivane
