// One pass over 1,000 accounts against a local server, the page of 10,000 rows whole and the
// monitor's window of it, peak memory, and memory after 10 and after 100 passes.

#include "ServerThread.h"

#include "polling/PollCycle.h"
#include "report/SummaryPage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace courivane;

namespace {

constexpr int kAccounts = 1000;
constexpr int kPageRows = 10000;

void writeFile(const QDir& dir, const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

double runPass(PollCycle& cycle) {
    QEventLoop loop;
    const auto c = QObject::connect(&cycle, &PollCycle::passFinished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    cycle.runPass();
    if (cycle.isRunning())
        loop.exec();
    QObject::disconnect(c);
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QByteArray fine = testing::FakeMonitorServer::httpReply(
        testing::FakeMonitorServer::splitStatus("1111111", "2026-07-01 12:00:00"));
    const QByteArray failing = testing::FakeMonitorServer::httpReply(
        testing::FakeMonitorServer::splitStatus("1101111", "2026-07-01 12:00:00"));
    bench::ServerThread thread([&](testing::FakeMonitorServer& s) {
        s.setRecordRequests(false);
        s.setDefault({fine});
        s.setReply(QStringLiteral("/status/user7.txt"), failing);
    });
    const quint16 port = thread.startAndWait();

    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    writeFile(dir, QStringLiteral("Proxy.Txt"),
              "NO\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nNO\r\n\r\n\r\n");
    QByteArray accounts;
    for (int i = 0; i < kAccounts; ++i)
        accounts += "Company " + QByteArray::number(i) +
                    "\r\n127.0.0.1:" + QByteArray::number(port) + "\r\nuser" +
                    QByteArray::number(i) + "\r\n";
    writeFile(dir, QStringLiteral("CompUserNames.Txt"), accounts);

    Options flags;
    flags.errorsOnly = false;
    PollCycle cycle(dir, flags);
    cycle.setSinglePass(true);
    const double passMs = runPass(cycle);
    std::printf("one pass over %d accounts: %.1f ms (%.1f us per account)\n", kAccounts, passMs,
                passMs * 1000 / kAccounts);

    // The page the program makes of a pass: the plug-in writes it whole, the monitor a window.
    QList<AccountRow> rows;
    QList<PassResult> results;
    const auto keep = QObject::connect(&cycle, &PollCycle::passFinished, &cycle,
                                       [&](const PassResult& r) { results << r; });
    runPass(cycle);
    QObject::disconnect(keep);
    const PassResult& pass = results.first();
    for (int i = 0; i < kPageRows; ++i)
        rows << pass.rows.at(i % pass.rows.size());
    QElapsedTimer clock;
    clock.start();
    qsizetype length = 0;
    constexpr int kComposeRuns = 20;
    for (int i = 0; i < kComposeRuns; ++i)
        length += PassPage::ofPass(rows, true, true, false, {}).html().size();
    std::printf("the whole page of %d rows: %.2f ms (%lld characters)\n", kPageRows,
                clock.nsecsElapsed() / 1e6 / kComposeRuns,
                static_cast<long long>(length / kComposeRuns));
    clock.restart();
    for (int i = 0; i < kComposeRuns; ++i)
        length +=
            PassPage::ofPass(rows, true, true, false, {}).window(kPageRows / 2, 40).html.size();
    std::printf("the monitor's window of 40 of its rows: %.3f ms\n",
                clock.nsecsElapsed() / 1e6 / kComposeRuns);
    rows = {};
    results = {};

    for (int i = 1; i < 10; ++i)
        runPass(cycle);
    const long after10 = bench::procStatusKiB("VmRSS");
    for (int i = 10; i < 100; ++i)
        runPass(cycle);
    const long after100 = bench::procStatusKiB("VmRSS");
    std::printf(
        "resident memory after 10 passes: %ld KiB, after 100 passes: %ld KiB, growth %ld KiB "
        "(limit 1024 KiB: %s)\n",
        after10, after100, after100 - after10, after100 - after10 <= 1024 ? "met" : "EXCEEDED");
    std::printf("peak resident memory: %ld KiB\n", bench::procStatusKiB("VmHWM"));
    return 0;
}
