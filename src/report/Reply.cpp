#include "report/Reply.h"

#include <algorithm>

#include <QLocale>

namespace courivane {

QString verdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ok:
        return QStringLiteral("OK");
    case Verdict::Fail:
        return QStringLiteral("FAIL!");
    case Verdict::Unknown:
        return QStringLiteral("Unknown!");
    case Verdict::Warning:
        return QStringLiteral("Warning!");
    case Verdict::Blank:
    case Verdict::NoData:
        break;
    }
    return {};
}

QString printableText(const QString& text) {
    // Text that is printable as it stands, the usual case, is returned as it is and shared.
    const bool plain = std::all_of(text.cbegin(), text.cend(),
                                   [](QChar c) { return !c.isSurrogate() && c.isPrint(); });
    if (plain)
        return text;
    QString out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (QChar::isPrint(c))
            out += QStringView(QChar::fromUcs4(c));
        else
            out += QChar::ReplacementCharacter;
    }
    return out;
}

bool hasUnknown(const Reply& reply) {
    for (const ServiceVerdict& s : reply.services)
        if (s.verdict == Verdict::Unknown)
            return true;
    return false;
}

namespace {

// The locale's short date, a space, and its short time with seconds added where it has none.
QString dateTimeFormat(const QLocale& locale) {
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(QLatin1String("ss"))) {
        const qsizetype minutes = timeFormat.indexOf(QLatin1String("mm"));
        if (minutes >= 0)
            timeFormat.insert(minutes + 2, QLatin1String(":ss"));
        else
            timeFormat = QStringLiteral("HH:mm:ss");
    }
    return locale.dateFormat(QLocale::ShortFormat) + u' ' + timeFormat;
}

} // namespace

QString formatLocalTime(const QDateTime& local, const QLocale& locale) {
    // Working the format out costs more than formatting: it is done once per locale. Accounts
    // of one server often share an update time, so the last text is kept as well.
    thread_local QLocale formatLocale;
    thread_local QString format = dateTimeFormat(formatLocale);
    thread_local QDate lastDate;
    thread_local QTime lastTime;
    thread_local QString lastText;
    if (!(locale == formatLocale)) {
        formatLocale = locale;
        format = dateTimeFormat(locale);
        lastDate = QDate();
    }
    // The text shows the wall-clock date and time only.
    if (local.date() != lastDate || local.time() != lastTime || !lastDate.isValid()) {
        lastDate = local.date();
        lastTime = local.time();
        lastText = locale.toString(local, format);
    }
    return lastText;
}

QString tooltipText(const QStringList& lines) {
    // A tooltip that might be rich text is read as rich text; an escaped paragraph never is.
    QStringList escaped;
    for (const QString& line : lines)
        escaped << printableText(line).toHtmlEscaped();
    return QStringLiteral("<p style='white-space:pre'>") + escaped.join(QStringLiteral("<br>")) +
           QStringLiteral("</p>");
}

} // namespace courivane
