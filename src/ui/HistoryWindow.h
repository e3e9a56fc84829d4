#pragma once

#include "history/HistoryStore.h"

#include <QWidget>

namespace courivane {

// A company's history: for each service of each of its accounts a strip of the last 24 hours
// and one of the last 7 days (colour and a pattern, so that it reads without colour vision;
// hatched grey where the monitor was not running), the OK share over a day, a week and a month,
// the list of outages, and "Export CSV..." of them.
class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    explicit HistoryWindow(const CompanyHistory& history, QWidget* parent = nullptr);

private:
    void exportCsv();

    CompanyHistory m_history;
};

} // namespace courivane
