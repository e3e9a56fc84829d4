#pragma once

#include "polling/FetchTarget.h"
#include "polling/ReplyInterpreter.h"
#include "report/LampRules.h"
#include "report/SummaryPage.h"

#include <QList>
#include <QString>

namespace courivane {

// One account's row as a pass completed it, for readers that want more than the HTML.
struct RowSummary {
    QString company;
    QString logUrl;
    int rowClass = 1;
    Reply reply;
};

// The working record of a pass, owned by the poll cycle for the life of the program.
struct CycleState {
    int splitFlag = 1;
    QString company;
    FetchTarget target;
    QString rowText;
    int rowClass = 1;
    bool fetchFinished = true;
    PageSections sections;
    LampResults lamps;
};

// What a pass leaves behind when it ends.
struct PassResult {
    PassKind kind = PassKind::Cycle;
    int splitFlag = 1;
    QString page; // as the summary window shows it, problems included
    EndOfPass end;
    std::array<int, kLampCount> counters{};
    QList<RowSummary> rows;
    QStringList problems;
};

} // namespace courivane
