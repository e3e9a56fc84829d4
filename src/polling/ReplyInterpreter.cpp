#include "polling/ReplyInterpreter.h"

#include <QRegularExpression>
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

QString verdictCell(Verdict verdict) {
    switch (verdict) {
    case Verdict::Fail:
        return QStringLiteral("<td bgcolor=#ff3333 align=center>FAIL!</td>");
    case Verdict::Ok:
        return QStringLiteral("<td bgcolor=#33ff66 align=center>OK</td>");
    case Verdict::Blank:
        return QStringLiteral("<td bgcolor=#cccccc align=center></td>");
    case Verdict::Unknown:
        return QStringLiteral("<td bgcolor=#ff9900 align=center>Unknown!</td>");
    case Verdict::Warning:
        return QStringLiteral("<td bgcolor=#ff9900 align=center>Warning!</td>");
    case Verdict::NoData:
        break;
    }
    return QStringLiteral("<td bgcolor=#ff9900 align=center></td>");
}

qsizetype requiredReplyLength(int splitFlag) {
    return (splitFlag == 1 ? kSplitTime : kCombinedTime) + kTimeLength - 1;
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

bool replyComplete(const QByteArray& data, int splitFlag) {
    const qsizetype at = findMarker(data);
    return at >= 0 && data.size() - at >= requiredReplyLength(splitFlag);
}

Reply failedReply(const QString& reason) {
    Reply reply;
    reply.failed = true;
    reply.reason = reason;
    return reply;
}

Reply interpretReply(const QByteArray& data, int splitFlag, const QLocale& locale) {
    // The reply is read from the very occurrence the search found, whatever its letter case.
    const qsizetype at = findMarker(data);
    if (at < 0)
        return failedReply(data.isEmpty() ? QStringLiteral("the server closed without a status")
                                          : QStringLiteral("the reply holds no status"));
    const QByteArray reply = data.mid(at);
    if (reply.size() < requiredReplyLength(splitFlag))
        return failedReply(QStringLiteral("the status is cut short"));

    auto charAt = [&](qsizetype position) { return reply.at(position - 1); };
    Reply result;
    const qsizetype timeAt = splitFlag == 1 ? kSplitTime : kCombinedTime;
    const QString timeText = QString::fromLatin1(reply.mid(timeAt - 1, kTimeLength));
    const QDateTime utc = parseUpdateTime(timeText, locale);
    result.lastUpdate =
        utc.isValid() ? formatLocalTime(UTCtoLocal(utc), locale) : timeText.toHtmlEscaped();

    if (splitFlag == 1) {
        for (const Field& f : kSplit)
            result.services.append({f.service, verdictOf(charAt(f.position), f.handled)});
    } else {
        for (const Field& f : kCombined)
            result.services.append({f.service, verdictOf(charAt(f.position), f.handled)});
    }
    return result;
}

int rowClassOf(const Reply& reply) {
    if (reply.failed)
        return 3;
    int rowClass = 1;
    for (const ServiceVerdict& s : reply.services) {
        if (s.verdict == Verdict::Warning)
            rowClass = std::max(rowClass, 2);
        if (s.verdict == Verdict::Fail)
            rowClass = 3;
    }
    return rowClass;
}

QString rowCells(const Reply& reply, int splitFlag) {
    QString cells;
    if (reply.failed) {
        cells = kErrorConnectingCell;
        const int columns = splitFlag == 1 ? 7 : 6;
        for (int i = 0; i < columns; ++i)
            cells += verdictCell(Verdict::NoData);
        return cells;
    }
    cells = QStringLiteral("<td align=center>") + reply.lastUpdate + QStringLiteral("</td>");
    for (const ServiceVerdict& s : reply.services)
        cells += verdictCell(s.verdict);
    return cells;
}

void applyToLamps(LampResults& lamps, const QString& company, const Reply& reply) {
    if (reply.failed) {
        recordFailure(lamps, ConnectionLamp, company);
        return;
    }
    for (const ServiceVerdict& s : reply.services) {
        if (s.verdict == Verdict::Fail)
            recordFailure(lamps, s.service, company);
        else if (s.verdict == Verdict::Warning)
            recordWarning(lamps, s.service);
    }
}

QDateTime parseUpdateTime(const QString& text, const QLocale& locale) {
    static const QRegularExpression yearFirst(
        QStringLiteral(R"(^(\d{4})([-/.])(\d{2})\2(\d{2}) (\d{2}):(\d{2}):(\d{2})$)"));
    static const QRegularExpression yearLast(
        QStringLiteral(R"(^(\d{2})([-/.])(\d{2})\2(\d{4}) (\d{2}):(\d{2}):(\d{2})$)"));
    int year = 0, month = 0, day = 0;
    QRegularExpressionMatch m = yearFirst.match(text);
    if (m.hasMatch()) {
        year = m.captured(1).toInt();
        month = m.captured(3).toInt();
        day = m.captured(4).toInt();
    } else {
        m = yearLast.match(text);
        if (!m.hasMatch())
            return {};
        const QString shortDate = locale.dateFormat(QLocale::ShortFormat);
        const bool monthFirst = shortDate.indexOf(u'M') < shortDate.indexOf(u'd');
        const int first = m.captured(1).toInt();
        const int second = m.captured(3).toInt();
        month = monthFirst ? first : second;
        day = monthFirst ? second : first;
        year = m.captured(4).toInt();
    }
    const QDate date(year, month, day);
    const QTime time(m.captured(5).toInt(), m.captured(6).toInt(), m.captured(7).toInt());
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, QTimeZone::utc());
}

QDateTime UTCtoLocal(const QDateTime& tDate) {
    QDateTime utc = tDate;
    utc.setTimeZone(QTimeZone::utc());
    return utc.toLocalTime();
}

QString formatLocalTime(const QDateTime& local, const QLocale& locale) {
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(QLatin1String("ss"))) {
        const qsizetype minutes = timeFormat.indexOf(QLatin1String("mm"));
        if (minutes >= 0)
            timeFormat.insert(minutes + 2, QLatin1String(":ss"));
        else
            timeFormat = QStringLiteral("HH:mm:ss");
    }
    return locale.toString(local.date(), QLocale::ShortFormat) + u' ' +
           locale.toString(local.time(), timeFormat);
}

} // namespace courivane
