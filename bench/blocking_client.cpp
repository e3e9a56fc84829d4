// The floor: a minimal blocking client that asks a loopback server for the same status N times,
// one request after the other, as plainly as POSIX allows.
// Usage: blocking_client PORT PATH COUNT

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char* argv[]) {
    if (argc != 4)
        return 2;
    const int port = std::atoi(argv[1]);
    const std::string request = std::string("GET ") + argv[2] + " HTTP/1.0\r\n\r\n";
    const int count = std::atoi(argv[3]);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int failed = 0;
    char buffer[4096];
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::send(fd, request.data(), request.size(), 0) < 0) {
            ++failed;
            ::close(fd);
            continue;
        }
        ssize_t total = 0;
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            total += n;
        failed += total > 0 ? 0 : 1;
        ::close(fd);
    }
    return failed == 0 ? 0 : 1;
}
