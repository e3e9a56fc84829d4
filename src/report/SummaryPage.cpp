#include "report/SummaryPage.h"

#include <algorithm>
#include <array>

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

const QString kErrorConnectingCell = QStringLiteral("<td align=center>Error Connecting!</td>");
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

// A block's headline and head, or none for a section without rows.
QString blockHead(Section section, int count, bool web, bool grouped) {
    if (web && section == Section::Ok && !grouped)
        return kHeadWeb;
    return kHeadlineOpen + QString::number(count) + literal(section, count, web);
}

// The page after `lead`, written into one string: a page of thousands of rows is copied once.
// `rowsOf` appends a section's rows.
template <typename RowsOf>
QString composeAfter(const QString& lead, const std::array<int, 3>& counts,
                     const std::array<bool, 3>& present, qsizetype size, RowsOf rowsOf, bool web,
                     bool grouped, bool errorsOnly) {
    const bool failedOnly = grouped && errorsOnly;
    QString page;
    page.reserve(lead.size() + size + 3 * 512);
    page += lead;
    for (const Section section : {Section::Failed, Section::Warning, Section::Ok}) {
        if (failedOnly && section != Section::Failed)
            break;
        if (!present[std::size_t(section)])
            continue;
        page += blockHead(section, counts[std::size_t(section)], web, grouped);
        rowsOf(section, page);
        page += kTableEnd;
    }
    return page;
}

Section sectionOf(int rowClass) {
    return rowClass == RowFailed    ? Section::Failed
           : rowClass == RowWarning ? Section::Warning
                                    : Section::Ok;
}

QString problemsHtml(const QStringList& problems) {
    QString text;
    for (const QString& problem : problems)
        text += QStringLiteral("<p><font face=Tahoma color=#cc0000>") +
                printableText(problem).toHtmlEscaped() + QStringLiteral("</font></p>");
    return text;
}

QString makeVerdictCell(Verdict verdict) {
    const char* colour = "#ff9900"; // Unknown, Warning and NoData
    if (verdict == Verdict::Fail)
        colour = "#ff3333";
    else if (verdict == Verdict::Ok)
        colour = "#33ff66";
    else if (verdict == Verdict::Blank)
        colour = "#cccccc";
    return QStringLiteral("<td bgcolor=") + QLatin1String(colour) +
           QStringLiteral(" align=center>") + verdictText(verdict) + QStringLiteral("</td>");
}

} // namespace

QString SummaryPage::verdictCell(Verdict verdict) {
    // Made once: a page of thousands of rows writes these hundreds of thousands of times.
    static const std::array<QString, 6> cells = [] {
        std::array<QString, 6> made;
        for (const Verdict v : {Verdict::Ok, Verdict::Fail, Verdict::Unknown, Verdict::Warning,
                                Verdict::Blank, Verdict::NoData})
            made[std::size_t(v)] = makeVerdictCell(v);
        return made;
    }();
    return cells[std::size_t(verdict)];
}

QString SummaryPage::lastUpdateHtml(const Reply& reply) {
    return reply.updated.isValid() ? formatLocalTime(reply.updated).toHtmlEscaped()
                                   : printableText(reply.updateText).toHtmlEscaped();
}

QString SummaryPage::attributeUrl(const QString& url) {
    const auto encoded = [](QChar c) {
        const char16_t u = c.unicode();
        const bool ends = u <= 0x20 || u == 0x7F || u == u'"' || u == u'\'' || u == u'=' ||
                          u == u'<' || u == u'>' || u == u'`' || u == u'&';
        // What printableText would hide (C1 and bidirectional controls among it) goes as its
        // UTF-8 bytes; a surrogate pair is a printable character in two halves.
        return ends || (u >= 0x80 && !c.isSurrogate() && !c.isPrint());
    };
    if (std::none_of(url.cbegin(), url.cend(), encoded))
        return url;
    QString out;
    out.reserve(url.size());
    for (const QChar c : url) {
        if (encoded(c)) {
            for (const char byte : QString(c).toUtf8())
                out += QStringLiteral("%%1")
                           .arg(int(static_cast<unsigned char>(byte)), 2, 16, QLatin1Char(u'0'))
                           .toUpper();
        } else {
            out += c;
        }
    }
    return out;
}

QString SummaryPage::rowHtml(const AccountRow& row, bool web) {
    QString html;
    appendRow(html, row, web);
    return html;
}

void SummaryPage::appendRow(QString& html, const AccountRow& row, bool web) {
    html += QStringLiteral("<tr><td bgcolor=#ccccff>");
    html += printableText(row.company).toHtmlEscaped();
    html += QStringLiteral("</td>");
    if (row.reply.failed) {
        html += kErrorConnectingCell;
        const int columns = web ? 7 : 6;
        for (int i = 0; i < columns; ++i)
            html += verdictCell(Verdict::NoData);
    } else {
        html += row.reply.stale ? QStringLiteral("<td bgcolor=#ff9900 align=center>")
                                : QStringLiteral("<td align=center>");
        html += lastUpdateHtml(row.reply);
        html += QStringLiteral("</td>");
        for (const ServiceVerdict& s : row.reply.services)
            html += verdictCell(s.verdict);
    }
    html += QStringLiteral("<td><a href=");
    html += attributeUrl(row.logUrl);
    html += QStringLiteral(" target=_blank>Log</a></td></tr>");
}

PageSections SummaryPage::sections(const QList<AccountRow>& rows, bool web) {
    PageSections s;
    for (const AccountRow& row : rows) {
        switch (row.rowClass) {
        case RowFailed:
            appendRow(s.failed, row, web);
            ++s.failedCount;
            break;
        case RowWarning:
            appendRow(s.warning, row, web);
            ++s.warningCount;
            break;
        default:
            appendRow(s.ok, row, web);
            ++s.okCount;
            break;
        }
    }
    return s;
}

const QString SummaryPage::kLoadingText = QStringLiteral("<Font Face=Tahoma>Loading....");

QString SummaryPage::compose(const PageSections& s, bool web, bool grouped, bool errorsOnly) {
    return composeAfter(
        QString(), {s.failedCount, s.warningCount, s.okCount},
        {!s.failed.isEmpty(), !s.warning.isEmpty(), !s.ok.isEmpty()},
        s.failed.size() + s.warning.size() + s.ok.size(),
        [&s](Section section, QString& page) {
            page += section == Section::Failed    ? s.failed
                    : section == Section::Warning ? s.warning
                                                  : s.ok;
        },
        web, grouped, errorsOnly);
}

QString SummaryPage::ofPass(const QList<AccountRow>& rows, bool web, bool grouped, bool errorsOnly,
                            const QStringList& problems) {
    std::array<int, 3> counts{};
    for (const AccountRow& row : rows)
        ++counts[std::size_t(sectionOf(row.rowClass))];
    // About what a row takes, so that the page is not grown piece by piece.
    const qsizetype size = rows.size() * 400;
    return composeAfter(
        problemsHtml(problems), counts, {counts[0] > 0, counts[1] > 0, counts[2] > 0}, size,
        [&](Section section, QString& page) {
            for (const AccountRow& row : rows)
                if (sectionOf(row.rowClass) == section)
                    appendRow(page, row, web);
        },
        web, grouped, errorsOnly);
}

const QString SummaryPage::kAccountsLink = QStringLiteral("courivane:accounts");

QString SummaryPage::withAccountsLink(const QString& page) {
    return QStringLiteral("<p><a href=\"") + kAccountsLink +
           QStringLiteral("\">Open the accounts list to add the accounts to check</a></p>") + page;
}

QString SummaryPage::withProblems(const QStringList& problems, const QString& page) {
    return problemsHtml(problems) + page;
}

} // namespace courivane
