#pragma once

#include "report/LampRules.h"

#include <QString>
#include <QStringList>

namespace courivane {

inline const QString kTrayTip = QStringLiteral("Courivane");
inline const QString kNoticeTitle = QStringLiteral("Courivane!");

// "Failed Services!" and a line per service that failed, with its count.
QString noticeText(const std::array<int, kLampCount>& counters, bool web);
// The notice of a pass with new failures: that text, then a line for each new failure; with
// none, the lines that say what started or stopped flapping (at most three, then "and N more").
QString alarmNoticeText(const std::array<int, kLampCount>& counters, bool web,
                        const QStringList& heardLines, const QStringList& flapLines);
// The reminder of failures nobody acknowledged.
QString reminderNoticeText(const QStringList& lines);

} // namespace courivane
