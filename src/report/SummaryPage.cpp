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

using Section = PageSection;

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

Section sectionOf(RowClass rowClass) {
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

const QString SummaryPage::kLoadingText = QStringLiteral("<Font Face=Tahoma>Loading....");

const QString SummaryPage::kAccountsLink = QStringLiteral("courivane:accounts");

QString SummaryPage::withProblems(const QStringList& problems, const QString& page) {
    return problemsHtml(problems) + page;
}

PassPage PassPage::ofText(QString html) {
    PassPage page;
    page.m_lead = std::move(html);
    return page;
}

PassPage PassPage::ofPass(QList<AccountRow> rows, bool web, bool grouped, bool errorsOnly,
                          const QStringList& problems, bool accountsLink) {
    PassPage page;
    page.m_web = web;
    page.m_grouped = grouped;
    if (accountsLink)
        page.m_lead =
            QStringLiteral("<p><a href=\"") + SummaryPage::kAccountsLink +
            QStringLiteral("\">Open the accounts list to add the accounts to check</a></p>");
    page.m_lead += problemsHtml(problems);
    std::array<QList<int>, 3> filed;
    for (qsizetype i = 0; i < rows.size(); ++i)
        filed[std::size_t(sectionOf(rows.at(i).rowClass))].append(int(i));
    for (const Section section : {Section::Failed, Section::Warning, Section::Ok}) {
        if (grouped && errorsOnly && section != Section::Failed)
            break;
        QList<int>& filedRows = filed[std::size_t(section)];
        if (filedRows.isEmpty())
            continue;
        page.m_shown += int(filedRows.size());
        page.m_blocks.append({section, std::move(filedRows)});
    }
    page.m_rows = std::move(rows);
    return page;
}

int PassPage::rowIndex(int shown) const {
    if (shown < 0)
        return -1;
    for (const PageBlock& block : m_blocks) {
        if (shown < block.rows.size())
            return block.rows.at(shown);
        shown -= int(block.rows.size());
    }
    return -1;
}

QString PassPage::html() const {
    return window(0, m_shown).html;
}

PageText PassPage::window(int first, int count) const {
    PageText text;
    if (m_blocks.isEmpty()) {
        text.html = m_lead;
        return text;
    }
    first = std::clamp(first, 0, std::max(0, m_shown - 1));
    const int last = first + std::max(count, 1); // one past
    // About what a row takes, so that the text is not grown piece by piece.
    text.html.reserve(m_lead.size() + qsizetype(std::min(last - first, m_shown)) * 400 + 3 * 512);
    int before = 0; // rows of the sections above this one
    for (qsizetype b = 0; b < m_blocks.size() && before < last; ++b) {
        const PageBlock& block = m_blocks.at(b);
        const int rows = int(block.rows.size());
        if (before + rows > first) {
            if (b == 0 && first == 0)
                text.html += m_lead;
            text.html += blockHead(block.section, rows, m_web, m_grouped);
            const int from = std::max(first - before, 0);
            const int to = std::min(last - before, rows);
            for (int r = from; r < to; ++r)
                SummaryPage::appendRow(text.html, m_rows.at(block.rows.at(r)), m_web);
            text.html += kTableEnd;
            text.tableFirstRows.append(before + from);
        }
        before += rows;
    }
    return text;
}

} // namespace courivane
