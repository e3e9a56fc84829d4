// A pass over accounts whose servers answer slowly or not at all: 200 accounts on four servers
// that answer after 50 ms and 3 on one that accepts and never answers, with the fetch bound
// shortened to 3 s. Prints the pass time one at a time and eight at once, against the ideal.

#include "ServerThread.h"

#include "polling/PollCycle.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <vector>

using namespace courivane;

namespace {

constexpr int kSlowAccounts = 200;
constexpr int kLatencyMs = 50;
constexpr int kBoundMs = 3000;
constexpr int kServers = 4;

void writeFile(const QDir& dir, const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

double passSeconds(const QDir& dir, int parallel) {
    Options flags;
    PollCycle cycle(dir, flags);
    cycle.setSinglePass(true);
    cycle.setParallel(parallel);
    cycle.setFetchTimeoutMs(kBoundMs);
    QEventLoop loop;
    QObject::connect(&cycle, &PollCycle::passFinished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    cycle.runPass();
    if (cycle.isRunning())
        loop.exec();
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QByteArray fine = testing::FakeMonitorServer::httpReply(
        testing::FakeMonitorServer::splitStatus("1111111", "2026-07-01 12:00:00"));
    std::vector<std::unique_ptr<bench::ServerThread>> threads;
    QList<quint16> slow;
    for (int i = 0; i < kServers; ++i) {
        threads.push_back(std::make_unique<bench::ServerThread>([&](testing::FakeMonitorServer& s) {
            s.setRecordRequests(false);
            s.setDefault({fine, 0, kLatencyMs});
        }));
        slow << threads.back()->startAndWait();
    }
    threads.push_back(std::make_unique<bench::ServerThread>([](testing::FakeMonitorServer& s) {
        s.setRecordRequests(false);
        s.setDefault({{}, 0, 0, testing::Script::End::KeepOpen});
    }));
    const quint16 hung = threads.back()->startAndWait();

    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    writeFile(dir, QStringLiteral("Proxy.Txt"),
              "NO\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nNO\r\n\r\n\r\n");
    auto account = [](int i, quint16 port) {
        return "Company " + QByteArray::number(i) + "\r\n127.0.0.1:" + QByteArray::number(port) +
               "\r\nuser" + QByteArray::number(i) + "\r\n";
    };
    // The hung accounts first in the file, and spread through it (one of them last).
    const std::pair<const char*, QList<int>> layouts[] = {
        {"hung accounts first", {0, 1, 2}},
        {"hung accounts spread", {0, kSlowAccounts / 2, kSlowAccounts + 2}},
    };
    const double ideal8 = std::max(kBoundMs / 1000.0, kSlowAccounts * kLatencyMs / 1000.0 / 8);
    std::printf("%d accounts answering after %d ms on %d servers, 3 on a server that never "
                "answers, fetch bound %.1f s\n",
                kSlowAccounts, kLatencyMs, kServers, kBoundMs / 1000.0);
    for (const auto& [name, hungAt] : layouts) {
        QByteArray accounts;
        for (int i = 0, slowIndex = 0; i < kSlowAccounts + 3; ++i)
            accounts +=
                hungAt.contains(i) ? account(i, hung) : account(i, slow.at(slowIndex++ % kServers));
        writeFile(dir, QStringLiteral("CompUserNames.Txt"), accounts);
        const bool first = hungAt.first() == 0 && hungAt.last() == 2;
        if (first)
            std::printf("  N = 1: %.2f s (one at a time: the latency and every bound in turn)\n",
                        passSeconds(dir, 1));
        const double n8 = passSeconds(dir, 8);
        std::printf("  %s, N = 8: %.2f s, ideal %.2f s, ratio %.2f (goal 1.25)\n", name, n8, ideal8,
                    n8 / ideal8);
    }
    return 0;
}
