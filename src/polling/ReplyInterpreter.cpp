#include "polling/ReplyInterpreter.h"

#include "config/OptionsFile.h"
#include "report/Severity.h"

#include <QTimeZone>

#include <algorithm>
#include <cstring>

namespace courivane {

namespace {

constexpr qsizetype kTimeLength = 19;

struct Field {
    Lamp service;
    qsizetype position; // counted from 1 at the marker's first character
    const char* handled;
};

// Column order of the row: ICMP, Web, POP3, SMTP, Receive, Send, Ryl.
constexpr Field kCombined[] = {
    {IcmpLamp, 12, "012"},      {Pop3Lamp, 15, "0123"},  {SmtpLamp, 21, "0123"},
    {ReceiveLamp, 18, "01234"}, {SendLamp, 27, "01234"}, {RylLamp, 24, "012"},
};
constexpr Field kSplit[] = {
    {IcmpLamp, 12, "012"},  {WebLamp, 15, "0123"},      {Pop3Lamp, 18, "0123"},
    {SmtpLamp, 24, "0123"}, {ReceiveLamp, 21, "01234"}, {SendLamp, 30, "01234"},
    {RylLamp, 27, "012"},
};
constexpr qsizetype kCombinedTime = 30;
constexpr qsizetype kSplitTime = 42;

Verdict verdictOf(char value, const char* handled) {
    if (value == '\0' || !std::strchr(handled, value))
        return Verdict::Unknown; // keeps the row's columns; no lamp, no row class
    switch (value) {
    case '0':
        return Verdict::Fail;
    case '1':
        return Verdict::Ok;
    case '2':
        return Verdict::Blank;
    case '3':
        return Verdict::Unknown;
    default:
        return Verdict::Warning;
    }
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

namespace {
// Whether the data begins with "HTTP/" in any letter case; looked at for every piece of a reply.
bool beginsWithStatusLine(const QByteArray& data) {
    return data.size() >= 5 && qstrnicmp(data.constData(), "HTTP/", 5) == 0;
}
} // namespace

QList<QByteArray> headerValues(const QByteArray& reply, const QByteArray& name) {
    const qsizetype end = bodyStart(reply);
    const QByteArrayView head = end <= 0 ? QByteArrayView(reply) : QByteArrayView(reply).first(end);
    QList<QByteArray> values;
    // Line by line in place: read for every reply, it copies nothing it does not return.
    for (qsizetype at = 0; at <= head.size();) {
        qsizetype next = head.indexOf('\n', at);
        if (next < 0)
            next = head.size();
        const QByteArrayView line = head.sliced(at, next - at);
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.first(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            values << line.sliced(colon + 1).trimmed().toByteArray();
        at = next + 1;
    }
    return values;
}

HttpStatusLine readStatusLine(const QByteArray& data) {
    HttpStatusLine status;
    status.present = beginsWithStatusLine(data);
    if (!status.present)
        return status;
    const qsizetype lineEnd = data.indexOf('\n');
    QByteArrayView line =
        QByteArrayView(data).first(lineEnd < 0 ? std::min<qsizetype>(data.size(), 200) : lineEnd);
    if (line.endsWith('\r'))
        line.chop(1);
    const auto blank = [&](qsizetype i) { return line.at(i) == ' ' || line.at(i) == '\t'; };
    qsizetype i = 5;
    while (i < line.size() && !blank(i))
        ++i;
    if (i == line.size())
        return status;
    while (i < line.size() && blank(i))
        ++i;
    int code = 0;
    for (qsizetype k = i; k < i + 3; ++k) {
        if (k >= line.size() || line.at(k) < '0' || line.at(k) > '9')
            return status;
        code = code * 10 + (line.at(k) - '0');
    }
    if (i + 3 < line.size() && !blank(i + 3))
        return status; // "5000" is no code
    status.code = code;
    status.text = line.sliced(i + 3).trimmed().toByteArray();
    return status;
}

Dechunked dechunk(const QByteArray& reply) {
    Dechunked d;
    const qsizetype body = bodyStart(reply);
    if (body <= 0) {
        d.data = reply;
        return d;
    }
    for (const QByteArray& value : headerValues(reply, "Transfer-Encoding"))
        d.chunked = d.chunked || value.toLower().contains("chunked");
    if (!d.chunked) {
        d.data = reply;
        return d;
    }
    d.data = reply.left(body);
    for (qsizetype at = body; at < reply.size();) {
        const qsizetype lineEnd = reply.indexOf('\n', at);
        if (lineEnd < 0) // the size line is still on its way
            return d;
        // Hexadecimal digits, then extensions after ";" that say nothing to us.
        QByteArray size = reply.mid(at, lineEnd - at).trimmed();
        size = size.left(size.indexOf(';') < 0 ? size.size() : size.indexOf(';')).trimmed();
        bool ok = !size.isEmpty() && size.size() <= 8;
        const qsizetype length = ok ? size.toLongLong(&ok, 16) : 0;
        if (!ok || length < 0) {
            d.malformed = true;
            return d;
        }
        if (length == 0) {
            d.ended = true;
            return d;
        }
        const qsizetype from = lineEnd + 1;
        d.data += reply.mid(from, length);
        at = from + length;
        if (at >= reply.size())
            return d;
        // Each chunk ends with a line end of its own.
        if (reply.mid(at, 2) == "\r\n") {
            at += 2;
        } else if (reply.at(at) == '\n') {
            at += 1;
        } else if (reply.mid(at) != "\r") {
            d.malformed = true;
            return d;
        }
    }
    return d;
}

qsizetype requiredReplyLength(bool web) {
    return (web ? kSplitTime : kCombinedTime) + kTimeLength - 1;
}

qsizetype findMarker(const QByteArray& data, qsizetype from) {
    const qsizetype m = kMarker.size();
    for (qsizetype i = std::max<qsizetype>(from, 0); i + m <= data.size(); ++i) {
        qsizetype k = 0;
        while (k < m && lower(data.at(i + k)) == lower(kMarker.at(k)))
            ++k;
        if (k == m)
            return i;
    }
    return -1;
}

qsizetype bodyStart(const QByteArray& data, qsizetype from) {
    static const QByteArray kStatusLine = QByteArrayLiteral("HTTP/");
    if (data.size() < kStatusLine.size() && kStatusLine.startsWith(data.toUpper()))
        return -1;
    if (!beginsWithStatusLine(data))
        return 0;
    // The empty line ends the head: LF LF, or LF CR LF (which CR LF CR LF contains).
    for (qsizetype i = std::max<qsizetype>(from, 0); i + 1 < data.size(); ++i) {
        if (data.at(i) != '\n')
            continue;
        if (data.at(i + 1) == '\n')
            return i + 2;
        if (data.at(i + 1) == '\r' && i + 2 < data.size() && data.at(i + 2) == '\n')
            return i + 3;
    }
    return -1;
}

qsizetype locateMarker(const QByteArray& data, bool web) {
    qsizetype body = bodyStart(data);
    if (body < 0)
        body = beginsWithStatusLine(data) ? data.size() : 0; // a head that never ends: no body
    const qsizetype exact = data.indexOf(kMarker, body);
    if (exact >= 0)
        return exact;
    const qsizetype timeAt = web ? kSplitTime : kCombinedTime;
    for (qsizetype at = findMarker(data, body); at >= 0; at = findMarker(data, at + 1)) {
        // Every gap between the marker, the fields and the time is a line end.
        bool layout = data.size() - at >= requiredReplyLength(web);
        for (qsizetype gap = 10; layout && gap < timeAt; gap += 3)
            layout = data.at(at + gap - 1) == '\r' && data.at(at + gap) == '\n';
        if (layout)
            return at;
    }
    return -1;
}

qsizetype MarkerSearch::feed(const QByteArray& data) {
    if (m_found >= 0)
        return m_found;
    if (m_body < 0) {
        // An empty line can straddle two pieces: look again at the last two bytes seen.
        m_body = bodyStart(data, m_scanned - 2);
        if (m_body < 0) {
            m_scanned = data.size();
            return -1;
        }
        m_scanned = m_body;
    }
    m_found = data.indexOf(kMarker, std::max(m_body, m_scanned - (kMarker.size() - 1)));
    m_scanned = data.size();
    return m_found;
}

Reply failedReply(const QString& reason) {
    Reply reply;
    reply.failed = true;
    reply.reason = reason;
    return reply;
}

QString httpErrorOf(const QByteArray& data) {
    const HttpStatusLine status = readStatusLine(data);
    if (status.code == 0 || status.code / 100 == 2)
        return {};
    // The text is the server's: only printable ASCII of it, and not much.
    QString text;
    for (const char c : status.text.left(60))
        text += (c >= 0x20 && c < 0x7F) ? QChar(QLatin1Char(c)) : QChar(u' ');
    text = text.simplified();
    return QStringLiteral("HTTP ") + QString::number(status.code) +
           (text.isEmpty() ? QString() : u' ' + text);
}

void markStale(Reply& reply, const QDateTime& now, int staleAfterMinutes) {
    if (reply.failed || staleAfterMinutes <= 0)
        return;
    reply.stale = !reply.updated.isValid() ||
                  reply.updated.secsTo(now) > qint64(staleAfterMinutes) * 60 ||
                  now.secsTo(reply.updated) > qint64(kFutureToleranceMinutes) * 60;
}

Reply interpretReply(const QByteArray& received, bool web, const QLocale& locale,
                     const QTimeZone& zone) {
    // A monitoring server publishes no status under an error code; an error page that echoes
    // the request path would otherwise pass for one.
    if (const QString error = httpErrorOf(received); !error.isEmpty())
        return failedReply(error);
    // Chunks are joined first: their size lines would shift every field after them.
    const Dechunked dechunked = dechunk(received);
    if (dechunked.malformed)
        return failedReply(QStringLiteral("the reply's chunks are malformed"));
    const QByteArray& data = dechunked.data;
    const qsizetype at = locateMarker(data, web);
    if (at < 0)
        return failedReply(data.isEmpty() ? QStringLiteral("the server closed without a status")
                                          : QStringLiteral("the reply holds no status"));
    const QByteArray reply = data.mid(at);
    if (reply.size() < requiredReplyLength(web))
        return failedReply(QStringLiteral("the status is cut short"));

    auto charAt = [&](qsizetype position) { return reply.at(position - 1); };
    Reply result;
    const qsizetype timeAt = web ? kSplitTime : kCombinedTime;
    result.updateText = QString::fromLatin1(reply.mid(timeAt - 1, kTimeLength));
    const QDateTime utc = parseUpdateTime(result.updateText, locale);
    if (utc.isValid())
        result.updated = UTCtoLocal(utc, zone);

    result.services.reserve(web ? std::size(kSplit) : std::size(kCombined));
    if (web) {
        for (const Field& f : kSplit)
            result.services.append({f.service, verdictOf(charAt(f.position), f.handled)});
    } else {
        for (const Field& f : kCombined)
            result.services.append({f.service, verdictOf(charAt(f.position), f.handled)});
    }
    return result;
}

RowClass rowClassOf(const Reply& reply) {
    // What is not known, or known only from long ago, is no OK.
    switch (worstOf(reply)) {
    case Severity::Fail:
        return RowFailed;
    case Severity::Unknown:
    case Severity::Warning:
        return RowWarning;
    case Severity::Ok:
    case Severity::Blank:
        break;
    }
    return RowOk;
}

void applyToLamps(LampResults& lamps, const QString& company, const Reply& reply) {
    if (reply.failed) {
        recordFailure(lamps, ConnectionLamp, company);
        return;
    }
    for (const ServiceSeverity& s : serviceSeverities(reply)) {
        if (s.severity == Severity::Fail)
            recordFailure(lamps, s.service, company);
        else if (s.severity >= Severity::Warning)
            recordWarning(lamps, s.service);
    }
}

QDateTime parseUpdateTime(const QString& text, const QLocale& locale) {
    // Fixed positions, read by hand: "yyyy-MM-dd HH:mm:ss" or "dd-MM-yyyy HH:mm:ss", with "-",
    // "/" or "." in the date and the day and month in the locale's order when the year is last.
    if (text.size() != 19 || text.at(10) != u' ' || text.at(13) != u':' || text.at(16) != u':')
        return {};
    auto number = [&](qsizetype at, qsizetype digits) {
        int value = 0;
        for (qsizetype i = at; i < at + digits; ++i) {
            const char16_t c = text.at(i).unicode();
            if (c < u'0' || c > u'9')
                return -1;
            value = value * 10 + (c - u'0');
        }
        return value;
    };
    auto separator = [](QChar c) { return c == u'-' || c == u'/' || c == u'.'; };
    int year = 0, month = 0, day = 0;
    if (separator(text.at(4)) && text.at(7) == text.at(4)) {
        year = number(0, 4);
        month = number(5, 2);
        day = number(8, 2);
    } else if (separator(text.at(2)) && text.at(5) == text.at(2)) {
        const QString shortDate = locale.dateFormat(QLocale::ShortFormat);
        const bool monthFirst = shortDate.indexOf(u'M') < shortDate.indexOf(u'd');
        const int first = number(0, 2);
        const int second = number(3, 2);
        month = monthFirst ? first : second;
        day = monthFirst ? second : first;
        year = number(6, 4);
    } else {
        return {};
    }
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return {};
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, QTimeZone::utc());
}

QDateTime UTCtoLocal(const QDateTime& tDate, const QTimeZone& zone) {
    // The time of day as UTC; Qt::UTC costs no look-up of a zone by its name, once per reply.
    return QDateTime(tDate.date(), tDate.time(), Qt::UTC).toTimeZone(zone);
}

} // namespace courivane
