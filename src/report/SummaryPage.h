#pragma once

#include <QString>
#include <QStringList>

namespace courivane {

// The rows a pass collected, by section, with their counts.
struct PageSections {
    QString failed;
    QString warning;
    QString ok;
    int failedCount = 0;
    int warningCount = 0;
    int okCount = 0;
};

class SummaryPage {
public:
    // The page text: failed, warning and OK blocks, each a headline with its count and a table.
    static QString compose(const PageSections& sections, int splitFlag,
                           const QString& statusSummary, const QString& showErrorsOnly);

    // Problems with the program's own files, one red paragraph each, above the page.
    static QString withProblems(const QStringList& problems, const QString& page);

    static const QString kLoadingText;
};

} // namespace courivane
