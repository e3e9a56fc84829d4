#pragma once

#include <QString>

namespace courivane {

// The program's name as its panel and its message boxes are titled.
inline const QString kApplicationTitle = QStringLiteral("Courivane");
// The summary window's title before the first pass names what it is doing.
inline const QString kMonitorTitle = QStringLiteral("Courivane Status");

} // namespace courivane
