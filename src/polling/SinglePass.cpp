#include "polling/SinglePass.h"

#include <memory>
#include <utility>

namespace courivane {

SinglePass::SinglePass(const QDir& dir, const Options& options, QObject* parent)
    : QObject(parent), m_cycle(dir, options) {
    m_cycle.setSinglePass(true);
    m_deadline.setSingleShot(true);
    connect(&m_cycle, &PollCycle::passFinished, this, [this](const PassResult& result) {
        end({result, {}, {}});
    });
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        end({std::nullopt, m_cycle.unfinishedAccounts(),
             m_rowsAtDeadline ? m_cycle.rowsSoFar(kNoAnswer) : QList<AccountRow>()});
    });
}

void SinglePass::start(const QStringList& problems, AccountsRead accounts, int deadlineMs,
                       int fetchBoundMs, Done done) {
    m_done = std::move(done);
    m_cycle.setFetchTimeoutMs(fetchBoundMs);
    m_deadline.start(deadlineMs);
    // Handed on, not copied: the list may hold a million accounts.
    auto held = std::make_shared<AccountsRead>(std::move(accounts));
    QTimer::singleShot(
        0, this, [this, problems, held] { m_cycle.runStartupPass(problems, std::move(*held)); });
}

void SinglePass::end(Outcome outcome) {
    m_deadline.stop();
    if (Done done = std::exchange(m_done, nullptr))
        done(outcome);
}

} // namespace courivane
