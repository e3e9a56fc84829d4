#include "exporter/ProbeServer.h"

#include "config/AccountsFile.h"
#include "config/OptionsFile.h"
#include "polling/SinglePass.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <functional>
#include <memory>

namespace courivane {

namespace {

using Status = QHttpServerResponder::StatusCode;
const QByteArray kText = QByteArrayLiteral("text/plain; charset=utf-8");
const QByteArray kExposition = QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8");

// What a connection that waited for a place carries: since when (monotonic milliseconds), and
// for how long it waited.
const char* const kWaitedStart = "courivaneWaitingSince";
const char* const kWaitedMs = "courivaneWaitedMs";

// A whole answer after which the connection ends.
QByteArray closingAnswer(int code, const char* reason, const QByteArray& type,
                         const QByteArray& body) {
    return "HTTP/1.1 " + QByteArray::number(code) + ' ' + reason + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// An answer written straight to a connection the HTTP server does not handle (or no longer
// should), which then ends.
void refuse(QTcpSocket* socket, int code, const char* reason, const QByteArray& body) {
    QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    socket->write(closingAnswer(code, reason, kText, body));
    socket->disconnectFromHost();
    // A peer that reads nothing does not keep the connection.
    QTimer::singleShot(ProbeServer::kRequestTimeoutMs, socket, &QTcpSocket::abort);
}

// Watches one connection: the size and the time of the request arriving, and how long it idles.
// Connected before the HTTP server's own handler, so it sees every byte first.
class Guard : public QObject {
    Q_OBJECT
public:
    // `spare` is a second descriptor of the connection, `slot` what holds its place among the
    // open connections; both end with the guard unless a probe takes them over.
    Guard(QTcpSocket* socket, int spare, QObject* slot, int requestTimeoutMs,
          std::function<void()> refused)
        : QObject(socket), m_socket(socket), m_spare(spare), m_slot(slot),
          m_requestTimeoutMs(requestTimeoutMs), m_refused(std::move(refused)) {
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
        m_timer.start(m_requestTimeoutMs);
    }
    ~Guard() override {
        if (m_spare >= 0)
            ::close(m_spare);
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

    // The connection's spare descriptor and place, for a probe that outlives the socket.
    int takeSpare() { return std::exchange(m_spare, -1); }
    QObject* slot() const { return m_slot; }

    bool busy = false; // a probe is under way on this connection
    bool closeAfterAnswer = false;

    // The request has arrived whole: whether its client asked to end the connection after the
    // answer (HTTP/1.0 unless it asks to keep it, or "Connection: close").
    void requestArrived(const QByteArray& connection) {
        const QByteArray line = m_head.left(m_head.indexOf('\n')).trimmed();
        const QByteArray asked = connection.toLower();
        closeAfterAnswer =
            asked.contains("close") || (line.endsWith("HTTP/1.0") && !asked.contains("keep-alive"));
        m_bytes = 0;
        m_head.clear();
        m_timer.stop();
    }
    void answered() {
        busy = false;
        if (closeAfterAnswer)
            m_socket->disconnectFromHost();
        else
            m_timer.start(ProbeServer::kIdleTimeoutMs);
    }

private:
    void arrived() {
        if (m_bytes == 0 && !busy)
            m_timer.start(m_requestTimeoutMs);
        // The HTTP server reads the request but does not say which version it was.
        if (m_head.size() < ProbeServer::kMaxRequestBytes)
            m_head += m_socket->peek(ProbeServer::kMaxRequestBytes - m_head.size());
        m_bytes += m_socket->bytesAvailable();
        if (m_bytes > ProbeServer::kMaxRequestBytes) {
            m_refused();
            refuse(m_socket, 431, "Request Header Fields Too Large", "request too large\n");
        }
    }

    QTcpSocket* m_socket;
    int m_spare;
    QPointer<QObject> m_slot;
    int m_requestTimeoutMs;
    std::function<void()> m_refused;
    QTimer m_timer;
    qint64 m_bytes = 0;
    QByteArray m_head;
};

// A pass the time ran out on: every account that answered, and every other one a failed fetch.
PassResult timedOut(SinglePass& pass, const SinglePass::Outcome& outcome) {
    PassResult result;
    result.web = pass.cycle().state().web;
    result.rows = outcome.rows;
    result.endedAt = QDateTime::currentDateTimeUtc();
    return result;
}

Guard* guardOf(QTcpSocket* socket) {
    return socket->findChild<Guard*>(QString(), Qt::FindDirectChildrenOnly);
}

void answer(QHttpServerResponder& responder, QTcpSocket* socket, Status status,
            const QByteArray& type, const QByteArray& body) {
    Guard* guard = guardOf(socket);
    if (guard && guard->closeAfterAnswer)
        responder.write(body, {{"Content-Type", type}, {"Connection", "close"}}, status);
    else
        responder.write(body, {{"Content-Type", type}}, status);
    // Out now: Qt drops what it has not sent when it sees the peer's end of the connection.
    socket->flush();
    if (guard)
        guard->answered();
}

// Writes a whole answer to a descriptor of its own, then ends the connection: for a client that
// ended its side after its request, which Qt takes for the end of the whole connection.
void answerAndClose(int fd, const QByteArray& text) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const timeval bound{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
    for (qsizetype sent = 0; sent < text.size();) {
        const ssize_t n =
            ::send(fd, text.constData() + sent, size_t(text.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
}

} // namespace

// Takes connections while fewer than kMaxConnections are open, and answers the others 503.
class ProbeServer::Listener : public QTcpServer {
public:
    explicit Listener(ProbeServer* server) : QTcpServer(server), m_server(server) {}
    bool m_failing = false; // accepting failed since the last connection taken

protected:
    void incomingConnection(qintptr descriptor) override {
        m_failing = false;
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (m_open < kMaxConnections) {
            admit(socket);
            return;
        }
        if (m_waiting.size() >= kMaxWaiting) {
            ++m_server->m_counters.refused;
            refuse(socket, 503, "Service Unavailable", "too many connections\n");
            return;
        }
        // Beyond the limit a connection waits for a place, as long as a request may take to
        // arrive; a probe that waited has that much less of its scrape's time.
        m_waiting.append(socket);
        connect(socket, &QObject::destroyed, this, [this, socket] { m_waiting.removeOne(socket); });
        socket->setProperty(kWaitedStart, QDeadlineTimer::current().deadline());
        QTimer::singleShot(m_server->m_requestTimeoutMs, socket, [this, socket] {
            if (!m_waiting.removeOne(socket))
                return;
            ++m_server->m_counters.refused;
            refuse(socket, 503, "Service Unavailable", "too many connections\n");
        });
    }

private:
    void admit(QTcpSocket* socket) {
        // A connection counts until it has ended, not until its object is deleted later, and
        // for as long as a probe goes on answering it.
        ++m_open;
        auto* slot = new QObject(socket);
        connect(slot, &QObject::destroyed, this, [this] {
            --m_open;
            // The connections waiting take the places, in the order they came.
            while (m_open < kMaxConnections && !m_waiting.isEmpty()) {
                QTcpSocket* next = m_waiting.takeFirst();
                next->setProperty(kWaitedMs, QDeadlineTimer::current().deadline() -
                                                 next->property(kWaitedStart).toLongLong());
                admit(next);
                emit newConnection();
                // Its request came while it waited, announced to no one: once the HTTP server
                // listens to it, it is told again.
                QTimer::singleShot(0, next, [next] {
                    if (next->bytesAvailable() > 0)
                        emit next->readyRead();
                });
            }
        });
        const int spare = ::fcntl(int(socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
        auto* guard = new Guard(socket, spare, slot, m_server->m_requestTimeoutMs,
                                [server = m_server] { ++server->m_counters.refused; });
        connect(socket, &QTcpSocket::disconnected, guard, [guard] {
            if (QObject* s = guard->slot(); s && s->parent() == guard->parent())
                delete s;
        });
        addPendingConnection(socket);
    }

    ProbeServer* m_server;
    int m_open = 0;
    QList<QTcpSocket*> m_waiting; // beyond the limit, oldest first
};

class ProbeServer::Probe : public QObject {
public:
    Probe(QHttpServerResponder&& responder, QTcpSocket* socket, QObject* parent)
        : QObject(parent), responder(std::move(responder)), socket(socket) {
        clock.start();
    }
    ~Probe() override {
        if (spare >= 0)
            ::close(spare);
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;
    QHttpServerResponder responder;
    QPointer<QTcpSocket> socket;
    int spare = -1; // the connection, once its client has ended its side
    QElapsedTimer clock;
};

ProbeServer::ProbeServer(const QDir& configDir, const PassOptions& pass, QObject* parent)
    : QAbstractHttpServer(parent), m_dir(configDir), m_pass(pass) {}

ProbeServer::~ProbeServer() {
    m_readers.waitForDone();
}

QString ProbeServer::listen(const QHostAddress& address, quint16 port) {
    auto* listener = new Listener(this);
    if (!listener->listen(address, port)) {
        const QString reason = listener->errorString();
        delete listener;
        return reason;
    }
    m_listener = listener;
    // Out of descriptors, the listener pauses for good: it tries again once some may be free,
    // while the connections it holds are served and end.
    connect(listener, &QTcpServer::acceptError, this, [listener](QAbstractSocket::SocketError) {
        if (!std::exchange(listener->m_failing, true)) {
            QTextStream(stderr) << "courivane-exporter: cannot take a connection ("
                                << listener->errorString() << "); trying again\n";
        }
        QTimer::singleShot(kResumeAcceptingMs, listener,
                           [listener] { listener->resumeAccepting(); });
    });
    bind(listener);
    return {};
}

quint16 ProbeServer::port() const {
    return m_listener ? m_listener->serverPort() : 0;
}

bool ProbeServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    // The HTTP server answers a WebSocket upgrade itself (not found) and ends the connection:
    // one answer, and no probe for a client that has gone.
    if (request.value(QByteArrayLiteral("Upgrade")).compare("websocket", Qt::CaseInsensitive) == 0)
        return true;
    Guard* guard = guardOf(socket);
    if (guard && guard->busy) {
        // A second request before the first is answered: the answers could not be told apart.
        ++m_counters.refused;
        socket->abort();
        return true;
    }
    if (guard)
        guard->requestArrived(request.value(QByteArrayLiteral("Connection")));
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

namespace {
// What tells whether a file may have changed since it was read.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    bool operator==(const FileStamp& o) const {
        const auto same = [](const timespec& a, const timespec& b) {
            return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
        };
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
               same(modified, o.modified) && same(changed, o.changed);
    }
};
FileStamp stampOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {true, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}
} // namespace

// The accounts file as last read, each company's accounts apart.
struct ProbeServer::Accounts {
    FileStamp stamp;
    AccountsRead read; // its records moved to byCompany
    QHash<QString, QList<AccountRecord>> byCompany;
    QStringList names; // in the file's order
};

void ProbeServer::withAccounts(std::function<void(const Accounts&)> use) {
    const FileStamp now = stampOf(AccountsFile(m_dir).path());
    if (m_accounts && !m_reading && m_accounts->stamp == now) {
        use(*m_accounts);
        return;
    }
    m_waiting.push_back(std::move(use));
    if (m_reading)
        return;
    // A long list takes seconds to read: off this thread, so that other probes go on.
    m_reading = true;
    m_readers.start([this, dir = m_dir, now] {
        auto fresh = std::make_shared<Accounts>();
        fresh->stamp = now; // taken before the read: a change during it is read again next time
        fresh->read = AccountsFile(dir).read();
        fresh->read.raw.clear();
        for (AccountRecord& record : fresh->read.records) {
            auto& accounts = fresh->byCompany[record.CompanyName];
            if (accounts.isEmpty())
                fresh->names << record.CompanyName;
            accounts.append(std::move(record));
        }
        fresh->read.records.clear();
        QMetaObject::invokeMethod(
            this,
            [this, fresh] {
                m_accounts = fresh;
                m_reading = false;
                ++m_counters.accountReads;
                for (const auto& use : std::exchange(m_waiting, {}))
                    use(*fresh);
            },
            Qt::QueuedConnection);
    });
}

void ProbeServer::probe(const QHttpServerRequest& request, QTcpSocket* socket) {
    auto responder = std::make_shared<QHttpServerResponder>(makeResponder(request, socket));
    const std::optional<QString> target =
        queryValue(request.url().query(QUrl::FullyEncoded).toLatin1(), "target");
    if (!target || target->isEmpty()) {
        answer(*responder, socket, Status::BadRequest, kText,
               "the target parameter, a company name, is missing\n");
        return;
    }
    ProbeBudget budget =
        probeBudget(request.value(QByteArrayLiteral("X-Prometheus-Scrape-Timeout-Seconds")));
    // A connection that waited for a place has that much less time, once.
    const QVariant waited = socket->property(kWaitedMs);
    socket->setProperty(kWaitedMs, QVariant());
    if (waited.isValid()) {
        budget = budgetAfterWaiting(budget, waited.toLongLong());
        if (budget.deadlineMs <= 0) {
            ++m_counters.refused;
            answer(*responder, socket, Status::ServiceUnavailable, kText,
                   "too many probes at once: no time was left for this one\n");
            return;
        }
    }
    if (Guard* guard = guardOf(socket))
        guard->busy = true;
    withAccounts([this, responder, target = *target, budget,
                  socket = QPointer<QTcpSocket>(socket)](const Accounts& accounts) {
        if (socket)
            probeWith(accounts, std::move(*responder), socket, target, budget);
    });
}

void ProbeServer::probeWith(const Accounts& accounts, QHttpServerResponder&& responder,
                            QTcpSocket* socket, const QString& target, ProbeBudget budget) {
    // The options are read afresh for each probe, as the monitor reads them for each pass.
    const PassConfiguration configuration = readPassConfiguration(m_dir, accounts.read);
    if (!configuration.usable) {
        QByteArray text = "the configuration in " + printableText(m_dir.absolutePath()).toUtf8() +
                          " is missing or unreadable:\n";
        for (const QString& problem : configuration.problems(accounts.read))
            text += printableText(problem).toUtf8() + '\n';
        answer(responder, socket, Status::ServiceUnavailable, kText, text);
        return;
    }
    const std::optional<QString> company = findCompany(target, accounts.names);
    if (!company) {
        answer(responder, socket, Status::NotFound, kText,
               "no company named \"" + visibleName(target).toUtf8() + "\"\n");
        return;
    }
    // The pass is handed only this company's accounts.
    AccountsRead own;
    own.problems = accounts.read.problems;
    own.records = accounts.byCompany.value(*company);
    if (accounts.read.incomplete && accounts.read.incomplete->CompanyName == *company) {
        own.incomplete = accounts.read.incomplete;
        own.incompleteLine = accounts.read.incompleteLine;
    }

    auto* probe = new Probe(std::move(responder), socket, this);
    // A client that ends its side of the connection after its request is answered all the same,
    // through the connection's spare descriptor; a scraper that gave up finds the answer refused.
    // The probe keeps the connection's place until then.
    connect(socket, &QTcpSocket::disconnected, probe, [probe, socket] {
        Guard* guard = guardOf(socket);
        probe->spare = guard ? guard->takeSpare() : -1;
        if (probe->spare < 0) {
            probe->deleteLater();
            return;
        }
        if (QObject* slot = guard->slot())
            slot->setParent(probe);
    });
    connect(socket, &QObject::destroyed, probe, [probe] {
        if (probe->spare < 0)
            probe->deleteLater();
    });
    auto* pass = new SinglePass(m_dir, configuration, *company, m_pass, probe);
    pass->setRowsAtDeadline(true);
    pass->start(std::move(own), budget.deadlineMs, budget.fetchBoundMs,
                [this, probe, pass](const SinglePass::Outcome& outcome) {
                    const PassResult result =
                        outcome.result ? *outcome.result : timedOut(*pass, outcome);
                    const QByteArray body =
                        probeExposition(result, double(probe->clock.nsecsElapsed()) / 1e9);
                    const bool success = probeSucceeded(result);
                    // The label says only what kind of failure; the reason in full goes here.
                    for (const AccountRow& row : result.rows)
                        if (row.reply.failed)
                            QTextStream(stderr)
                                << "courivane-exporter: " << printableText(row.company) << ": "
                                << printableText(row.reply.reason) << '\n';
                    if (probe->spare >= 0)
                        answerAndClose(std::exchange(probe->spare, -1),
                                       closingAnswer(200, "OK", kExposition, body));
                    else if (probe->socket)
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
