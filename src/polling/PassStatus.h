#pragma once

#include <QDateTime>
#include <QString>

namespace courivane {

// What the line under the summary page knows of the passes.
struct PassClock {
    QDateTime startedAt;   // when the program started, UTC
    QDateTime lastEndedAt; // when the last pass ended; invalid before the first
    qsizetype lastAccounts = 0;
    qint64 lastDurationMs = 0;
    bool running = false;
    qsizetype filed = 0; // of the pass under way
    qsizetype total = 0;
};

struct StatusLine {
    QString text;
    bool late = false; // no pass has ended for longer than two cycles may take
};

// "Checked at 21:03:43 - 5 accounts in 1.2 s", "Checking: 37 of 200", and when no pass has ended
// for more than `lateAfterMs`, since when. Times are shown in `now`'s local time.
StatusLine statusLineOf(const PassClock& clock, const QDateTime& now, qint64 lateAfterMs);

} // namespace courivane
