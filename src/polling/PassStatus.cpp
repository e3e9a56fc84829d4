#include "polling/PassStatus.h"

namespace courivane {

namespace {
QString clockTime(const QDateTime& utc) {
    return utc.toLocalTime().toString(QStringLiteral("HH:mm:ss"));
}
} // namespace

StatusLine statusLineOf(const PassClock& clock, const QDateTime& now, qint64 lateAfterMs) {
    StatusLine line;
    if (clock.running) {
        line.text = QStringLiteral("Checking: %1 of %2").arg(clock.filed).arg(clock.total);
    } else if (!clock.lastEndedAt.isValid()) {
        line.text = QStringLiteral("Not checked yet");
    } else if (clock.lastAccounts == 0) {
        line.text = QStringLiteral("Checked at %1 - no account to check, nothing is known")
                        .arg(clockTime(clock.lastEndedAt));
    } else {
        line.text = QStringLiteral("Checked at %1 - %2 account%3 in %4 s")
                        .arg(clockTime(clock.lastEndedAt))
                        .arg(clock.lastAccounts)
                        .arg(clock.lastAccounts == 1 ? "" : "s")
                        .arg(clock.lastDurationMs / 1000.0, 0, 'f', 1);
    }
    const QDateTime since = clock.lastEndedAt.isValid() ? clock.lastEndedAt : clock.startedAt;
    if (since.isValid() && since.msecsTo(now) > lateAfterMs) {
        line.late = true;
        line.text += QStringLiteral(" - no pass has ended since %1").arg(clockTime(since));
    }
    return line;
}

} // namespace courivane
