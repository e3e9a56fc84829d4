#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace courivane::bench {

// The same bytes as the monitor sends for PATH to a loopback server on PORT.
inline std::string statusRequest(const char* port, const char* path) {
    return std::string("GET ") + path + " HTTP/1.0\r\nHost: 127.0.0.1:" + port +
           "\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n\r\n";
}

// The floor the benchmarks compare with: one blocking request to a loopback port, as plainly as
// POSIX allows. True when the server answered anything.
inline bool posixFetch(uint16_t port, const char* request, size_t length) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::send(fd, request, length, 0) < 0) {
        ::close(fd);
        return false;
    }
    char buffer[4096];
    ssize_t total = 0;
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        total += n;
    ::close(fd);
    return total > 0;
}

} // namespace courivane::bench
