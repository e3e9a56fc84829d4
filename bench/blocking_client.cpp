// The floor: a minimal blocking client that asks a loopback server for the same status N times,
// one request after the other, as plainly as POSIX allows.
// Usage: blocking_client PORT PATH COUNT

#include "PosixFetch.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char* argv[]) {
    if (argc != 4)
        return 2;
    const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
    const std::string request = courivane::bench::statusRequest(argv[1], argv[2]);
    const int count = std::atoi(argv[3]);
    int failed = 0;
    for (int i = 0; i < count; ++i)
        failed += courivane::bench::posixFetch(port, request.data(), request.size()) ? 0 : 1;
    return failed == 0 ? 0 : 1;
}
