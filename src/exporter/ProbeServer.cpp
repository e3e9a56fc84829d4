#include "exporter/ProbeServer.h"

#include "config/AccountsFile.h"
#include "config/OptionsFile.h"
#include "polling/SinglePass.h"

#include <QElapsedTimer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

namespace courivane {

namespace {

using Status = QHttpServerResponder::StatusCode;
const QByteArray kText = QByteArrayLiteral("text/plain; charset=utf-8");
const QByteArray kExposition = QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8");

// An answer written straight to a connection the HTTP server does not handle (or no longer
// should), which then ends.
void refuse(QTcpSocket* socket, int code, const char* reason, const QByteArray& body) {
    QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    socket->write("HTTP/1.1 " + QByteArray::number(code) + ' ' + reason + "\r\nContent-Type: " +
                  kText + "\r\nContent-Length: " + QByteArray::number(body.size()) +
                  "\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
    // A peer that reads nothing does not keep the connection.
    QTimer::singleShot(ProbeServer::kRequestTimeoutMs, socket, &QTcpSocket::abort);
}

// Watches one connection: the size and the time of the request arriving, and how long it idles.
// Connected before the HTTP server's own handler, so it sees every byte first.
class Guard : public QObject {
    Q_OBJECT
public:
    Guard(QTcpSocket* socket, std::function<void()> refused)
        : QObject(socket), m_socket(socket), m_refused(std::move(refused)) {
        m_timer.setSingleShot(true);
        connect(socket, &QTcpSocket::readyRead, this, &Guard::arrived);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (m_bytes > 0) {
                m_refused();
                refuse(m_socket, 408, "Request Timeout", "request too slow\n");
            } else {
                m_socket->disconnectFromHost();
            }
        });
        m_timer.start(ProbeServer::kRequestTimeoutMs);
    }
    bool busy = false; // a probe is under way on this connection

    void requestArrived() {
        m_bytes = 0;
        m_timer.stop();
    }
    void answered() {
        busy = false;
        m_timer.start(ProbeServer::kIdleTimeoutMs);
    }

private:
    void arrived() {
        if (m_bytes == 0 && !busy)
            m_timer.start(ProbeServer::kRequestTimeoutMs);
        m_bytes += m_socket->bytesAvailable();
        if (m_bytes > ProbeServer::kMaxRequestBytes) {
            m_refused();
            refuse(m_socket, 431, "Request Header Fields Too Large", "request too large\n");
        }
    }

    QTcpSocket* m_socket;
    std::function<void()> m_refused;
    QTimer m_timer;
    qint64 m_bytes = 0;
};

// A pass the time ran out on: the accounts filed so far, and every other one a failed fetch.
PassResult timedOut(SinglePass& pass, const QList<AccountRecord>& unfinished) {
    PassResult result;
    result.splitFlag = pass.cycle().state().splitFlag;
    result.rows = pass.cycle().state().rows;
    result.endedAt = QDateTime::currentDateTimeUtc();
    for (const AccountRecord& account : unfinished)
        result.rows.append(
            {account.CompanyName, {}, RowFailed, failedReply(QStringLiteral("no answer in time"))});
    return result;
}

Guard* guardOf(QTcpSocket* socket) {
    return socket->findChild<Guard*>(QString(), Qt::FindDirectChildrenOnly);
}

void answer(QHttpServerResponder& responder, QTcpSocket* socket, Status status,
            const QByteArray& type, const QByteArray& body) {
    responder.write(body, {{"Content-Type", type}}, status);
    if (Guard* guard = guardOf(socket))
        guard->answered();
}

} // namespace

// Takes connections while fewer than kMaxConnections are open, and answers the others 503.
class ProbeServer::Listener : public QTcpServer {
public:
    explicit Listener(ProbeServer* server) : QTcpServer(server), m_server(server) {}

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (m_open >= kMaxConnections) {
            ++m_server->m_counters.refused;
            refuse(socket, 503, "Service Unavailable", "too many connections\n");
            return;
        }
        ++m_open;
        connect(socket, &QObject::destroyed, this, [this] { --m_open; });
        new Guard(socket, [server = m_server] { ++server->m_counters.refused; });
        addPendingConnection(socket);
    }

private:
    ProbeServer* m_server;
    int m_open = 0;
};

class ProbeServer::Probe : public QObject {
public:
    Probe(QHttpServerResponder&& responder, QTcpSocket* socket, QObject* parent)
        : QObject(parent), responder(std::move(responder)), socket(socket) {
        clock.start();
    }
    QHttpServerResponder responder;
    QPointer<QTcpSocket> socket;
    QElapsedTimer clock;
};

ProbeServer::ProbeServer(const QDir& configDir, const PassOptions& pass, QObject* parent)
    : QAbstractHttpServer(parent), m_dir(configDir), m_pass(pass) {}

ProbeServer::~ProbeServer() = default;

QString ProbeServer::listen(const QHostAddress& address, quint16 port) {
    auto* listener = new Listener(this);
    if (!listener->listen(address, port)) {
        const QString reason = listener->errorString();
        delete listener;
        return reason;
    }
    m_listener = listener;
    bind(listener);
    return {};
}

quint16 ProbeServer::port() const {
    return m_listener ? m_listener->serverPort() : 0;
}

bool ProbeServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    Guard* guard = guardOf(socket);
    if (guard && guard->busy) {
        // A second request before the first is answered: the answers could not be told apart.
        ++m_counters.refused;
        socket->abort();
        return true;
    }
    if (guard)
        guard->requestArrived();
    const QString path = request.url().path();
    QHttpServerResponder responder = makeResponder(request, socket);
    if (path != QLatin1String("/probe") && path != QLatin1String("/metrics")) {
        answer(responder, socket, Status::NotFound, kText, "not found\n");
        return true;
    }
    if (request.method() != QHttpServerRequest::Method::Get) {
        answer(responder, socket, Status::MethodNotAllowed, kText, "only GET\n");
        return true;
    }
    if (path == QLatin1String("/metrics")) {
        answer(responder, socket, Status::Ok, kExposition, exporterExposition(m_counters));
        return true;
    }
    probe(request, socket);
    return true;
}

void ProbeServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    QHttpServerResponder responder = makeResponder(request, socket);
    answer(responder, socket, Status::NotFound, kText, "not found\n");
}

void ProbeServer::probe(const QHttpServerRequest& request, QTcpSocket* socket) {
    QHttpServerResponder responder = makeResponder(request, socket);
    const std::optional<QString> target =
        queryValue(request.url().query(QUrl::FullyEncoded).toLatin1(), "target");
    if (!target || target->isEmpty()) {
        answer(responder, socket, Status::BadRequest, kText,
               "the target parameter, a company name, is missing\n");
        return;
    }
    // The files are read afresh for each probe, as the monitor reads them for each pass.
    OptionFlags flags;
    bool optionsUsable = false;
    const QStringList problems = OptionsFile(m_dir).readStartup(flags, &optionsUsable);
    const AccountsRead accounts = AccountsFile(m_dir).read();
    if (!optionsUsable || !accounts.usable) {
        QByteArray text = "the configuration in " + printableText(m_dir.absolutePath()).toUtf8() +
                          " is missing or unreadable:\n";
        for (const QString& problem : problems + accounts.problems)
            text += printableText(problem).toUtf8() + '\n';
        answer(responder, socket, Status::ServiceUnavailable, kText, text);
        return;
    }
    const bool known =
        std::any_of(accounts.records.cbegin(), accounts.records.cend(),
                    [&](const AccountRecord& r) { return r.CompanyName == *target; });
    if (!known) {
        answer(responder, socket, Status::NotFound, kText,
               "no company named \"" + printableText(*target).toUtf8() + "\"\n");
        return;
    }

    const ProbeBudget budget =
        probeBudget(request.value(QByteArrayLiteral("X-Prometheus-Scrape-Timeout-Seconds")));
    auto* probe = new Probe(std::move(responder), socket, this);
    if (Guard* guard = guardOf(socket))
        guard->busy = true;
    // A scraper that gives up ends the probe and its fetches.
    connect(socket, &QObject::destroyed, probe, &QObject::deleteLater);
    auto* pass = new SinglePass(m_dir, flags, probe);
    pass->cycle().setCompanyFilter(*target);
    m_pass.applyTo(pass->cycle());
    pass->start(problems, accounts, budget.deadlineMs, budget.fetchBoundMs,
                [this, probe, pass](const SinglePass::Outcome& outcome) {
                    const PassResult result =
                        outcome.result ? *outcome.result : timedOut(*pass, outcome.unfinished);
                    const QByteArray body =
                        probeExposition(result, double(probe->clock.nsecsElapsed()) / 1e9);
                    const bool success = probeSucceeded(result);
                    if (probe->socket)
                        answer(probe->responder, probe->socket, Status::Ok, kExposition, body);
                    probeEnded(probe, success);
                });
}

void ProbeServer::probeEnded(Probe* probe, bool success) {
    ++m_counters.probes;
    if (!success)
        ++m_counters.probeFailures;
    // Called from inside the pass: it goes once the pass has returned.
    probe->deleteLater();
}

} // namespace courivane

#include "ProbeServer.moc"
