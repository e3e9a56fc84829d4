#include "config/AlertsFile.h"

#include <QSettings>

namespace courivane {

namespace {
const QString kRemindKey = QStringLiteral("reminders/minutes");
}

int readRemindMinutes(const QDir& dir) {
    const QSettings file(dir.filePath(kAlertsFileName), QSettings::IniFormat);
    bool ok = false;
    const int minutes = file.value(kRemindKey).toString().trimmed().toInt(&ok);
    return ok && minutes > 0 ? std::min(minutes, kMaxRemindMinutes) : 0;
}

QString writeRemindMinutes(const QDir& dir, int minutes) {
    QSettings file(dir.filePath(kAlertsFileName), QSettings::IniFormat);
    file.setValue(kRemindKey, std::clamp(minutes, 0, kMaxRemindMinutes));
    file.sync();
    switch (file.status()) {
    case QSettings::NoError:
        return {};
    case QSettings::AccessError:
        return QStringLiteral("it cannot be written");
    case QSettings::FormatError:
        break;
    }
    return QStringLiteral("it is not a settings file");
}

} // namespace courivane
