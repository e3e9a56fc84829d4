#pragma once

#include "config/OptionsFile.h"
#include "polling/FetchTarget.h"
#include "polling/ReplyInterpreter.h"
#include "report/LampRules.h"
#include "report/Reply.h"
#include "report/SummaryPage.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTimeZone>

namespace courivane {

// The working record of a pass, owned by the poll cycle for the life of the program.
struct CycleState {
    bool web = true;
    QTimeZone zone;         // the local zone, taken once per pass
    QList<AccountRow> rows; // the rows completed so far, in poll order
    LampResults lamps;
};

// What a pass leaves behind when it ends.
struct PassResult {
    PassKind kind = PassKind::Cycle;
    bool web = true;
    EndOfPass end;
    std::array<int, kLampCount> counters{};
    QList<AccountRow> rows;
    QStringList problems;
    // The line where an incomplete account of the pass's companies begins, not polled: what is
    // configured but not checked is no "all well". 0 when there is none.
    int incompleteLine = 0;
    QDateTime endedAt; // UTC
    qint64 durationMs = 0;
    // The page's options as they stood when the pass ended.
    bool grouped = true;     // StatusSummary
    bool errorsOnly = false; // ShowErrorsOnly
};

// The summary page of a pass, as the monitor shows it and the plug-in prints it; with the link to
// the accounts list above everything when asked for.
inline PassPage pageOf(const PassResult& result, bool accountsLink = false) {
    return PassPage::ofPass(result.rows, result.web, result.grouped, result.errorsOnly,
                            result.problems, accountsLink);
}

} // namespace courivane
