#pragma once

#include "report/LampRules.h"
#include "report/Reply.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QTimeZone>

namespace courivane {

inline const QByteArray kMarker = QByteArrayLiteral("RylStatus");

// A reply's first line when it is an HTTP status line: "HTTP/" (in any letter case, which a
// server should not send but an error is an error), the version, one or more blanks, a code of
// three digits and its text. `code` is 0 when the reply begins otherwise, or has no such code.
struct HttpStatusLine {
    bool present = false; // the reply begins with "HTTP/": a head precedes the body
    int code = 0;
    QByteArray text;
};
HttpStatusLine readStatusLine(const QByteArray& data);
// The values of a reply's header lines of that name (in any letter case), trimmed, in order; a
// reply without a status line is looked at whole.
QList<QByteArray> headerValues(const QByteArray& reply, const QByteArray& name);

// A reply whose head says "Transfer-Encoding: chunked", with its body's chunks joined behind the
// head: what has arrived of them, whether the last chunk has come, and whether the chunks broke
// their own rules. Any other reply is as it came.
struct Dechunked {
    QByteArray data;
    bool chunked = false;
    bool ended = false;
    bool malformed = false;
};
Dechunked dechunk(const QByteArray& reply);

// Bytes from the marker's first character that the layout needs: up to the end of the time.
qsizetype requiredReplyLength(bool web);
// The marker's first occurrence in any letter case, searched from `from`; -1 when absent.
qsizetype findMarker(const QByteArray& data, qsizetype from = 0);
// Where a marker may stand: after the head (the first empty line) when the reply begins with an
// HTTP status line, since a head can echo the request path; otherwise from the first byte. -1
// while that is not known yet (a head not yet ended, or fewer bytes than "HTTP/").
qsizetype bodyStart(const QByteArray& data, qsizetype from = 0);
// The occurrence the fields are read from: the first one spelt exactly "RylStatus" in the body,
// else the first one in another letter case that is followed by a status layout (an error page
// that echoes a user name such as "cheryl" holds "rylStatus" too); -1 when there is none.
qsizetype locateMarker(const QByteArray& data, bool web);

// Finds the exact marker in a reply that arrives in pieces, looking at each byte a bounded
// number of times; what it finds is what a search of the whole reply finds.
class MarkerSearch {
public:
    // Looks at what was appended since the last call: the exact marker's position, or -1.
    qsizetype feed(const QByteArray& data);

private:
    qsizetype m_body = -1;
    qsizetype m_scanned = 0;
    qsizetype m_found = -1;
};

// The update time is converted to `zone`, the local zone unless a pass hands the one it took.
Reply interpretReply(const QByteArray& data, bool web, const QLocale& locale = QLocale(),
                     const QTimeZone& zone = QTimeZone::systemTimeZone());
Reply failedReply(const QString& reason);
// The reason a reply is refused before its body is read: a status line with a code that is not
// 2xx ("HTTP 404 Not Found"). Empty when the reply does not begin with an HTTP status line, or
// its code is 2xx.
QString httpErrorOf(const QByteArray& data);

// How old a status may be, and how far ahead of this machine's clock, before it is stale.
inline constexpr int kDefaultStaleAfterMinutes = 30;
inline constexpr int kFutureToleranceMinutes = 5;
inline constexpr int kMaxStaleAfterMinutes = 24 * 60;
// Marks the reply stale against `now` when its time is unreadable, more than `staleAfterMinutes`
// old or more than kFutureToleranceMinutes ahead; 0 minutes turns the rule off.
void markStale(Reply& reply, const QDateTime& now, int staleAfterMinutes);

// The row class a reply gives when StatusSummary is "YES".
RowClass rowClassOf(const Reply& reply);
// Lamp states, failure lists and counters a reply changes.
void applyToLamps(LampResults& lamps, const QString& company, const Reply& reply);

// The 19-character update time, read as UTC: year first with "-", "/" or ".", or day and month
// in the order of the locale's short date. Invalid when it is no such time.
QDateTime parseUpdateTime(const QString& text, const QLocale& locale = QLocale());
// UTC to local time, with the zone's daylight-saving rule for that date.
QDateTime UTCtoLocal(const QDateTime& tDate, const QTimeZone& zone = QTimeZone::systemTimeZone());

} // namespace courivane
