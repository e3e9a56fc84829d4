#include "polling/StatusFetch.h"

#include "report/Reply.h"

#include <QHostInfo>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>

#include <cerrno>
#include <cstring>

namespace courivane {

StatusFetch::StatusFetch(QObject* parent) : QObject(parent), m_timeout(this) {
    qRegisterMetaType<courivane::FetchOutcome>();
    m_timeout.setObjectName(QStringLiteral("fetchTimeout"));
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(kFetchTimeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        if (m_active)
            recordFailedFetch(timeoutReason(), true);
    });
}

QString StatusFetch::timeoutReason() const {
    return QStringLiteral("no complete reply within %1 s").arg(timeoutMs() / 1000.0);
}

bool StatusFetch::boundNearlyOut() const {
    return m_active && m_timeout.isActive() && m_timeout.remainingTime() <= timeoutMs() / 10;
}

StatusFetch::~StatusFetch() {
    releaseSocket();
}

QByteArray StatusFetch::request(const QString& path, const QString& host,
                                const QByteArray& basicCredentials) {
    // The server is named, for name-based virtual hosts (and an HTTPS server that checks the name
    // against the one it was asked for); no cache on the way may answer for it.
    QByteArray text;
    text.reserve(160 + path.size() + host.size() + basicCredentials.size() * 2);
    text.append("GET ").append(path.toUtf8()).append(" HTTP/1.0\r\nHost: ");
    text.append(percentEncodeInvisible(host).toUtf8());
    text.append("\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n");
    if (!basicCredentials.isEmpty())
        text.append("Authorization: Basic ").append(basicCredentials.toBase64()).append("\r\n");
    return text.append("\r\n");
}

void StatusFetch::releaseSocket() {
    if (m_plain)
        m_plain->close();
    if (m_lookupId >= 0) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
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

void StatusFetch::start(const FetchTarget& target, const std::optional<ProxyServer>& proxy,
                        bool web) {
    releaseSocket();
    ++m_generation;
    m_active = true;
    m_web = web;
    m_target = target;
    m_proxy = proxy;
    m_credentials.clear();
    m_timeout.start();
    connectNow();
}

void StatusFetch::connectNow() {
    releaseSocket();
    m_data.clear();
    m_search = MarkerSearch();
    m_chunked = Chunked::NotKnown;
    m_viaProxy = false;
    m_tunnelling = false;
    m_tunnelAnswer.clear();
    m_certificate.clear();
    m_certificateServer.clear();
    const std::variant<Endpoint, QString> endpoint = endpointOf(m_target);
    if (const QString* error = std::get_if<QString>(&endpoint)) {
        failLater(*error);
        return;
    }
    const Endpoint& to = std::get<Endpoint>(endpoint);
    m_request = request(to.path, m_target.authority, m_credentials);
    openSocket(to);
}

std::variant<StatusFetch::Endpoint, QString> StatusFetch::endpointOf(const FetchTarget& target) {
    if (!target.addressError.isEmpty())
        return target.addressError;
    Endpoint to{target.host, target.directPort(), target.requestPath};
    if (m_proxy) {
        if (!m_proxy->port)
            return QStringLiteral("the proxy port in Proxy.Txt is not usable");
        if (m_proxy->address.isEmpty())
            return QStringLiteral("the proxy is enabled but has no address");
        m_viaProxy = true;
        to.host = unbracketedHost(m_proxy->address);
        to.port = *m_proxy->port;
        // Through a tunnel the server itself is asked, as on a direct connection.
        if (!target.tls)
            to.path = target.proxyRequestPath();
    }
    if (to.port < 1 || to.port > 65535)
        return QStringLiteral("port %1 is out of range").arg(to.port);
    return to;
}

void StatusFetch::openSocket(const Endpoint& to) {
    if (!m_target.tls) {
        openPlain(to);
        return;
    }
    oWinsock = new QSslSocket(this);
    connect(oWinsock, &QTcpSocket::connected, this, &StatusFetch::oWinsock_OnConnect);
    connect(oWinsock, &QTcpSocket::readyRead, this, &StatusFetch::oWinsock_OnDataArrival);
    connect(oWinsock, &QTcpSocket::disconnected, this, &StatusFetch::oWinsock_OnClose);
    connect(oWinsock, &QTcpSocket::errorOccurred, this, &StatusFetch::oWinsock_OnError);
    const auto port = static_cast<quint16>(to.port);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    configuration.addCaCertificates(m_security.trusted);
    oWinsock->setSslConfiguration(configuration);
    // The name checked against the certificate, and sent as the server name, is the server's
    // even through a tunnel.
    oWinsock->setPeerVerifyName(m_target.host);
    connect(oWinsock, &QSslSocket::encrypted, this, &StatusFetch::onEncrypted);
    connect(oWinsock, &QSslSocket::sslErrors, this, &StatusFetch::onSslErrors);
    if (m_viaProxy) {
        m_tunnelling = true;
        oWinsock->connectToHost(to.host, port, QIODevice::ReadWrite);
    } else {
        oWinsock->connectToHostEncrypted(to.host, port, QIODevice::ReadWrite);
    }
}

PlainSocket* StatusFetch::newPlainSocket() {
    return new PlainSocket(this);
}

void StatusFetch::openPlain(const Endpoint& to) {
    if (!m_plain) {
        m_plain = newPlainSocket();
        connect(m_plain, &PlainSocket::readyRead, this, &StatusFetch::onPlainData);
        connect(m_plain, &PlainSocket::failed, this, &StatusFetch::onPlainFailed);
    }
    const auto port = static_cast<quint16>(to.port);
    if (QHostAddress address; address.setAddress(to.host)) {
        m_plain->open({address}, port, m_request);
        return;
    }
    const quint64 generation = m_generation;
    m_lookupId =
        QHostInfo::lookupHost(to.host, this, [this, generation, port](const QHostInfo& info) {
            m_lookupId = -1;
            if (generation != m_generation || !m_active)
                return;
            if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
                recordFailedFetch(m_viaProxy
                                      ? QStringLiteral("the proxy's host name is not known")
                                      : QStringLiteral("the server's host name is not known"));
                return;
            }
            m_plain->open(info.addresses(), port, m_request);
        });
}

void StatusFetch::onPlainData() {
    if (!m_active)
        return;
    // All that has come is taken at once: the reply and, mostly with it, the end.
    const qsizetype before = m_data.size();
    Read read = takeData();
    while (read == Read::Data && m_data.size() < kMaxReplyBytes)
        read = takeData();
    // Bytes that came are looked at, whether or not more may follow.
    afterRead(read == Read::Nothing && m_data.size() > before ? Read::Data : read);
}

void StatusFetch::onPlainFailed(int error) {
    if (!m_active)
        return;
    switch (error) {
    case ECONNREFUSED:
        recordFailedFetch(m_viaProxy ? QStringLiteral("the proxy refused the connection")
                                     : QStringLiteral("the server refused the connection"));
        return;
    case ECONNRESET:
    case EPIPE:
        recordFailedFetch(QStringLiteral("the server reset the connection"));
        return;
    default:
        recordFailedFetch(QString::fromLocal8Bit(std::strerror(error)));
    }
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
    // The request itself waits for the handshake.
    if (m_tunnelling)
        oWinsock->write("CONNECT " + m_target.tunnelAuthority().toLatin1() + " HTTP/1.0\r\n\r\n");
}

void StatusFetch::onEncrypted() {
    if (!oWinsock || !m_active)
        return;
    const HandlerScope scope(m_inHandler, oWinsock);
    oWinsock->write(m_request);
}

void StatusFetch::onSslErrors(const QList<QSslError>& errors) {
    if (!oWinsock || !m_active)
        return;
    const HandlerScope scope(m_inHandler, oWinsock);
    const QSslCertificate leaf = oWinsock->peerCertificate();
    // A certificate pinned for this server is trusted itself, whoever issued it and whatever
    // its extensions; so is one the operator put in the file. Its name and dates are still
    // checked.
    QList<QSslError> left = errors;
    if (m_security.isPinned(m_target.tunnelAuthority(), leaf))
        left.removeIf([](const QSslError& e) {
            return isChainError(e.error()) || isExtensionError(e.error());
        });
    else if (!leaf.isNull() && m_security.trusted.contains(leaf))
        left.removeIf([](const QSslError& e) { return isChainError(e.error()); });
    if (left.isEmpty()) {
        oWinsock->ignoreSslErrors(errors);
        return;
    }
    // Never ignored otherwise: the handshake ends, and the fetch fails saying why.
    m_certificate = leaf.isNull() ? QByteArray() : leaf.toPem();
    m_certificateServer = m_target.tunnelAuthority();
    recordFailedFetch(verificationReason(left));
}

void StatusFetch::readTunnelAnswer() {
    // Everything the proxy has sent is taken now: nothing of it may stay behind in the socket to
    // be read once the tunnel is encrypted.
    m_tunnelAnswer += oWinsock->read(16 * 1024);
    const TunnelAnswer answer = tunnelAnswer(m_tunnelAnswer);
    switch (answer.state) {
    case TunnelAnswer::State::Incomplete:
        return;
    case TunnelAnswer::State::Refused:
        recordFailedFetch(answer.reason);
        return;
    case TunnelAnswer::State::Open:
        m_tunnelling = false;
        oWinsock->startClientEncryption();
        return;
    }
}

StatusFetch::Read StatusFetch::takeData() {
    const qsizetype room = kMaxReplyBytes - m_data.size();
    if (!m_target.tls) {
        if (room <= 0)
            return Read::Data;
        return m_plain ? m_plain->read(m_data, room) : Read::Closed;
    }
    if (!oWinsock)
        return Read::Closed;
    if (room <= 0)
        return Read::Data;
    char buffer[16 * 1024];
    const qint64 n = oWinsock->read(buffer, std::min<qsizetype>(room, sizeof buffer));
    if (n > 0) {
        m_data.append(buffer, n);
        return Read::Data;
    }
    if (n == 0)
        return Read::Nothing;
    return Read::Closed;
}

void StatusFetch::oWinsock_OnDataArrival() {
    if (!m_active)
        return;
    const HandlerScope scope(m_inHandler, oWinsock);
    if (m_tunnelling) {
        readTunnelAnswer();
        return;
    }
    if (!oWinsock->isEncrypted())
        return;
    Read read = takeData();
    // A TLS socket keeps what it decrypted and says so once: all of it is taken now.
    while (read == Read::Data && oWinsock->bytesAvailable() > 0 && m_data.size() < kMaxReplyBytes)
        read = takeData();
    afterRead(read);
}

void StatusFetch::afterRead(Read read) {
    switch (read) {
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
    if (m_chunked == Chunked::NotKnown && bodyStart(m_data) >= 0)
        m_chunked = dechunk(m_data).chunked ? Chunked::Yes : Chunked::No;
    bool complete = false;
    if (m_chunked == Chunked::Yes) {
        // The status is whole once it is whole without the chunks' size lines, which may even
        // split the marker.
        const Dechunked joined = dechunk(m_data);
        const qsizetype at = joined.data.indexOf(kMarker, bodyStart(joined.data));
        complete = joined.ended || joined.malformed ||
                   (at >= 0 && joined.data.size() - at >= requiredReplyLength(m_web));
    } else {
        const qsizetype at = m_search.feed(m_data);
        complete = at >= 0 && m_data.size() - at >= requiredReplyLength(m_web);
    }
    if (m_data.size() >= kMaxReplyBytes || complete)
        endFetch();
}

void StatusFetch::oWinsock_OnClose() {
    if (!m_active)
        return;
    const HandlerScope scope(m_inHandler, oWinsock);
    if (m_tunnelling) {
        recordFailedFetch(QStringLiteral("the proxy closed the connection"));
        return;
    }
    if (oWinsock) {
        if (!oWinsock->isEncrypted() && m_data.isEmpty()) {
            recordFailedFetch(QStringLiteral("the server closed the connection before TLS began"));
            return;
        }
        while (m_data.size() < kMaxReplyBytes && takeData() == Read::Data) {
        }
    }
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
    case QAbstractSocket::SslHandshakeFailedError:
        // The TLS library's words for a plain HTTP answer to its greeting.
        if (oWinsock && oWinsock->errorString().contains(QLatin1String("wrong version number"))) {
            recordFailedFetch(QStringLiteral("the server does not speak HTTPS"));
            return;
        }
        [[fallthrough]];
    default:
        recordFailedFetch(oWinsock ? oWinsock->errorString() : QStringLiteral("socket error"));
    }
}

void StatusFetch::endFetch() {
    if (httpStatus(m_data) == 401) {
        answerChallenge();
        return;
    }
    m_active = false;
    m_timeout.stop();
    FetchOutcome outcome;
    outcome.reply = m_data;
    outcome.viaProxy = m_viaProxy && !m_target.tls;
    m_data.clear();
    m_credentials.clear();
    releaseSocket();
    emit finished(outcome);
}

void StatusFetch::answerChallenge() {
    const bool basic = offersBasic(m_data);
    m_data.clear();
    releaseSocket();
    if (!m_credentials.isEmpty()) {
        recordFailedFetch(QStringLiteral("the server refused the password"));
        return;
    }
    if (!basic || !m_security.passwords) {
        recordFailedFetch(QStringLiteral("authentication required"));
        return;
    }
    // Asked once more, with the password stored for the server and user name, if there is one.
    const quint64 generation = m_generation;
    m_security.passwords->find(
        m_target.server, m_target.user, this, [this, generation](std::optional<QString> password) {
            if (generation != m_generation || !m_active)
                return;
            if (!password) {
                recordFailedFetch(QStringLiteral("authentication required"));
                return;
            }
            if (!m_target.tls) {
                recordFailedFetch(QStringLiteral("password not sent over plain HTTP"));
                return;
            }
            m_credentials = m_target.user.toUtf8() + ':' + password->toUtf8();
            connectNow();
        });
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
    outcome.certificate = std::exchange(m_certificate, {});
    outcome.certificateServer = std::exchange(m_certificateServer, {});
    m_credentials.clear();
    emit finished(outcome);
}

} // namespace courivane
