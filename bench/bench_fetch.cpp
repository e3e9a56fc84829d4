// Mean cost of one status fetch against a local server, beside the floor: the same requests made
// by a minimal blocking POSIX-socket client in the same run.

#include "PosixFetch.h"
#include "ServerThread.h"

#include "polling/StatusFetch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <cstdio>
#include <map>

using namespace courivane;

namespace {

constexpr int kFetches = 1000;

bool posixFetch(quint16 port, const QByteArray& request) {
    return bench::posixFetch(port, request.constData(), static_cast<size_t>(request.size()));
}

// Counts the events that reach objects through the posted-event queue: each one costs the event
// loop a wake-up (a write and a read on its event descriptor and a turn of poll).
class CountingApp : public QCoreApplication {
public:
    using QCoreApplication::QCoreApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (counting)
            ++posted[event->type()];
        return QCoreApplication::notify(receiver, event);
    }
    bool counting = false;
    std::map<int, long> posted;
};

} // namespace

int main(int argc, char* argv[]) {
    CountingApp app(argc, argv);
    const QByteArray status = testing::FakeMonitorServer::httpReply(
        testing::FakeMonitorServer::splitStatus("1111111", "2026-07-01 12:00:00"));
    bench::ServerThread thread([&](testing::FakeMonitorServer& s) {
        s.setRecordRequests(false);
        s.setReply(QStringLiteral("/status/acme.txt"), status);
    });
    const quint16 port = thread.startAndWait();
    const FetchTarget target =
        deriveFetchTarget({"Acme", QStringLiteral("127.0.0.1:%1").arg(port), "acme"}, 1);

    // Warm up both paths once.
    posixFetch(port, StatusFetch::request(target.requestPath, target.authority));

    // Both clients take turns in rounds, so that neither gains from the machine's warm-up.
    constexpr int kRounds = 10;
    StatusFetch fetch;
    int failed = 0;
    int posixFailed = 0;
    qint64 fetchNs = 0;
    qint64 floorNs = 0;
    for (int round = 0; round < kRounds; ++round) {
        app.counting = round == 0;
        QEventLoop loop;
        int done = 0;
        const auto c = QObject::connect(&fetch, &StatusFetch::finished, &loop,
                                        [&](const FetchOutcome& outcome) {
                                            failed += outcome.failed ? 1 : 0;
                                            if (++done < kFetches / kRounds)
                                                fetch.start(target, {}, 1);
                                            else
                                                loop.quit();
                                        });
        QElapsedTimer clock;
        clock.start();
        fetch.start(target, {}, 1);
        loop.exec();
        fetchNs += clock.nsecsElapsed();
        QObject::disconnect(c);

        clock.restart();
        for (int i = 0; i < kFetches / kRounds; ++i)
            posixFailed +=
                posixFetch(port, StatusFetch::request(target.requestPath, target.authority)) ? 0
                                                                                             : 1;
        floorNs += clock.nsecsElapsed();
    }
    const double fetchUs = fetchNs / 1e3 / kFetches;
    const double floorUs = floorNs / 1e3 / kFetches;

    std::printf("fetches: %d each (StatusFetch failures %d, POSIX failures %d)\n", kFetches, failed,
                posixFailed);
    std::printf("StatusFetch mean per fetch: %.1f us\n", fetchUs);
    std::printf("POSIX blocking client floor: %.1f us\n", floorUs);
    std::printf("ratio: %.2f (goal: at most 1.2)\n", fetchUs / floorUs);
    // Events sent directly (socket and timer activations) are not posted; these are.
    long postedEvents = 0;
    for (const auto& [type, count] : app.posted)
        if (type == QEvent::MetaCall || type == QEvent::DeferredDelete)
            postedEvents += count;
    std::printf("posted events per fetch (queued calls and deferred deletes): %.2f (goal: at "
                "most 1)\n",
                double(postedEvents) / (kFetches / kRounds));
    for (const auto& [type, count] : app.posted)
        std::printf("  event type %d: %.2f per fetch\n", type,
                    double(count) / (kFetches / kRounds));
    return 0;
}
