#include "report/NoticeText.h"

#include "report/LampCompanies.h"

namespace courivane {

namespace {

struct NoticeLine {
    Lamp counter;
    const char* label; // the trailing blanks are the only separator before the count
};

constexpr NoticeLine kNoticeLines[] = {
    {IcmpLamp, "ICMP:          "},    {WebLamp, "Web:           "},
    {Pop3Lamp, "POP3:          "},    {SmtpLamp, "SMTP:          "},
    {ReceiveLamp, "Receive:      "},  {SendLamp, "Send:           "},
    {ConnectionLamp, "Connection: "},
};

} // namespace

QString noticeText(const std::array<int, kLampCount>& counters, bool web) {
    QString text = QStringLiteral("Failed Services!");
    for (const NoticeLine& line : kNoticeLines) {
        if (line.counter == WebLamp && !web)
            continue;
        const int count = counters[line.counter];
        if (count > 0)
            text += QStringLiteral("\r\n") + QLatin1String(line.label) + QString::number(count);
    }
    return text;
}

QString alarmNoticeText(const std::array<int, kLampCount>& counters, bool web,
                        const QStringList& heardLines, const QStringList& flapLines) {
    QStringList lines;
    if (!heardLines.isEmpty())
        lines << noticeText(counters, web) << heardLines;
    lines << firstLines(flapLines, 3);
    return lines.join(QStringLiteral("\r\n"));
}

QString reminderNoticeText(const QStringList& lines) {
    return (QStringList{QStringLiteral("Still failing, not acknowledged:")} + lines)
        .join(QStringLiteral("\r\n"));
}

} // namespace courivane
