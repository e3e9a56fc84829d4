#include "polling/PollCycle.h"

#include <QDebug>

namespace courivane {

namespace {
constexpr int kTickMs = 1000;
}

PollCycle::PollCycle(QDir programDir, OptionFlags& flags, QObject* parent)
    : QObject(parent), Timer1(new QTimer(this)), Timer13(new QTimer(this)),
      m_dir(std::move(programDir)), m_flags(flags), m_fetch(this) {
    qRegisterMetaType<courivane::PassResult>();
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTickMs);
    Timer13->setObjectName(QStringLiteral("Timer13"));
    Timer13->setInterval(kTickMs);
    connect(Timer1, &QTimer::timeout, this, &PollCycle::runPass);
    connect(Timer13, &QTimer::timeout, this, &PollCycle::countdownTick);
    // Direct: the next account starts while the event loop still has the last one's turn, and
    // startNextAccount() keeps a run of immediate failures from recursing.
    connect(&m_fetch, &StatusFetch::finished, this, &PollCycle::onFetchFinished);
}

void PollCycle::runStartupPass(int splitFlag, const QStringList& startupProblems,
                               std::optional<AccountsRead> accounts) {
    if (m_running)
        return;
    m_state.splitFlag = splitFlag;
    beginPass(PassKind::Startup, startupProblems, std::move(accounts));
}

void PollCycle::runPass() {
    if (m_running)
        return;
    const QStringList problems = OptionsFile(m_dir).readCycle(m_flags);
    m_state.splitFlag = splitFlagOf(m_flags.SplitIcmpWeb);
    beginPass(PassKind::Cycle, problems);
}

void PollCycle::beginPass(PassKind kind, QStringList problems,
                          std::optional<AccountsRead> alreadyRead) {
    m_running = true;
    m_kind = kind;
    Reset(m_state.lamps);
    m_state.rows.clear();
    // Once per pass: a change of the system's zone reaches the next pass, and each reply is
    // converted without asking the system again.
    m_state.zone = QTimeZone::systemTimeZone();
    // Every record is read before the first fetch: a save during the pass cannot mix two lists.
    AccountsRead accounts = alreadyRead ? std::move(*alreadyRead) : AccountsFile(m_dir).read();
    problems += accounts.problems;
    // Without an accounts file nothing can be known: the Con lamp says so instead of green.
    if (!accounts.usable)
        recordFailure(m_state.lamps, ConnectionLamp, kAccountsFileName);
    m_accounts = std::move(accounts.records);
    if (!m_company.isEmpty())
        m_accounts.removeIf([this](const AccountRecord& a) { return a.CompanyName != m_company; });
    m_problems = problems;
    m_next = 0;
    reportProblems(m_problems);
    emit passStarted(kind);
    startNextAccount();
}

void PollCycle::startNextAccount() {
    m_starting = true;
    do {
        m_advance = false;
        if (m_next >= m_accounts.size()) {
            m_starting = false;
            finishPass();
            return;
        }
        const AccountRecord& account = m_accounts.at(m_next++);
        m_state.fetchFinished = false;
        m_state.company = account.CompanyName;
        if (m_kind == PassKind::Cycle)
            emit titleChanged(kTitleConnectingTo + m_state.company);
        m_state.target = deriveFetchTarget(account, m_state.splitFlag);
        m_fetch.start(m_state.target, m_flags, m_state.splitFlag);
    } while (m_advance);
    m_starting = false;
}

void PollCycle::onFetchFinished(const FetchOutcome& outcome) {
    if (!m_running || m_state.fetchFinished)
        return;
    m_state.fetchFinished = true;
    const Reply reply =
        outcome.failed ? failedReply(outcome.reason)
                       : interpretReply(outcome.reply, m_state.splitFlag, QLocale(), m_state.zone);
    // StatusSummary is read as it stands now: the settings dialog may change it mid-pass.
    const int rowClass = isYes(m_flags.StatusSummary) ? rowClassOf(reply) : RowOk;
    applyToLamps(m_state.lamps, m_state.company, reply);
    m_state.rows.append({m_state.company, m_state.target.logUrl, rowClass, reply});
    if (m_starting)
        m_advance = true;
    else
        startNextAccount();
}

void PollCycle::finishPass() {
    PassResult result;
    result.kind = m_kind;
    result.splitFlag = m_state.splitFlag;
    result.problems = m_problems;
    result.end = decideEndOfPass(m_kind, m_state.lamps, m_state.splitFlag, m_flags.EnableSound,
                                 m_flags.EnablePopups);
    result.counters = m_state.lamps.counters;
    result.rows = m_state.rows;
    m_accounts.clear();

    emit passFinished(result);
    Remember(m_state.lamps);

    m_countdown = kCountdownStart;
    emit countdownChanged(m_countdown);
    m_running = false;
    Timer13->start();
    if (m_kind == PassKind::Cycle)
        Timer1->stop();
}

void PollCycle::countdownTick() {
    m_countdown = QString::number(m_countdown.toInt() - 1);
    emit countdownChanged(m_countdown);
    if (m_countdown != QLatin1String("0")) {
        emit titleChanged(kTitleSecondsTo + m_countdown);
        return;
    }
    Timer1->start();
    Timer13->stop();
    emit titleChanged(kTitleEstablishing);
}

void PollCycle::reportProblems(const QStringList& problems) {
    // The operator's terminal hears of a problem when it appears, not every 31 seconds.
    if (problems == m_reportedProblems)
        return;
    for (const QString& problem : problems)
        if (!m_reportedProblems.contains(problem))
            qWarning().noquote() << "courivane:" << problem;
    m_reportedProblems = problems;
}

} // namespace courivane
