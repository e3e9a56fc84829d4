// Names from the accounts file against the request: nothing a name holds may add a line, a header
// or a word to it.
#include "config/TextLines.h"
#include "polling/FetchTarget.h"
#include "polling/StatusFetch.h"

#include <cstdint>
#include <cstdlib>

using namespace courivane;

namespace {

void checkRequest(const QByteArray& request) {
    const QList<QByteArray> lines = request.split('\n');
    const bool ok = request.endsWith("\r\n\r\n") && request.count('\r') == 5 && lines.size() == 6 &&
                    request.startsWith("GET ") && lines.at(0).count(' ') == 2 &&
                    lines.at(1).startsWith("Host: ") && lines.at(1).count(' ') == 1 &&
                    lines.at(2) == "Pragma: no-cache\r" &&
                    lines.at(3) == "Cache-Control: no-cache\r";
    if (!ok) {
        std::fprintf(stderr, "property failed: request %s\n",
                     request.toPercentEncoding().constData());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 1)
        return 0;
    const bool web = (bytes[0] & 1) != 0;
    const QByteArray data(reinterpret_cast<const char*>(bytes + 1),
                          static_cast<qsizetype>(size - 1));
    const qsizetype cut = data.indexOf('\0');
    const QString server = decodeLine(cut < 0 ? data : data.left(cut));
    const QString user = cut < 0 ? QString() : decodeLine(data.mid(cut + 1));
    const FetchTarget target = deriveFetchTarget({QStringLiteral("C"), server, user}, web);
    checkRequest(StatusFetch::request(target.requestPath, target.authority));
    checkRequest(StatusFetch::request(target.proxyRequestPath(), target.authority));
    return 0;
}
