#include "polling/PollCycle.h"

#include "report/SummaryPage.h"

#include <QDebug>
#include <QScopedValueRollback>

namespace courivane {

namespace {
constexpr int kTickMs = 1000;

const QString kServerHung = QStringLiteral("the server did not answer earlier in this pass");

// What a fetch is counted by: the monitoring server named for the account, through the proxy
// too, since the proxy forwards to it.
QString serverKey(const FetchTarget& target) {
    return (target.tls ? QStringLiteral("tls ") : QString()) + target.host.toLower() + u' ' +
           QString::number(target.directPort());
}
} // namespace

PollCycle::PollCycle(QDir programDir, Options options, QObject* parent)
    : QObject(parent), Timer1(new QTimer(this)), Timer13(new QTimer(this)),
      m_dir(std::move(programDir)), m_options(std::move(options)) {
    qRegisterMetaType<courivane::PassResult>();
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTickMs);
    Timer13->setObjectName(QStringLiteral("Timer13"));
    Timer13->setInterval(kTickMs);
    connect(Timer1, &QTimer::timeout, this, &PollCycle::runPass);
    connect(Timer13, &QTimer::timeout, this, &PollCycle::countdownTick);
    m_statusTimer.setInterval(kTickMs);
    connect(&m_statusTimer, &QTimer::timeout, this, &PollCycle::announceStatus);
    m_status.startedAt = m_clock();
}

StatusLine PollCycle::statusLine(const QDateTime& now) const {
    // Two cycles: two countdowns, and two passes held up by a fetch bound each.
    const qint64 cycleMs = (kCountdownStart + 1) * kTickMs + m_fetchTimeoutMs;
    return statusLineOf(m_status, now, 2 * cycleMs);
}

void PollCycle::announceStatus() {
    emit statusLineChanged(statusLine(m_clock()));
}

PollCycle::~PollCycle() = default;

void PollCycle::setParallel(int fetches) {
    m_parallel = std::clamp(fetches, 1, kMaxParallel);
}

QList<AccountRecord> PollCycle::unfinishedAccounts() const {
    QList<AccountRecord> left;
    for (qsizetype i = m_nextToFile; i < qsizetype(m_pending.size()); ++i)
        if (m_pending[size_t(i)].stage != Stage::Ended)
            left.append(m_pending[size_t(i)].account);
    return left;
}

QList<AccountRow> PollCycle::rowsSoFar(const QString& unanswered) const {
    QList<AccountRow> rows = m_state.rows;
    for (qsizetype i = m_nextToFile; i < qsizetype(m_pending.size()); ++i) {
        const Pending& p = m_pending[size_t(i)];
        rows.append(rowOf(p, p.stage == Stage::Ended ? *p.reply : failedReply(unanswered)));
    }
    return rows;
}

AccountRow PollCycle::rowOf(const Pending& p, Reply reply) const {
    // The summary option is read as it stands when the row is filed: the settings dialog may change
    // it mid-pass.
    const RowClass rowClass = m_options.summary ? rowClassOf(reply) : RowOk;
    const QString logUrl =
        p.logUrl.isEmpty() ? deriveFetchTarget(p.account, m_state.web).logUrl : p.logUrl;
    return {p.account.CompanyName, logUrl, rowClass, std::move(reply), p.account.MonitoringServer,
            p.account.UserName,    {},     {}};
}

void PollCycle::runStartupPass(const QStringList& startupProblems,
                               std::optional<AccountsRead> accounts) {
    if (m_running)
        return;
    m_state.web = m_options.startupWeb();
    beginPass(PassKind::Startup, startupProblems, std::move(accounts));
}

void PollCycle::runPass() {
    if (m_running)
        return;
    const QStringList problems = OptionsFile(m_dir).readCycle(m_options);
    emit optionsRead(m_options);
    m_state.web = m_options.web;
    beginPass(PassKind::Cycle, problems);
}

void PollCycle::beginPass(PassKind kind, QStringList problems,
                          std::optional<AccountsRead> alreadyRead) {
    m_running = true;
    m_passClock.start();
    m_kind = kind;
    Reset(m_state.lamps);
    m_state.rows.clear();
    // Once per pass: a change of the system's zone reaches the next pass, and each reply is
    // converted without asking the system again.
    m_state.zone = QTimeZone::systemTimeZone();
    // Every record is read before the first fetch: a save during the pass cannot mix two lists.
    AccountsRead accounts = alreadyRead ? std::move(*alreadyRead) : AccountsFile(m_dir).read();
    problems += accounts.problems;
    m_incompleteLine = accounts.incomplete && (m_company.isEmpty() ||
                                               accounts.incomplete->CompanyName == m_company)
                           ? accounts.incompleteLine
                           : 0;
    // The certificates the user trusts are read again each pass, as the accounts are.
    TrustedCertificates trusted = readTrustedCertificates(m_dir);
    problems += trusted.problems;
    m_security = {std::move(trusted.certificates), std::move(trusted.pinned), m_passwords};
    // Without an accounts file nothing can be known: the Con lamp says so instead of green. A
    // file not there yet is nothing to check, which the orange lamps say without an alarm; one
    // that is there but cannot be read is a failure.
    if (!accounts.usable) {
        if (accounts.exists)
            recordFailure(m_state.lamps, ConnectionLamp, kAccountsFileName);
        else
            recordWarning(m_state.lamps, ConnectionLamp);
    }
    m_pending.clear();
    m_pending.reserve(accounts.records.size());
    m_servers.clear();
    m_startable = {};
    // An account's host and port come from its server as written alone: worked out once for
    // each, and its fetch target only when the account is fetched or filed.
    QHash<QString, int> servers;
    QHash<QString, int> serverOfText;
    for (AccountRecord& account : accounts.records) {
        if (!m_company.isEmpty() && account.CompanyName != m_company)
            continue;
        Pending p;
        if (const auto known = serverOfText.constFind(account.MonitoringServer);
            known != serverOfText.cend()) {
            p.server = *known;
        } else {
            const QString key = serverKey(deriveFetchTarget(account, m_state.web));
            const auto same = servers.constFind(key);
            p.server = same != servers.cend() ? *same : int(servers.size());
            if (same == servers.cend()) {
                servers.insert(key, p.server);
                m_servers.emplace_back();
            }
            serverOfText.insert(account.MonitoringServer, p.server);
        }
        m_servers[p.server].waiting.push_back(qsizetype(m_pending.size()));
        p.account = std::move(account);
        m_pending.push_back(std::move(p));
    }
    for (int s = 0; s < static_cast<int>(m_servers.size()); ++s)
        offer(s);
    m_state.rows.reserve(qsizetype(m_pending.size()));
    m_nextToFile = 0;
    m_problems = problems;
    reportProblems(m_problems);
    m_status.running = true;
    m_status.filed = 0;
    m_status.total = qsizetype(m_pending.size());
    m_statusTimer.start();
    emit passStarted(kind);
    announceStatus();
    announceWaiting();
    startFetches();
}

void PollCycle::startFetches() {
    if (m_starting) {
        m_again = true;
        return;
    }
    m_starting = true;
    do {
        m_again = false;
        launch();
        fileInOrder();
    } while (m_again);
    m_starting = false;
    if (m_running && m_nextToFile >= qsizetype(m_pending.size()))
        finishPass();
}

void PollCycle::launch() {
    while (m_underWay < m_parallel && !m_startable.empty()) {
        const int server = m_startable.top().second;
        m_startable.pop();
        Server& s = m_servers[server];
        s.offered = false;
        if (s.waiting.empty()) // failed at once when the server was found hung
            continue;
        const qsizetype index = s.waiting.front();
        s.waiting.pop_front();
        startOne(index);
        offer(server);
    }
}

void PollCycle::offer(int server) {
    Server& s = m_servers[server];
    if (!s.offered && !s.hung && !s.waiting.empty() &&
        s.underWay < std::min(kPerServerLimit, m_parallel)) {
        s.offered = true;
        m_startable.emplace(s.waiting.front(), server);
    }
}

void PollCycle::startOne(qsizetype index) {
    int free = -1;
    for (int s = 0; s < static_cast<int>(m_slots.size()) && free < 0; ++s)
        if (m_slots[s].account < 0)
            free = s;
    if (free < 0) {
        free = static_cast<int>(m_slots.size());
        Slot slot;
        slot.fetch = std::make_unique<StatusFetch>();
        connect(slot.fetch.get(), &StatusFetch::finished, this,
                [this, free](const FetchOutcome& outcome) { onFetchFinished(free, outcome); });
        m_slots.push_back(std::move(slot));
    }
    Slot& slot = m_slots[free];
    Pending& p = m_pending[size_t(index)];
    p.stage = Stage::Running;
    slot.account = index;
    ++m_underWay;
    ++m_servers[p.server].underWay;
    slot.fetch->setTimeoutMs(m_fetchTimeoutMs);
    slot.fetch->setSecurity(m_security);
    const FetchTarget target = deriveFetchTarget(p.account, m_state.web);
    p.logUrl = target.logUrl;
    slot.fetch->start(target, m_options.proxy, m_state.web);
}

void PollCycle::onFetchFinished(int slot, const FetchOutcome& outcome) {
    const qsizetype index = m_slots[slot].account;
    if (!m_running || index < 0)
        return;
    m_slots[slot].account = -1;
    --m_underWay;
    const int server = m_pending[size_t(index)].server;
    Server& s = m_servers[server];
    --s.underWay;
    // The next fetch is under way before this reply is read: the server answers it meanwhile.
    // A timed-out fetch first says what it means for its server's other accounts.
    if (!outcome.timedOut && !m_starting) {
        offer(server);
        // A fetch that ends within its own start is taken by startFetches() below.
        const QScopedValueRollback starting(m_starting, true);
        launch();
    }
    // Interpreted at once, so the reply's bytes are not held while earlier accounts still wait.
    Reply reply = outcome.failed
                      ? failedReply(outcome.reason)
                      : interpretReply(outcome.reply, m_state.web, QLocale(), m_state.zone);
    // Through the proxy, an error page may be its own (it could not reach the server) or the
    // server's passed on: either way, the proxy is what answered.
    if (outcome.viaProxy && reply.failed && reply.reason.startsWith(QLatin1String("HTTP ")))
        reply.reason = QStringLiteral("the proxy answered ") + reply.reason;
    reply.certificate = outcome.certificate;
    reply.certificateServer = outcome.certificateServer;
    markStale(reply, m_clock(), m_staleAfterMinutes);
    endAccount(index, std::move(reply));
    // One bound per hung server: its other accounts, waiting or started later than this one,
    // are not made to wait for theirs. A single fetch at a time keeps to the one-at-a-time pass
    // exactly.
    if (outcome.timedOut && m_parallel > 1 && !s.hung) {
        s.hung = true;
        for (const qsizetype waiting : s.waiting)
            endAccount(waiting, failedReply(kServerHung));
        s.waiting.clear();
        for (Slot& other : m_slots) {
            if (other.account < 0 || m_pending[size_t(other.account)].server != server)
                continue;
            // One started with this one has waited out its own bound as well, near enough.
            const QString reason =
                other.fetch->boundNearlyOut() ? other.fetch->timeoutReason() : kServerHung;
            other.fetch->abort();
            endAccount(std::exchange(other.account, -1), failedReply(reason));
            --m_underWay;
            --s.underWay;
        }
    }
    offer(server);
    startFetches();
}

void PollCycle::endAccount(qsizetype index, Reply reply) {
    Pending& p = m_pending[size_t(index)];
    p.stage = Stage::Ended;
    p.reply = std::make_unique<Reply>(std::move(reply));
}

void PollCycle::fileInOrder() {
    while (m_nextToFile < qsizetype(m_pending.size()) &&
           m_pending[size_t(m_nextToFile)].stage == Stage::Ended) {
        Pending& p = m_pending[size_t(m_nextToFile++)];
        applyToLamps(m_state.lamps, p.account.CompanyName, *p.reply);
        m_state.rows.append(rowOf(p, std::move(*p.reply)));
        p.reply.reset();
        p.logUrl.clear();
        m_status.filed = m_nextToFile;
        announceWaiting();
    }
}

void PollCycle::announceWaiting() {
    // The title names the account the page is waiting for: the first whose fetch has not ended.
    if (m_kind == PassKind::Cycle && m_nextToFile < qsizetype(m_pending.size()))
        emit titleChanged(kTitleConnectingTo + m_pending[size_t(m_nextToFile)].account.CompanyName);
}

void PollCycle::finishPass() {
    // No account asked is nothing known: no lamp of a service may stay green for it.
    if (m_pending.empty())
        for (int lamp = IcmpLamp; lamp < ConnectionLamp; ++lamp)
            recordWarning(m_state.lamps, static_cast<Lamp>(lamp));
    PassResult result;
    result.kind = m_kind;
    result.web = m_state.web;
    result.problems = m_problems;
    result.incompleteLine = m_incompleteLine;
    result.end = decideEndOfPass(m_kind, m_state.lamps);
    result.counters = m_state.lamps.counters;
    result.rows = m_state.rows;
    result.endedAt = m_clock();
    result.durationMs = m_passClock.elapsed();
    result.grouped = m_options.summary;
    result.errorsOnly = m_options.errorsOnly;
    m_pending.clear();
    m_pending.shrink_to_fit();
    m_statusTimer.stop();
    m_status.running = false;
    m_status.lastEndedAt = result.endedAt;
    m_status.lastAccounts = result.rows.size();
    m_status.lastDurationMs = result.durationMs;

    emit passFinished(result);
    Remember(m_state.lamps);

    m_countdown = kCountdownStart;
    emit countdownChanged(m_countdown);
    m_running = false;
    announceStatus();
    if (m_kind == PassKind::Cycle)
        Timer1->stop();
    if (!m_singlePass)
        Timer13->start();
    if (std::exchange(m_passAgain, false))
        QTimer::singleShot(0, this, [this] { checkNow(); });
}

void PollCycle::checkSoon() {
    if (m_running)
        m_passAgain = true;
    else
        checkNow();
}

bool sleptPastACycle(const QDateTime& lastEnded, const QDateTime& now) {
    // The countdown and the tick that runs the pass, and a few seconds' slack for a busy machine.
    constexpr qint64 kSlackSeconds = 5;
    return lastEnded.isValid() && lastEnded.secsTo(now) > kCountdownStart + 1 + kSlackSeconds;
}

void PollCycle::countdownTick() {
    if (sleptPastACycle(m_status.lastEndedAt, m_clock())) {
        checkNow();
        return;
    }
    --m_countdown;
    emit countdownChanged(m_countdown);
    announceStatus();
    if (m_countdown > 0) {
        emit titleChanged(kTitleSecondsTo + QString::number(m_countdown));
        return;
    }
    Timer1->start();
    Timer13->stop();
    emit titleChanged(kTitleEstablishing);
}

bool PollCycle::checkNow() {
    if (m_running)
        return false;
    Timer13->stop();
    emit titleChanged(kTitleEstablishing);
    runPass();
    return true;
}

void PollCycle::reportProblems(const QStringList& problems) {
    // The operator's terminal hears of a problem when it appears, not every 31 seconds.
    if (problems == m_reportedProblems)
        return;
    for (const QString& problem : problems)
        if (!m_reportedProblems.contains(problem))
            qWarning().noquote() << "courivane:" << printableText(problem);
    m_reportedProblems = problems;
}

} // namespace courivane
