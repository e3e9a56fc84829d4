#pragma once

#include "config/AccountsFile.h"
#include "config/OptionsFile.h"
#include "polling/PassOptions.h"
#include "polling/PollCycle.h"

#include <QDir>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

namespace courivane {

// The options file as one pass reads it, and whether the two files can be used at all.
struct PassConfiguration {
    Options options;
    QStringList optionProblems;
    bool usable = false; // both files were read
    // What is wrong with either file, the options file's first.
    QStringList problems(const AccountsRead& accounts) const {
        return optionProblems + accounts.problems;
    }
};
PassConfiguration readPassConfiguration(const QDir& dir, const AccountsRead& accounts);

// One start-up pass and nothing after it, ended by a deadline at the latest: what the plug-in
// runs once and the exporter runs for each probe.
class SinglePass : public QObject {
    Q_OBJECT
public:
    struct Outcome {
        std::optional<PassResult> result; // none when the deadline came first
        QList<AccountRecord> unfinished;  // then the accounts still waiting
        QList<AccountRow> rows;           // and every account's row, those failed with kNoAnswer
    };
    static inline const QString kNoAnswer = QStringLiteral("no answer in time");
    using Done = std::function<void(const Outcome&)>;

    // Of one company's accounts (all: empty), with the command line's pass options.
    SinglePass(const QDir& dir, const PassConfiguration& configuration, const QString& company,
               const PassOptions& passOptions, QObject* parent = nullptr);

    PollCycle& cycle() { return m_cycle; }
    // Whether an outcome the deadline ends brings every account's row (the exporter counts
    // them), beside the accounts not answered.
    void setRowsAtDeadline(bool rows) { m_rowsAtDeadline = rows; }

    // Starts the pass once the event loop runs; `done` is called once, by `deadlineMs` at the
    // latest. Each fetch is bounded by `fetchBoundMs`.
    void start(AccountsRead accounts, int deadlineMs, int fetchBoundMs, Done done);

private:
    void end(Outcome outcome);

    PollCycle m_cycle;
    QStringList m_problems; // the options file's, said by the pass
    QTimer m_deadline;
    Done m_done;
    bool m_rowsAtDeadline = false;
};

} // namespace courivane
