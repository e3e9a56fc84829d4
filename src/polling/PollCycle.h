#pragma once

#include "config/AccountsFile.h"
#include "config/OptionsFile.h"
#include "polling/CycleState.h"
#include "polling/StatusFetch.h"

#include <QDir>
#include <QObject>
#include <QTimer>

namespace courivane {

inline const QString kTitleConnectingTo = QStringLiteral("Courivane Status - Connecting to: ");
inline const QString kTitleSecondsTo = QStringLiteral("Courivane Status - Seconds to connection: ");
inline const QString kTitleEstablishing =
    QStringLiteral("Courivane Status - Establishing Connection!");
inline const QString kCountdownStart = QStringLiteral("30");

// The heartbeat: one pass over every account, one fetch at a time, then a countdown to the next.
// Event-driven: each fetch's end advances the pass; the event loop is never re-entered.
class PollCycle : public QObject {
    Q_OBJECT
public:
    PollCycle(QDir programDir, OptionFlags& flags, QObject* parent = nullptr);

    // The first pass, run by start-up: options already read, split flag set by the layout. A
    // caller that has just read the accounts file may hand its reading over.
    void runStartupPass(int splitFlag, const QStringList& startupProblems = {},
                        std::optional<AccountsRead> accounts = std::nullopt);

    // Poll only the accounts of this company (exact name); empty polls every account.
    void setCompanyFilter(const QString& company) { m_company = company; }

    bool isRunning() const { return m_running; }
    const CycleState& state() const { return m_state; }
    QString countdownCounter() const { return m_countdown; }

    // Named as the panel's timers: the cycle timer and the countdown timer.
    QTimer* const Timer1;
    QTimer* const Timer13;

public slots:
    // The cycle timer's tick: one pass, unless one is already running.
    void runPass();
    // The countdown timer's tick.
    void countdownTick();

signals:
    void passStarted(courivane::PassKind kind);
    void titleChanged(const QString& title);
    void countdownChanged(const QString& counter);
    void passFinished(const courivane::PassResult& result);

private:
    void beginPass(PassKind kind, QStringList problems, std::optional<AccountsRead> accounts = {});
    // Starts accounts until one is under way or the pass is over; a fetch that ends within its
    // own start is taken by this loop, so a run of such failures never deepens the stack.
    void startNextAccount();
    void onFetchFinished(const courivane::FetchOutcome& outcome);
    void finishPass();
    void reportProblems(const QStringList& problems);

    QDir m_dir;
    OptionFlags& m_flags;
    StatusFetch m_fetch;
    CycleState m_state;
    QList<AccountRecord> m_accounts;
    qsizetype m_next = 0;
    QStringList m_problems;
    QStringList m_reportedProblems;
    QString m_company;
    PassKind m_kind = PassKind::Cycle;
    bool m_running = false;
    bool m_starting = false; // inside startNextAccount()
    bool m_advance = false;  // a fetch ended while it was being started
    QString m_countdown = kCountdownStart;
};

} // namespace courivane

Q_DECLARE_METATYPE(courivane::PassResult)
