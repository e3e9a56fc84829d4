#include "report/Reply.h"

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
