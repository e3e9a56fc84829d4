// courivane-exporter as Prometheus meets it: probes a second over 1,000 companies (one account
// each, a loopback status server) with 8 scrapers at once, over kept connections and with a
// connection per probe; its resident memory before and after 50,000 probes; and how long a
// probe of a company whose server never answers takes while the others go on.
// Usage: bench_exporter [SECONDS]

#include "ServerThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace courivane;
using namespace courivane::bench;
using courivane::testing::FakeMonitorServer;

namespace {

constexpr int kCompanies = 1000;
constexpr int kScrapers = 8;

int connectTo(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends one probe and reads its whole answer (by Content-Length); false when it did not come.
bool probe(int fd, int company, bool keepAlive, const char* extra = "") {
    const std::string request = "GET /probe?target=Company+" + std::to_string(company) +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                                (keepAlive ? "" : "Connection: close\r\n") + extra + "\r\n";
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0)
        return false;
    std::string answer;
    char buffer[8192];
    size_t need = std::string::npos;
    while (need == std::string::npos || answer.size() < need) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        answer.append(buffer, size_t(n));
        const size_t head = answer.find("\r\n\r\n");
        const size_t length = answer.find("Content-Length: ");
        if (need == std::string::npos && head != std::string::npos && length != std::string::npos)
            need = head + 4 + std::stoul(answer.substr(length + 16));
    }
    return answer.compare(0, 12, "HTTP/1.1 200") == 0;
}

// Probes a second with 8 scrapers for `seconds`, or until `total` probes are answered.
double probesPerSecond(quint16 port, bool keepAlive, double seconds, long total = 0) {
    std::atomic<long> answered{0}, failed{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> scrapers;
    for (int s = 0; s < kScrapers; ++s)
        scrapers.emplace_back([&, s] {
            int fd = -1;
            for (int i = s;; i += kScrapers) {
                if (total ? answered >= total : clock.elapsed() >= seconds * 1000)
                    break;
                if (fd < 0)
                    fd = connectTo(port);
                const bool ok = fd >= 0 && probe(fd, i % kCompanies, keepAlive);
                (ok ? answered : failed)++;
                if (!keepAlive || !ok) {
                    ::close(fd);
                    fd = -1;
                }
            }
            if (fd >= 0)
                ::close(fd);
        });
    for (std::thread& t : scrapers)
        t.join();
    if (failed > 0)
        std::printf("  (%ld probes not answered)\n", failed.load());
    return answered / (clock.elapsed() / 1000.0);
}

long residentKiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    ServerThread statuses([](FakeMonitorServer& s) {
        s.setRecordRequests(false);
        s.setDefault({FakeMonitorServer::httpReply(
            FakeMonitorServer::splitStatus("1111111", FakeMonitorServer::now()))});
    });
    const quint16 statusPort = statuses.startAndWait();
    ServerThread hung([](FakeMonitorServer& s) {
        s.setRecordRequests(false);
        s.setDefault({{}, 0, 0, testing::Script::End::KeepOpen});
    });
    const quint16 hungPort = hung.startAndWait();

    QTemporaryDir dir;
    QFile options(QDir(dir.path()).filePath(QStringLiteral("Proxy.Txt")));
    QFile accounts(QDir(dir.path()).filePath(QStringLiteral("CompUserNames.Txt")));
    if (!options.open(QIODevice::WriteOnly) || !accounts.open(QIODevice::WriteOnly))
        return 1;
    options.write("NO\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nNO\r\n\r\n\r\n");
    for (int c = 0; c < kCompanies; ++c)
        accounts.write(QStringLiteral("Company %1\r\n127.0.0.1:%2\r\nu%1\r\n")
                           .arg(c)
                           .arg(statusPort)
                           .toUtf8());
    accounts.write(QStringLiteral("Hung\r\n127.0.0.1:%1\r\nhung\r\n").arg(hungPort).toUtf8());
    options.close();
    accounts.close();

    QProcess exporter;
    exporter.start(QStringLiteral(COURIVANE_BIN_DIR "/courivane-exporter"),
                   {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                    QStringLiteral("--config-dir"), dir.path()});
    exporter.setReadChannel(QProcess::StandardError);
    QByteArray said;
    while (!said.contains("/\n") && exporter.waitForReadyRead(5000))
        said += exporter.readAllStandardError();
    const quint16 port = said.mid(said.lastIndexOf(':') + 1).chopped(2).toUShort();
    if (port == 0) {
        std::fprintf(stderr, "the exporter did not start: %s\n", said.constData());
        return 1;
    }
    // Its stderr says a line per failed account: only the hung company's, a few in all.

    std::printf("courivane-exporter, %d companies of one account each, %d scrapers at once\n",
                kCompanies, kScrapers);
    probesPerSecond(port, true, 1.0); // the first probe reads the accounts file
    std::printf("  kept connections:      %.0f probes/s\n", probesPerSecond(port, true, seconds));
    std::printf("  a connection a probe:  %.0f probes/s\n", probesPerSecond(port, false, seconds));
    const long before = residentKiB(exporter.processId());
    probesPerSecond(port, true, 0, 50000);
    const long after = residentKiB(exporter.processId());
    std::printf("  resident before and after 50,000 probes: %.1f MiB, %.1f MiB\n", before / 1024.0,
                after / 1024.0);

    // One company whose server never answers, probed with a 2 s scrape time-out while the
    // others are scraped at full speed.
    std::thread others([&] { probesPerSecond(port, true, 3.0); });
    QElapsedTimer clock;
    clock.start();
    const int fd = connectTo(port);
    const bool answered = fd >= 0 && [&] {
        const std::string request = "GET /probe?target=Hung HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                    "X-Prometheus-Scrape-Timeout-Seconds: 2\r\n\r\n";
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0)
            return false;
        char buffer[8192];
        return ::recv(fd, buffer, sizeof buffer, 0) > 0;
    }();
    const double hungSeconds = clock.elapsed() / 1000.0;
    ::close(fd);
    others.join();
    std::printf("  a hung server's probe (2 s scrape time-out): %s after %.2f s\n",
                answered ? "answered" : "NOT answered", hungSeconds);
    exporter.kill();
    exporter.waitForFinished();
    return 0;
}
