#pragma once

#include "config/AccountsFile.h"
#include "config/OptionsFile.h"
#include "polling/CycleState.h"
#include "polling/FetchSecurity.h"
#include "polling/PassStatus.h"
#include "polling/StatusFetch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>

#include <QTimer>
#include <memory>
#include <vector>

#include <deque>
#include <functional>
#include <memory>
#include <queue>
#include <vector>

namespace courivane {

inline const QString kTitleConnectingTo = QStringLiteral("Courivane Status - Connecting to: ");
inline const QString kTitleSecondsTo = QStringLiteral("Courivane Status - Seconds to connection: ");
inline const QString kTitleEstablishing =
    QStringLiteral("Courivane Status - Establishing Connection!");
inline constexpr int kCountdownStart = 30;

// Whether the countdown is behind the wall clock by more than a whole cycle: the machine slept
// (a timer does not count the time asleep), and what the lamps show is that old. `lastEnded` is
// when the last pass ended, by the clock `now` comes from.
bool sleptPastACycle(const QDateTime& lastEnded, const QDateTime& now);

// The heartbeat: one pass over every account, then a countdown to the next. Several fetches run
// at once, each on its own socket; replies are filed into rows and lamps strictly in file order,
// so what a pass shows is what a one-at-a-time pass over the same replies shows. Event-driven:
// each fetch's end advances the pass; the event loop is never re-entered.
class PollCycle : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultParallel = 8;
    static constexpr int kMaxParallel = 64;
    static constexpr int kPerServerLimit = 4;

    explicit PollCycle(QDir programDir, Options options = {}, QObject* parent = nullptr);
    ~PollCycle() override;

    // The options in use, held here alone: the start of each cycle reads its lines of the options
    // file into them, and optionsRead() tells who shows them. A change reaches the next fetch;
    // the Web column and the page's options of a pass under way stay as the pass fixed them.
    const Options& options() const { return m_options; }
    void setOptions(const Options& options) { m_options = options; }

    // The first pass, run by start-up with the options it read; split unless line 4 says
    // exactly "NO". A caller that has just read the accounts file may hand its reading over.
    void runStartupPass(const QStringList& startupProblems = {},
                        std::optional<AccountsRead> accounts = std::nullopt);

    // Poll only the accounts of this company (exact name); empty polls every account.
    void setCompanyFilter(const QString& company) { m_company = company; }
    // Fetches under way at once, 1 to kMaxParallel; to one server at most the smaller of this
    // and kPerServerLimit. 1 is the one-at-a-time pass.
    void setParallel(int fetches);
    int parallel() const { return m_parallel; }
    // Bounds each fetch, connection and reply; tests and benchmarks shorten it.
    void setFetchTimeoutMs(int ms) { m_fetchTimeoutMs = ms; }
    // A status older than this is stale; 0 turns the rule off.
    void setStaleAfterMinutes(int minutes) { m_staleAfterMinutes = minutes; }
    // Where a server's password is looked up when it asks for one; none answers every such
    // request "authentication required". Not owned.
    void setPasswordStore(PasswordStore* store) { m_passwords = store; }
    // This machine's clock in UTC, as the staleness rule reads it; tests hand a fixed one.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    bool isRunning() const { return m_running; }
    // One pass and no countdown after it: the plug-in's, the exporter's and the benchmarks'.
    void setSinglePass(bool once) { m_singlePass = once; }
    const CycleState& state() const { return m_state; }
    int countdownCounter() const { return m_countdown; }
    // The companies of this pass whose fetch has not ended, in file order, each with its server.
    QList<AccountRecord> unfinishedAccounts() const;
    // Every account of the pass under way in file order: the rows filed, then those that have
    // ended but wait for an earlier one, and a failure with `unanswered` for each of the rest.
    QList<AccountRow> rowsSoFar(const QString& unanswered) const;
    // The line under the summary page, as of `now`.
    StatusLine statusLine(const QDateTime& now) const;

public slots:
    // The cycle timer's tick: one pass, unless one is already running.
    void runPass();
    // The countdown timer's tick.
    void countdownTick();
    // A pass now, unless one is running; the countdown starts again after it. False when one
    // was running.
    bool checkNow();
    // A pass now, or right after the one under way: what a save of either file asks for.
    // The line under the page once more, as it stands now.
    void announceStatus();
    void checkSoon();

signals:
    void passStarted(courivane::PassKind kind);
    // The start of a cycle has read the options file again.
    void optionsRead(const courivane::Options& options);
    void titleChanged(const QString& title);
    void countdownChanged(int seconds);
    void passFinished(const courivane::PassResult& result);
    // At each step of a pass, each countdown tick, and each second while a pass runs.
    void statusLineChanged(const courivane::StatusLine& line);

private:
    // Named as the panel's timers: the cycle timer and the countdown timer.
    QTimer* const Timer1;
    QTimer* const Timer13;

    enum class Stage { Waiting, Running, Ended };
    // Kept small: a list of a million accounts waits here.
    struct Pending {
        AccountRecord account;
        int server = 0; // the host and port the fetch is counted by
        Stage stage = Stage::Waiting;
        QString logUrl;               // once its fetch has started
        std::unique_ptr<Reply> reply; // once it has ended, until it is filed
    };
    struct Server {
        int underWay = 0;
        std::deque<qsizetype> waiting; // its accounts not yet started, in file order
        bool offered = false;          // in m_startable
        bool hung = false;             // a fetch to it ran out its bound in this pass
    };
    struct Slot {
        std::unique_ptr<StatusFetch> fetch;
        qsizetype account = -1; // the account it fetches, or -1 when free
    };

    void beginPass(PassKind kind, QStringList problems, std::optional<AccountsRead> accounts = {});
    // Starts accounts while the limits allow; a fetch that ends within its own start is taken
    // by this loop, so a run of such failures never deepens the stack.
    void startFetches();
    // Starts what may start now, within the bounds; files nothing.
    void launch();
    void startOne(qsizetype index);
    // Makes the server's next account startable when its limit allows.
    void offer(int server);
    void onFetchFinished(int slot, const courivane::FetchOutcome& outcome);
    void endAccount(qsizetype index, Reply reply);
    // The row of an ended account, filed by the rules as they stand now.
    AccountRow rowOf(const Pending& p, Reply reply) const;
    // Files every ended account whose predecessors are all filed.
    void fileInOrder();
    void announceWaiting();
    void finishPass();
    void reportProblems(const QStringList& problems);

    QDir m_dir;
    Options m_options;
    std::vector<Slot> m_slots;
    CycleState m_state;
    std::vector<Pending> m_pending;
    std::vector<Server> m_servers;
    // The first waiting account of each server that may take another fetch, earliest first.
    std::priority_queue<std::pair<qsizetype, int>, std::vector<std::pair<qsizetype, int>>,
                        std::greater<>>
        m_startable;
    qsizetype m_nextToFile = 0;
    int m_underWay = 0;
    int m_parallel = kDefaultParallel;
    int m_fetchTimeoutMs = StatusFetch::kFetchTimeoutMs;
    int m_staleAfterMinutes = kDefaultStaleAfterMinutes;
    PasswordStore* m_passwords = nullptr;
    FetchSecurity m_security; // as of the pass under way
    std::function<QDateTime()> m_clock = &QDateTime::currentDateTimeUtc;
    QElapsedTimer m_passClock;
    PassClock m_status;
    QTimer m_statusTimer; // runs during a pass: a stuck pass says so
    QStringList m_problems;
    QStringList m_reportedProblems;
    QString m_company;
    int m_incompleteLine = 0;
    bool m_singlePass = false;
    bool m_passAgain = false; // checkSoon() came while a pass ran
    PassKind m_kind = PassKind::Cycle;
    bool m_running = false;
    bool m_starting = false; // inside startFetches()
    bool m_again = false;    // a fetch ended while fetches were being started
    int m_countdown = kCountdownStart;
};

} // namespace courivane

Q_DECLARE_METATYPE(courivane::PassResult)
Q_DECLARE_METATYPE(courivane::StatusLine)
