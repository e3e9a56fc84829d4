#pragma once

#include "report/LampRules.h"

#include <QString>

namespace courivane {

inline const QString kTrayTip = QStringLiteral("Courivane");
inline const QString kNoticeTitle = QStringLiteral("Courivane!");

// "Failed Services!" and a line per service that failed, with its count.
QString noticeText(const std::array<int, kLampCount>& counters, bool web);

} // namespace courivane
