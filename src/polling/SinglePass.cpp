#include "polling/SinglePass.h"

#include <memory>
#include <utility>

namespace courivane {

PassConfiguration readPassConfiguration(const QDir& dir, const AccountsRead& accounts) {
    PassConfiguration c;
    bool optionsUsable = false;
    c.optionProblems = OptionsFile(dir).readStartup(c.options, &optionsUsable);
    c.usable = optionsUsable && accounts.usable;
    return c;
}

SinglePass::SinglePass(const QDir& dir, const PassConfiguration& configuration,
                       const QString& company, const PassOptions& passOptions, QObject* parent)
    : QObject(parent), m_cycle(dir, configuration.options),
      m_problems(configuration.optionProblems) {
    m_cycle.setSinglePass(true);
    m_cycle.setCompanyFilter(company);
    passOptions.applyTo(m_cycle);
    m_deadline.setSingleShot(true);
    connect(&m_cycle, &PollCycle::passFinished, this, [this](const PassResult& result) {
        end({result, {}, {}});
    });
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        end({std::nullopt, m_cycle.unfinishedAccounts(),
             m_rowsAtDeadline ? m_cycle.rowsSoFar(kNoAnswer) : QList<AccountRow>()});
    });
}

void SinglePass::start(AccountsRead accounts, int deadlineMs, int fetchBoundMs, Done done) {
    m_done = std::move(done);
    m_cycle.setFetchTimeoutMs(fetchBoundMs);
    m_deadline.start(deadlineMs);
    // Handed on, not copied: the list may hold a million accounts.
    auto held = std::make_shared<AccountsRead>(std::move(accounts));
    QTimer::singleShot(0, this,
                       [this, held] { m_cycle.runStartupPass(m_problems, std::move(*held)); });
}

void SinglePass::end(Outcome outcome) {
    m_deadline.stop();
    if (Done done = std::exchange(m_done, nullptr))
        done(outcome);
}

} // namespace courivane
