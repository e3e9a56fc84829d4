#pragma once

#include "report/LampCompanies.h"
#include "report/LampRules.h"
#include "report/Reply.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <utility>

namespace courivane {

using FailureKey = std::pair<QString, int>; // company, lamp

// "Granite Works: SMTP failed", "Maple Ltd: unreachable (HTTP 404 Not Found)".
QString failureText(const Failure& failure);
// The failures as lines, the first `most` of them and "and N more" past them.
QStringList failureLines(const QList<Failure>& failures, qsizetype most = 3);

// Flapping: the share of state changes over a service's last 21 passes, each of the 20 changes
// weighted from 0.8 (the oldest) to 1.2 (the newest), in percent of 20. One failure that clears
// gives about 12 %; a service that failed and cleared twice in the last few passes about 23 %.
inline constexpr int kFlapPasses = 21;
inline constexpr double kFlapStartShare = 20.0; // flapping once the share is above this
inline constexpr double kFlapStopShare = 10.0;  // and until it falls below this

// One service's last passes: bit 0 is the newest state, set while it failed.
struct FlapTrack {
    quint32 states = 0;
    int known = 0; // passes seen, at most kFlapPasses
    bool flapping = false;
    int failingIn = -1; // the last pass that saw it fail
};
double flapShare(const FlapTrack& track);
enum class FlapChange { None, Started, Stopped };
// The state of one more pass.
FlapChange addPass(FlapTrack& track, bool failing);

// An acknowledgement of a company's failures, or a snooze of the whole company (planned
// maintenance). Both are kept in the history; a company has at most one of each lasting.
enum class MarkKind : quint8 { Acknowledged = 1, Snoozed = 2 };
struct AlertMark {
    MarkKind kind = MarkKind::Acknowledged;
    QString company;
    quint32 lamps = 0; // acknowledged lamps, a bit each; a snooze covers every lamp
    QString comment;
    QDateTime from;  // UTC; with the kind and the company, what names the mark
    QDateTime until; // UTC; invalid: until OK (an acknowledgement)
    QDateTime ended; // UTC; invalid while it lasts
    QString endedWhy;
    bool covers(Lamp lamp) const { return kind == MarkKind::Snoozed || (lamps >> lamp) & 1u; }
    bool operator==(const AlertMark&) const = default;
};
// An acknowledgement ends once its services have stayed OK this long.
inline constexpr qint64 kAckOkMs = 5 * 60 * 1000;
inline const QString kEndedOk = QStringLiteral("OK for 5 minutes");
inline const QString kEndedExpired = QStringLiteral("expired");
inline const QString kEndedByHand = QStringLiteral("ended by hand");

// "Acknowledged 14:02 until OK: called the provider", "Snoozed until 16:30".
QString markText(const AlertMark& mark, const QDateTime& now);

struct AlertSettings {
    bool sound = true;
    bool popups = true;
    bool web = true;
    int remindMinutes = 0; // 0: no reminders
};

// What the alerts of a pass come to.
struct AlertDecision {
    QList<Failure> heard;    // new failures nothing silences
    QList<Failure> reminded; // failures still not acknowledged, when a reminder is due
    QStringList flapLines;   // "Bravo Flap: SMTP is flapping", "... is no longer flapping"
    QList<AlertMark> ended;  // marks that ended with this pass
    // Lamps whose failures are all acknowledged or snoozed show dim; those and the lamps whose
    // failures all flap do not blink.
    std::array<bool, kLampCount> dimmed{};
    QList<Blink> blinks;
    bool playSound = false;
    bool showNotice = false;
    QString noticeText;
};

// The rules that decide what is heard: what is new, what flaps, what the operator acknowledged
// or snoozed, and when to remind. Every call is handed the time; nothing here reads a clock.
class AlertBook {
public:
    // The marks the history kept, at start-up.
    void load(const QList<AlertMark>& marks);
    // The end of a pass: `end` is the lamps' own decision, `counters` the notice's counts.
    AlertDecision endOfPass(const EndOfPass& end, const std::array<int, kLampCount>& counters,
                            const QList<Failure>& failures, const QDateTime& at,
                            const AlertSettings& settings);

    // Acknowledges a company's present failures (none: nothing); the mark to keep.
    std::optional<AlertMark> acknowledge(const QString& company, const QString& comment,
                                         const QDateTime& until, const QDateTime& now);
    // Every company's present failures, as the panel's and the tray's Acknowledge do it.
    QList<AlertMark> acknowledgeAll(const QDateTime& now);
    AlertMark snooze(const QString& company, const QDateTime& until, const QString& comment,
                     const QDateTime& now);
    // Ends the company's lasting mark of the kind by hand; the mark as it ended.
    std::optional<AlertMark> end(MarkKind kind, const QString& company, const QDateTime& now);

    // The lasting marks.
    const QList<AlertMark>& marks() const { return m_marks; }
    const AlertMark* mark(MarkKind kind, const QString& company) const;
    bool hasFailures(const QString& company) const;
    // Each company failing now, with its failing lamps a bit each.
    const QHash<QString, quint32>& failingLamps() const { return m_failingLamps; }
    bool flapping(const QString& company, Lamp lamp) const;
    // Whether a failure is silenced: acknowledged, snoozed or flapping.
    bool quiet(const QString& company, Lamp lamp, const QDateTime& at) const;
    // What a row says of its company's alerts: flapping services, acknowledgement, snooze.
    QString rowNote(const QString& company, const QDateTime& now) const;
    // A word or two after the company's name in a lamp's tooltip.
    QString lampNote(const QString& company, Lamp lamp, const QDateTime& now) const;
    // Per lamp, whether every failure on it is acknowledged or snoozed at `at` (invalid: by
    // any lasting mark); and whether any lamp is.
    std::array<bool, kLampCount> dimmed(const QDateTime& at) const;
    // The rows' notes and the tooltips' words, from the marks and the flapping.
    void annotate(QList<AccountRow>& rows, const QDateTime& now) const;
    void annotate(LampCompanies& companies, const QDateTime& now) const;

private:
    std::optional<AlertMark> acknowledgeLamps(const QString& company, quint32 lamps,
                                              const QString& comment, const QDateTime& until,
                                              const QDateTime& now);
    // The companies with a lasting mark or a service that flaps.
    QSet<QString> namedCompanies() const;
    // Whether a mark lasting at `at` (invalid: any lasting mark) covers the failure.
    bool marked(const QString& company, Lamp lamp, const QDateTime& at) const;
    void endMarks(const QDateTime& at, QList<AlertMark>& ended);
    QList<std::pair<FailureKey, FlapChange>> updateFlaps(const QList<Failure>& failures);

    void reindex();

    QList<AlertMark> m_marks;
    // Where each company's acknowledgement and snooze stand in m_marks (-1: none).
    QHash<QString, std::array<qsizetype, 2>> m_byCompany;
    QHash<QString, QDateTime> m_okSince; // per acknowledged company: since when its lamps are OK
    QHash<FailureKey, FlapTrack> m_flaps;
    bool m_anyFlapping = false; // whether a track in m_flaps flaps
    QList<Failure> m_present;
    QHash<QString, quint32> m_failingLamps; // the present failures' lamps, a bit each

    // Per company, the lamps present and heard (or not silenced) in the last pass, a bit each.
    QHash<QString, quint32> m_loud;
    QDateTime m_lastAlarm; // when a failure was last heard or reminded
    int m_passes = 0;
};

// When a reminder is due: there is something not acknowledged, reminders are on and the last
// alarm was at least that many minutes ago.
bool reminderDue(const QDateTime& lastAlarm, const QDateTime& at, int remindMinutes,
                 bool anythingUnacknowledged);

} // namespace courivane
