#pragma once

#include "report/Reply.h"

#include <QHash>
#include <QList>
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
    // One account's row: company cell, Last Update, a cell per service, the Log cell. Every text
    // from a file or a server is escaped; the link target cannot leave its attribute.
    static QString rowHtml(const AccountRow& row, bool web);
    static void appendRow(QString& html, const AccountRow& row, bool web);
    // The rows filed into their sections, in pass order within each.
    static PageSections sections(const QList<AccountRow>& rows, bool web);
    static QString verdictCell(Verdict verdict);
    // The Last Update cell's text: the local time, or the server's text escaped.
    static QString lastUpdateHtml(const Reply& reply);
    // A URL as an unquoted attribute value: what would end the value is percent-encoded.
    static QString attributeUrl(const QString& url);

    // The page text: failed, warning and OK blocks, each a headline with its count and a table.
    // `web`: the page has a WEB column; `grouped`: rows are filed by state (StatusSummary);
    // `errorsOnly`: a grouped page shows the failed block alone (ShowErrorsOnly).
    static QString compose(const PageSections& sections, bool web, bool grouped, bool errorsOnly);

    // The page of a pass: the problems above the sections of its rows.
    static QString ofPass(const QList<AccountRow>& rows, bool web, bool grouped, bool errorsOnly,
                          const QStringList& problems);

    // Problems with the program's own files, one red paragraph each, above the page.
    static QString withProblems(const QStringList& problems, const QString& page);

    static const QString kLoadingText;
    // The link that opens the accounts list, and the page with it above everything else.
    static const QString kAccountsLink;
    static QString withAccountsLink(const QString& page);
};

} // namespace courivane
