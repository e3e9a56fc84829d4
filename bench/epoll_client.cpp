// The floor for fetches at once: a minimal client that asks a loopback server for the same
// status N times, with up to K connections open at a time, through epoll.
// Usage: epoll_client PORT PATH COUNT K

#include "PosixFetch.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int openOne(uint16_t port, int epoll) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 &&
        errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    epoll_event event{};
    event.events = EPOLLOUT;
    event.data.fd = fd;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event);
    return fd;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 5)
        return 2;
    const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
    const std::string request = courivane::bench::statusRequest(argv[1], argv[2]);
    const int count = std::atoi(argv[3]);
    const int atOnce = std::max(1, std::atoi(argv[4]));
    const int epoll = ::epoll_create1(0);
    std::vector<long> received(65536, -1); // by descriptor: bytes so far, -1 while connecting
    int started = 0, finished = 0, failed = 0, open = 0;
    const auto startMore = [&] {
        while (open < atOnce && started < count) {
            ++started;
            const int fd = openOne(port, epoll);
            if (fd < 0) {
                ++failed;
                ++finished;
                continue;
            }
            received[size_t(fd)] = -1;
            ++open;
        }
    };
    startMore();
    epoll_event events[64];
    char buffer[4096];
    while (finished < count) {
        const int n = ::epoll_wait(epoll, events, 64, 10000);
        if (n <= 0)
            return 1; // nothing for ten seconds: the server is gone
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            long& got = received[size_t(fd)];
            bool done = false;
            if (got < 0) { // connected: send, then wait for the answer
                done = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0;
                got = 0;
                epoll_event event{};
                event.events = EPOLLIN;
                event.data.fd = fd;
                ::epoll_ctl(epoll, EPOLL_CTL_MOD, fd, &event);
                failed += done ? 1 : 0;
            } else {
                const ssize_t r = ::recv(fd, buffer, sizeof buffer, 0);
                if (r > 0) {
                    got += r;
                } else {
                    done = true;
                    failed += got > 0 ? 0 : 1;
                }
            }
            if (done) {
                ::close(fd); // leaves the epoll set with it
                --open;
                ++finished;
            }
        }
        startMore();
    }
    return failed == 0 ? 0 : 1;
}
