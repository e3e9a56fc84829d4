// Replies from a monitoring server: the piecewise marker search, the early end of a fetch and
// the page cells, against whatever a server can send.
#include "config/OptionsFile.h"
#include "polling/ReplyInterpreter.h"
#include "report/SummaryPage.h"

#include "Property.h"

#include <algorithm>
#include <cstdint>

using namespace courivane;

namespace {

// What must never reach a page, a terminal or a tooltip as it stands.
bool unprintable(QChar c) {
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || (u >= 0x202A && u <= 0x202E) ||
           (u >= 0x2066 && u <= 0x2069);
}

bool sameReply(const Reply& a, const Reply& b) {
    return a.failed == b.failed && a.reason == b.reason && a.updateText == b.updateText &&
           a.updated == b.updated && a.services == b.services;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 2)
        return 0;
    const bool web = (bytes[0] & 1) != 0;
    const unsigned step = 1 + bytes[1] % 23;
    const QByteArray data(reinterpret_cast<const char*>(bytes + 2),
                          static_cast<qsizetype>(size - 2));

    // The search over pieces finds what a search of the whole finds.
    qsizetype body = bodyStart(data);
    const qsizetype whole = body < 0 ? -1 : data.indexOf(kMarker, body);
    MarkerSearch search;
    qsizetype found = -1;
    qsizetype earlyEnd = -1;
    for (qsizetype end = 0; end < data.size();) {
        end = std::min<qsizetype>(data.size(), end + step);
        found = search.feed(data.left(end));
        if (earlyEnd < 0 && found >= 0 && end - found >= requiredReplyLength(web))
            earlyEnd = end;
    }
    check(found == whole, "piecewise marker search differs from the whole search");

    // A fetch that ends early reads what the whole reply says.
    const Reply full = interpretReply(data, web);
    if (earlyEnd >= 0)
        check(sameReply(interpretReply(data.left(earlyEnd), web), full),
              "an early end reads another reply than the whole");

    // Nothing of the server's or the file's reaches the page as markup.
    const QString text = QString::fromUtf8(data);
    const AccountRow hostile{text, QStringLiteral("http://m/logs/") + text, RowOk, full, {}, {}, {},
                             {}};
    const AccountRow plain{QString(), QStringLiteral("http://m/logs/"), RowOk, full, {}, {}, {},
                           {}};
    const QString a = SummaryPage::rowHtml(hostile, web);
    const QString b = SummaryPage::rowHtml(plain, web);
    check(std::none_of(a.cbegin(), a.cend(), unprintable), "a control character reached the page");
    const QString terminal = printableText(text);
    check(std::none_of(terminal.cbegin(), terminal.cend(), unprintable),
          "a control character reached the terminal text");
    // A status whose every field holds a value its service does not handle is never OK.
    const bool nothingKnown =
        !full.failed &&
        std::all_of(full.services.cbegin(), full.services.cend(),
                    [](const ServiceVerdict& v) { return v.verdict == Verdict::Unknown; });
    check(!nothingKnown || rowClassOf(full) != RowOk, "a status with nothing known is OK");
    check(a.count(u'<') == b.count(u'<') && a.count(u'>') == b.count(u'>') &&
              a.count(u'"') == b.count(u'"') && a.count(u' ') == b.count(u' ') + text.count(u' '),
          "server or file text reached the page as markup");
    return 0;
}
