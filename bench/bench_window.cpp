// The real panel and summary window, offscreen, over a large list of accounts on a closed port:
// the longest stall of the event loop around each pass's end, the processor time of a pass and
// the resident memory. Usage: bench_window [ACCOUNTS [PASSES [HISTORY_DAYS]]] (default: 5,000,
// then 50,000, three passes each, 31 days of history; 0 days: history off).

#include "app/Program.h"
#include "polling/PollCycle.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <ctime>

using namespace courivane;

namespace {

double residentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

double processorSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort(); // closed again when `probe` goes
}

void measure(int accounts, int passes, int historyDays) {
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    QFile proxy(dir.filePath(QStringLiteral("Proxy.Txt")));
    proxy.open(QIODevice::WriteOnly);
    proxy.write("NO\r\nNO\r\nNO\r\nNO\r\nNO\r\nNO\r\nNO\r\nNO\r\n\r\n\r\n");
    proxy.close();
    const QByteArray server = "127.0.0.1:" + QByteArray::number(closedPort());
    QByteArray list;
    for (int i = 0; i < accounts; ++i)
        list += "Company " + QByteArray::number(i) + "\r\n" + server + "\r\nuser" +
                QByteArray::number(i) + "\r\n";
    QFile file(dir.filePath(QStringLiteral("CompUserNames.Txt")));
    file.open(QIODevice::WriteOnly);
    file.write(list);
    file.close();

    Program program(dir);
    program.setHistoryDays(historyDays);
    program.startUp();
    program.showSummary();
    PollCycle* cycle = program.cycle();

    // A tick every 5 ms; a late tick is a stall of the event loop.
    QElapsedTimer sinceTick;
    qint64 stall = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { stall = std::max(stall, sinceTick.restart()); });
    for (int pass = 1; pass <= passes; ++pass) {
        QEventLoop loop;
        QObject::connect(cycle, &PollCycle::passFinished, &loop, [&] {
            // What follows the pass's end (page, lamps) belongs to it: wait a second more.
            QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        });
        if (pass > 1) {
            cycle->checkNow();
        }
        const double cpu = processorSeconds();
        QElapsedTimer wall;
        wall.start();
        stall = 0;
        sinceTick.start();
        ticker.start();
        loop.exec();
        ticker.stop();
        std::printf("%6d accounts, pass %d: %7.0f ms, processor %6.2f s, longest stall %5lld ms, "
                    "resident %6.1f MiB\n",
                    accounts, pass, double(wall.elapsed()), processorSeconds() - cpu,
                    static_cast<long long>(stall), residentMiB());
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int only = argc > 1 ? std::atoi(argv[1]) : 0;
    const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const int historyDays = argc > 3 ? std::max(0, std::atoi(argv[3])) : 31;
    std::printf("history: %s\n", historyDays > 0 ? "on" : "off");
    for (const int accounts : {5000, 50000})
        if (only == 0 || only == accounts)
            measure(accounts, passes, historyDays);
    return 0;
}
