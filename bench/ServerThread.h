#pragma once

#include "FakeMonitorServer.h"

#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <functional>
#include <future>

namespace courivane::bench {

// The fake monitoring server in a thread of its own, so that a blocking client can be measured
// against it as well.
class ServerThread : public QThread {
public:
    explicit ServerThread(std::function<void(testing::FakeMonitorServer&)> setup)
        : m_setup(std::move(setup)) {}
    ~ServerThread() override {
        quit();
        wait();
    }
    quint16 startAndWait() {
        start();
        return m_port.get_future().get();
    }

protected:
    void run() override {
        testing::FakeMonitorServer server;
        server.listen();
        m_setup(server);
        m_port.set_value(server.port());
        exec();
    }

private:
    std::function<void(testing::FakeMonitorServer&)> m_setup;
    std::promise<quint16> m_port;
};

inline long procStatusKiB(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long value = -1;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0)
            value = std::strtol(line + n + 1, nullptr, 10);
    std::fclose(f);
    return value;
}

} // namespace courivane::bench
