#include "report/SummaryPage.h"

#include "config/OptionsFile.h"

namespace courivane {

namespace {

#define COURIVANE_HEAD_OPEN                                                                        \
    "</font></b></p><body><p align=center><Font Face=Tahoma><table border=2 width=100%><tr>"       \
    "<th>Company Name</th><th>Last Update</th><th>ICMP</th>"
#define COURIVANE_HEAD_WEB "<th>WEB</th>"
#define COURIVANE_HEAD_CLOSE                                                                       \
    "<th>POP3</th><th>SMTP</th><th>Receive</th><th>Send</th><th>Ryl</th><th>Logs</th>"
#define COURIVANE_NO_WEB(word) QStringLiteral(word COURIVANE_HEAD_OPEN COURIVANE_HEAD_CLOSE)
#define COURIVANE_WITH_WEB(word)                                                                   \
    QStringLiteral(word COURIVANE_HEAD_OPEN COURIVANE_HEAD_WEB COURIVANE_HEAD_CLOSE)

const QString kHeadlineOpen = QStringLiteral("<p><b><font face=Tahoma>");
const QString kTableEnd = QStringLiteral("</table>");

// The twelve headline-and-head literals: by family, section and number.
const QString kOkServiceNoWeb = COURIVANE_NO_WEB(" OK Service!");
const QString kOkServicesNoWeb = COURIVANE_NO_WEB(" OK Services!");
const QString kWarningNoWeb = COURIVANE_NO_WEB(" Warning!");
const QString kWarningsNoWeb = COURIVANE_NO_WEB(" Warnings!");
const QString kFailedServiceNoWeb = COURIVANE_NO_WEB(" Failed Service!");
const QString kFailedServicesNoWeb = COURIVANE_NO_WEB(" Failed Services!");
const QString kOkServiceWeb = COURIVANE_WITH_WEB(" OK Service!");
const QString kOkServicesWeb = COURIVANE_WITH_WEB(" OK Services!");
const QString kWarningWeb = COURIVANE_WITH_WEB(" Warning!");
const QString kWarningsWeb = COURIVANE_WITH_WEB(" Warnings!");
const QString kFailedServiceWeb = COURIVANE_WITH_WEB(" Failed Service!");
const QString kFailedServicesWeb = COURIVANE_WITH_WEB(" Failed Services!");
// The thirteenth: the head with a WEB column alone, for the ungrouped split page.
const QString kHeadWeb = QStringLiteral(
    "<body><p align=center><Font Face=Tahoma><table border=2 width=100%><tr><th>Company "
    "Name</th><th>Last Update</th><th>ICMP</th><th>WEB</th><th>POP3</th><th>SMTP</th><th>"
    "Receive</th><th>Send</th><th>Ryl</th><th>Logs</th>");

#undef COURIVANE_WITH_WEB
#undef COURIVANE_NO_WEB
#undef COURIVANE_HEAD_CLOSE
#undef COURIVANE_HEAD_WEB
#undef COURIVANE_HEAD_OPEN

enum class Section { Failed, Warning, Ok };

const QString& literal(Section section, int count, bool web) {
    const bool one = count == 1;
    switch (section) {
    case Section::Failed:
        return web ? (one ? kFailedServiceWeb : kFailedServicesWeb)
                   : (one ? kFailedServiceNoWeb : kFailedServicesNoWeb);
    case Section::Warning:
        return web ? (one ? kWarningWeb : kWarningsWeb) : (one ? kWarningNoWeb : kWarningsNoWeb);
    case Section::Ok:
        break;
    }
    return web ? (one ? kOkServiceWeb : kOkServicesWeb)
               : (one ? kOkServiceNoWeb : kOkServicesNoWeb);
}

QString block(Section section, const QString& rows, int count, int splitFlag,
              const QString& statusSummary) {
    if (rows.isEmpty())
        return {};
    const bool web = splitFlag == 1;
    if (web && section == Section::Ok && !isYes(statusSummary))
        return kHeadWeb + rows + kTableEnd;
    return kHeadlineOpen + QString::number(count) + literal(section, count, web) + rows + kTableEnd;
}

} // namespace

const QString SummaryPage::kLoadingText = QStringLiteral("<Font Face=Tahoma>Loading....");

QString SummaryPage::compose(const PageSections& s, int splitFlag, const QString& statusSummary,
                             const QString& showErrorsOnly) {
    const QString failed =
        block(Section::Failed, s.failed, s.failedCount, splitFlag, statusSummary);
    if (isYes(statusSummary) && isYes(showErrorsOnly))
        return failed;
    return failed + block(Section::Warning, s.warning, s.warningCount, splitFlag, statusSummary) +
           block(Section::Ok, s.ok, s.okCount, splitFlag, statusSummary);
}

QString SummaryPage::withProblems(const QStringList& problems, const QString& page) {
    QString text;
    for (const QString& problem : problems)
        text += QStringLiteral("<p><font face=Tahoma color=#cc0000>") + problem.toHtmlEscaped() +
                QStringLiteral("</font></p>");
    return text + page;
}

} // namespace courivane
