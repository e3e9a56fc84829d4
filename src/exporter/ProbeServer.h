#pragma once

#include "exporter/ProbeMetrics.h"
#include "polling/PassOptions.h"

#include <QAbstractHttpServer>
#include <QDir>
#include <QHttpServerResponder>
#include <QList>
#include <QThreadPool>

#include <functional>
#include <memory>

class QTcpSocket;

namespace courivane {

// The exporter's HTTP side: /probe?target=COMPANY runs one pass over that company's accounts
// when it is asked and answers with its metrics, /metrics with the exporter's own; anything
// else is 404. A request larger than kMaxRequestBytes, one that takes longer than
// kRequestTimeoutMs to arrive, or a connection beyond kMaxConnections is refused at once and
// touches no other.
class ProbeServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxRequestBytes = 8 * 1024;
    static constexpr int kMaxConnections = 16;
    static constexpr int kMaxWaiting = 64; // beyond the 16, connections waiting for a place
    static constexpr int kRequestTimeoutMs = 10000;
    static constexpr int kIdleTimeoutMs = 60000;
    static constexpr int kResumeAcceptingMs = 250;

    ProbeServer(const QDir& configDir, const PassOptions& pass, QObject* parent = nullptr);
    ~ProbeServer() override;

    // Listens on the address; the reason when it cannot.
    QString listen(const QHostAddress& address, quint16 port);
    quint16 port() const;
    const ExporterCounters& counters() const { return m_counters; }
    // How long a request may take to arrive, and a connection wait for its place; tests shorten
    // it.
    void setRequestTimeoutMs(int ms) { m_requestTimeoutMs = ms; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    class Listener;
    class Probe;
    struct Accounts;
    void probe(const QHttpServerRequest& request, QTcpSocket* socket);
    void probeWith(const Accounts& accounts, QHttpServerResponder&& responder, QTcpSocket* socket,
                   const QString& target, ProbeBudget budget);
    void probeEnded(Probe* probe, bool success);
    // Hands `use` the accounts file as it stands: at once when it has not changed since it was
    // last read, otherwise once a reader has read it again.
    void withAccounts(std::function<void(const Accounts&)> use);

    QDir m_dir;
    PassOptions m_pass;
    int m_requestTimeoutMs = kRequestTimeoutMs;
    Listener* m_listener = nullptr;
    ExporterCounters m_counters;
    std::shared_ptr<const Accounts> m_accounts;
    bool m_reading = false;
    QList<std::function<void(const Accounts&)>> m_waiting;
    QThreadPool m_readers;
};

} // namespace courivane
