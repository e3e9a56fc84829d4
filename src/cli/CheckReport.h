#pragma once

#include "polling/CycleState.h"

#include <QString>

namespace courivane {

// Exit codes of the monitoring plug-in convention.
enum CheckStatus { CheckOk = 0, CheckWarning = 1, CheckCritical = 2, CheckUnknown = 3 };

CheckStatus checkStatusOf(const PassResult& result);

// The plug-in's first line: status, summary and performance data.
QString checkStatusLine(const PassResult& result);

// The first line for one company's accounts: what failed or warns, by service, and a counter a
// service (the company's accounts on which that service failed) as performance data.
QString checkCompanyLine(const QString& company, const PassResult& result);

// A plain-text table of the rows, one line per account, columns as on the summary page.
QString checkTable(const PassResult& result);

} // namespace courivane
