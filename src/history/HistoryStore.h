#pragma once

#include "report/AlertRules.h"
#include "report/LampRules.h"
#include "report/Reply.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QLockFile>
#include <QString>

#include <array>
#include <memory>
#include <optional>

class QSqlDatabase;

class QFileInfo;

namespace courivane {

inline const QString kHistoryFileName = QStringLiteral("History.sqlite");
inline constexpr int kDefaultHistoryDays = 31;

// What the history records of a service or of the fetch.
enum class Seen : quint8 {
    Ok = 0,
    Failed = 1,
    Warning = 2,
    Unknown = 3,
    NotMonitored = 4,
    Stale = 5,
    Reached = 6,
    Unreachable = 7,
};
// A failure of a service, or the server that could not be asked.
inline bool isOutage(Seen seen) {
    return seen == Seen::Failed || seen == Seen::Unreachable;
}
// The slots of an account: the seven services in lamp order, then the fetch.
inline constexpr int kFetchSlot = ConnectionLamp;
inline constexpr int kHistorySlots = kLampCount;

// What each slot of an account's row shows, as the history records it. A failed fetch says
// nothing of the services: they keep what was last seen.
std::array<std::optional<Seen>, kHistorySlots> seenOf(const Reply& reply);

// An account as the history knows it.
struct AccountKey {
    QString company;
    QString server;
    QString user;
    bool operator==(const AccountKey&) const = default;
};
size_t qHash(const AccountKey& key, size_t seed = 0);

// A failure of a service or of the fetch, from its start to its end (invalid while ongoing).
struct Outage {
    AccountKey account;
    int slot = 0;
    QDateTime start; // UTC
    QDateTime end;   // UTC; invalid: ongoing
    QString reason;
};

// One state of a slot over a time, in milliseconds since 1970 (UTC).
struct Segment {
    qint64 from = 0;
    qint64 to = 0;
    Seen seen = Seen::Unknown;
};

// What the history holds of one company: for each of its accounts and slots the states of the
// last 30 days, when the monitor was running, the outages and the share of time each service
// was OK over the last day, week and month.
struct CompanyHistory {
    struct Line {
        AccountKey account;
        int slot = 0;
        QList<Segment> segments;
        // Over 1, 7 and 30 days: the OK share of the time the state was known while the
        // monitor ran; none when nothing was known (never 100 % for a service not seen).
        std::array<std::optional<double>, 3> uptime;
    };
    QString company;
    QDateTime now;
    QList<Line> lines;
    QList<std::pair<qint64, qint64>> running; // when passes ran, merged
    QList<Outage> outages;
    QList<AlertMark> marks; // acknowledgements and snoozes, oldest first
};
inline constexpr std::array<int, 3> kUptimeDays{1, 7, 30};

// The share of [from, to) that `segments` spend OK (or reached), counting only the time
// within `running` and with a known state; none when nothing is known.
std::optional<double> uptimeShare(const QList<Segment>& segments,
                                  const QList<std::pair<qint64, qint64>>& running, qint64 from,
                                  qint64 to);
// The times passes ran, merged: a pass covers its own time and the cycle after it, unless the
// next began later than that (the monitor was not running in between).
QList<std::pair<qint64, qint64>> runningTimes(const QList<std::pair<qint64, qint64>>& passes,
                                              qint64 cycleMs);

// An outage in a few words: "Acme Freight SMTP failed 12:31-12:47", "Dunmore Clinic unreachable
// 13:02-13:03", in local time, with the date where it is not today's.
QString outageText(const Outage& outage, const QDateTime& now);
// What failed and cleared while nobody looked: "While away (since 12:04): " and the first
// `most` outages, "; " between them, and "and N more" past them; empty when nothing did.
QString whileAwayText(const QList<Outage>& cleared, const QDateTime& since, const QDateTime& now,
                      int most = 3);

// Outages as CSV for a report: a head line, then company, service, start, end (empty while
// ongoing), duration in seconds (up to `now` while ongoing) and reason, times in UTC (ISO 8601).
// A field that could start a spreadsheet formula is made plain text; controls do not pass.
QString outagesCsv(const QList<Outage>& outages, const QDateTime& now);

// The memory of every account: each change of each service's state and of the fetch, with the
// time of the pass that saw it, and each pass's start, end and account count, in one SQLite
// file beside the configuration. Changes only: an account whose states stay the same costs
// nothing but the pass's own line. Every query is bound; nothing is built from text.
//
// Whatever goes wrong with the file, monitoring goes on: the store says why history is off or
// paused (`problem()`), never deletes the file, and moves a corrupt one aside to begin anew.
class HistoryStore {
public:
    static constexpr int kSchemaVersion = 2;
    enum class Mode { Monitor, ReadOnly };

    // `keepDays` 0: no history and no file.
    HistoryStore(QString path, int keepDays = kDefaultHistoryDays, Mode mode = Mode::Monitor);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    bool isOn() const { return m_db != nullptr; }
    // Why history is off or paused; empty while it records.
    const QString& problem() const { return m_problem; }
    const QString& path() const { return m_path; }

    // Records a pass: what changed since the last one seen, at the pass's start. False when it
    // could not be written (a full disk): history is paused and the next pass tries again.
    bool record(const QList<AccountRow>& rows, const QDateTime& started, const QDateTime& ended);
    // Since when the account's oldest current failure or warning has lasted; invalid when
    // none lasts or nothing is known.
    QDateTime since(const AccountKey& account) const;
    // Every row's `since`, from what the store holds.
    void annotate(QList<AccountRow>& rows) const;
    // Since when each account in trouble has been, as the store holds it.
    QHash<AccountKey, QDateTime> openTrouble() const;
    // The outages that ended after `from` or still last, of one company or of all (empty),
    // oldest first.
    QList<Outage> outages(const QString& company, const QDateTime& from) const;
    // What the store holds of a company over the last 30 days before `now`.
    CompanyHistory companyHistory(const QString& company, const QDateTime& now) const;
    // What is older than the days kept goes: closed intervals, passes, ended marks.
    bool prune(const QDateTime& now);
    // An acknowledgement or a snooze, new or ended; false when it could not be written.
    bool saveMark(const AlertMark& mark);
    // The marks that ended at `from` or later or still last, of one company or of all (empty),
    // oldest first.
    QList<AlertMark> marks(const QString& company, const QDateTime& from) const;

private:
    struct Open {
        Seen seen = Seen::Unknown;
        qint64 since = 0;
    };
    using Slots = std::array<std::optional<Open>, kHistorySlots>;

    bool open(Mode mode);
    // The monitor's lock on the file, and the file itself, private, when it is new.
    bool claimFile(const QFileInfo& file);
    enum class Opening { Open, Refused, Damaged };
    // One attempt to open the database; a damaged one says what is wrong with it.
    Opening openDatabase(Mode mode, QString* damage);
    bool prepareSchema();
    void loadOpenStates();
    void moveAside(const QString& why);
    void close();
    bool exec(const QString& sql);
    std::optional<qint64> accountId(const AccountKey& key);

    QString m_path;
    int m_keepDays;
    QString m_problem;
    QString m_connection;
    std::unique_ptr<QSqlDatabase> m_db;
    std::unique_ptr<QLockFile> m_lock;
    QHash<AccountKey, qint64> m_ids;
    QHash<qint64, Slots> m_open;
    qint64 m_lastPrune = 0;
};

} // namespace courivane
