#pragma once

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
    static constexpr int kSchemaVersion = 1;
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
    // What is older than the days kept goes: closed intervals and passes.
    bool prune(const QDateTime& now);

private:
    struct Open {
        Seen seen = Seen::Unknown;
        qint64 since = 0;
    };
    using Slots = std::array<std::optional<Open>, kHistorySlots>;

    bool open(Mode mode);
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
