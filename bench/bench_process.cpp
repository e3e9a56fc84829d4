// A whole pass as an operator's script runs it: courivane-check over 5,000 loopback accounts,
// as a process, one fetch at a time against the floor of a minimal blocking client making the
// same 5,000 requests, and eight at a time (its default) against a minimal epoll client with
// eight connections, in five alternating rounds. Prints the medians, their ratios and, when
// strace is installed, the system calls per fetch.

#include "StatusText.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int kAccounts = 5000;
constexpr int kRounds = 5;

// A blocking loopback server on its own thread: read a request head, answer, close. It serves a
// bounded number of connections and stops by itself.
class Server {
public:
    explicit Server(QByteArray reply) : m_reply(std::move(reply)) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(m_fd, 128);
        socklen_t size = sizeof addr;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &size);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~Server() {
        m_stop = true;
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
        m_thread.join();
    }
    int port() const { return m_port; }

private:
    void run() {
        const long limit = 4L * kAccounts * (2 * kRounds + 2);
        char buffer[4096];
        for (long served = 0; !m_stop && served < limit; ++served) {
            const int client = ::accept(m_fd, nullptr, nullptr);
            if (client < 0)
                break;
            std::string head;
            for (ssize_t n; head.find("\r\n\r\n") == std::string::npos &&
                            (n = ::recv(client, buffer, sizeof buffer, 0)) > 0;)
                head.append(buffer, static_cast<size_t>(n));
            ::send(client, m_reply.constData(), static_cast<size_t>(m_reply.size()), 0);
            ::close(client);
        }
    }

    QByteArray m_reply;
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

double runMs(const QString& program, const QStringList& arguments, int* exitCode = nullptr) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    process.waitForFinished(600000);
    if (exitCode)
        *exitCode = process.exitCode();
    return clock.nsecsElapsed() / 1e6;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main() {
    const QDir bin(QStringLiteral(COURIVANE_BIN_DIR));
    const QString check = bin.filePath(QStringLiteral("courivane-check"));
    const QString client = QStringLiteral(COURIVANE_BENCH_DIR "/blocking_client");
    const QString epollClient = QStringLiteral(COURIVANE_BENCH_DIR "/epoll_client");
    const char fields[7] = {'1', '1', '1', '1', '1', '1', '1'};
    // A fresh time: an old one is a stale status, and the pass would not be all green.
    const QByteArray now =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
    const QByteArray body = courivane::statusText(fields, true, now.constData());
    Server server("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body);

    QTemporaryDir config;
    QFile options(QDir(config.path()).filePath(QStringLiteral("Proxy.Txt")));
    options.open(QIODevice::WriteOnly);
    options.write("NO\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nNO\r\n\r\n\r\n");
    options.close();
    QFile accounts(QDir(config.path()).filePath(QStringLiteral("CompUserNames.Txt")));
    accounts.open(QIODevice::WriteOnly);
    const QByteArray address = "127.0.0.1:" + QByteArray::number(server.port());
    for (int i = 0; i < kAccounts; ++i)
        accounts.write("Company " + QByteArray::number(i) + "\r\n" + address + "\r\nacme\r\n");
    accounts.close();
    const QStringList checkArgs = {QStringLiteral("--config-dir"), config.path()};
    const QStringList oneAtATime = checkArgs + QStringList{QStringLiteral("--parallel"), "1"};
    const QStringList clientArgs = {QString::number(server.port()),
                                    QStringLiteral("/status/acme.txt"), QString::number(kAccounts)};

    int code = -1;
    runMs(check, checkArgs, &code); // warm-up, and a check that every account is green
    if (code != 0) {
        std::printf("courivane-check exited %d: the pass was not all green\n", code);
        return 1;
    }
    std::vector<double> checkMs, oneMs, clientMs, epollMs;
    for (int round = 0; round < kRounds; ++round) {
        checkMs.push_back(runMs(check, checkArgs));
        oneMs.push_back(runMs(check, oneAtATime));
        clientMs.push_back(runMs(client, clientArgs));
        epollMs.push_back(runMs(epollClient, clientArgs + QStringList{"8"}));
    }
    const auto line = [](const char* what, double ms) {
        std::printf("%-44s median %4.0f ms (%.1f us per account)\n", what, ms,
                    ms * 1000 / kAccounts);
    };
    std::printf("accounts: %d, rounds: %d, whole processes\n", kAccounts, kRounds);
    line("courivane-check --parallel 1:", median(oneMs));
    line("blocking client:", median(clientMs));
    line("courivane-check (8 at once):", median(checkMs));
    line("epoll client, 8 connections at once:", median(epollMs));
    std::printf("ratio, one at a time to the blocking client: %.2f (goal: at most 1.2)\n",
                median(oneMs) / median(clientMs));
    std::printf("ratio, 8 at once to the epoll client: %.2f (goal: at most 1.3)\n",
                median(checkMs) / median(epollMs));

    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty()) {
        std::printf("system calls per fetch: strace is not installed\n");
        return 0;
    }
    const QString summary = QDir(config.path()).filePath(QStringLiteral("strace.txt"));
    runMs(strace, QStringList{QStringLiteral("-f"), QStringLiteral("-c"), QStringLiteral("-o"),
                              summary, check} +
                      checkArgs);
    QFile file(summary);
    file.open(QIODevice::ReadOnly);
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 4 && words.last() == "total") {
            // % time, seconds, usecs/call, calls, [errors,] total
            const double calls = words.at(3).toDouble();
            std::printf("system calls per fetch (strace -c -f, whole process): %.1f (goal: at "
                        "most 14)\n",
                        calls / kAccounts);
        }
    }
    // The busiest calls, for the reader who wants to see where they go.
    for (qsizetype i = 0; i < lines.size() && i < 14; ++i)
        std::printf("  %s\n", lines.at(i).constData());
    return 0;
}
