#pragma once

#include <QDir>
#include <QString>

namespace courivane {

// The alert settings that are not lines of the options file (which peers read as it stands):
// how often to remind of failures nobody acknowledged. Beside the options file.
inline const QString kAlertsFileName = QStringLiteral("Alerts.ini");
inline constexpr int kMaxRemindMinutes = 24 * 60;

// Minutes between reminders, 0 for none (also for a missing or unreadable file).
int readRemindMinutes(const QDir& dir);
// Empty, or why it could not be written.
QString writeRemindMinutes(const QDir& dir, int minutes);

} // namespace courivane
