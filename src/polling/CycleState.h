#pragma once

#include "polling/FetchTarget.h"
#include "polling/ReplyInterpreter.h"
#include "report/LampRules.h"
#include "report/Reply.h"

#include <QList>
#include <QString>
#include <QTimeZone>

namespace courivane {

// The working record of a pass, owned by the poll cycle for the life of the program.
struct CycleState {
    int splitFlag = 1;
    QString company;
    FetchTarget target;
    bool fetchFinished = true;
    QTimeZone zone;         // the local zone, taken once per pass
    QList<AccountRow> rows; // the rows completed so far, in poll order
    LampResults lamps;
};

// What a pass leaves behind when it ends.
struct PassResult {
    PassKind kind = PassKind::Cycle;
    int splitFlag = 1;
    EndOfPass end;
    std::array<int, kLampCount> counters{};
    QList<AccountRow> rows;
    QStringList problems;
};

} // namespace courivane
