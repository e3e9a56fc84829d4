#include "report/SummaryPage.h"

#include "report/Severity.h"

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
    writeRow(html, row, web, RowMark::None, {});
}

void SummaryPage::writeRow(QString& html, const AccountRow& row, bool web, RowMark mark,
                           const QDateTime& now) {
    html += QStringLiteral("<tr><td bgcolor=#ccccff>");
    // A sign before the company that is no colour: a cross for a failure, a triangle for a
    // warning; and since when, where the history knows it.
    if (mark != RowMark::None)
        html += mark == RowMark::Failed ? QStringLiteral("\u2716 ") : QStringLiteral("\u25B2 ");
    html += printableText(row.company).toHtmlEscaped();
    if (mark != RowMark::None && row.since.isValid())
        html += QStringLiteral("<br><font size=-1>") + sinceText(row.since, now) +
                QStringLiteral("</font>");
    if (!row.alertNote.isEmpty())
        html += QStringLiteral("<br><font size=-1 color=#404080>") +
                printableText(row.alertNote).toHtmlEscaped() + QStringLiteral("</font>");
    html += QStringLiteral("</td>");
    const int columns = web ? 7 : 6;
    if (row.reply.failed && mark != RowMark::None) {
        // Unreachable is a failure: red, and why in words on the row.
        html += QStringLiteral("<td bgcolor=#ff3333 align=center>Error Connecting! ");
        html += printableText(row.reply.reason).toHtmlEscaped();
        html += QStringLiteral("</td>");
        for (int i = 0; i < columns; ++i)
            html += QStringLiteral("<td bgcolor=#ff3333 align=center></td>");
    } else if (row.reply.failed) {
        html += kErrorConnectingCell;
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

QString sinceText(const QDateTime& since, const QDateTime& now) {
    const QDateTime local = since.toLocalTime();
    const bool today = now.isValid() && local.date() == now.toLocalTime().date();
    QString text = QStringLiteral("since ") + local.toString(today || !now.isValid()
                                                                 ? QStringLiteral("HH:mm")
                                                                 : QStringLiteral("d MMM HH:mm"));
    if (!now.isValid())
        return text;
    const qint64 minutes = std::max<qint64>(0, since.secsTo(now) / 60);
    const qint64 days = minutes / (24 * 60);
    const qint64 hours = minutes / 60 % 24;
    if (days > 0)
        return text + QStringLiteral(", %1 d %2 h").arg(days).arg(hours);
    if (hours > 0)
        return text + QStringLiteral(", %1 h %2 min").arg(hours).arg(minutes % 60);
    return minutes == 0 ? text + QStringLiteral(", under a minute")
                        : text + QStringLiteral(", %1 min").arg(minutes);
}

void SummaryPage::appendMarkedRow(QString& html, const AccountRow& row, bool web,
                                  const QDateTime& now) {
    writeRow(html, row, web, rowMarkOf(row.reply), now);
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
        const int total = int(filedRows.size());
        page.m_blocks.append({section, std::move(filedRows), total});
    }
    page.m_passShown = page.m_shown;
    page.m_rows = std::move(rows);
    return page;
}

namespace {

// How a row ranks in an order, file order apart: negative when `a` comes before `b`.
int compareRows(const AccountRow& a, const AccountRow& b, const RowOrder& order) {
    switch (order.key) {
    case RowOrder::Key::File:
        return 0;
    case RowOrder::Key::Company:
        return a.company.compare(b.company, Qt::CaseInsensitive);
    case RowOrder::Key::LastUpdate: {
        // The oldest first; a row without a time (a failed fetch, a time that did not parse)
        // before every time.
        const QDateTime& x = a.reply.updated;
        const QDateTime& y = b.reply.updated;
        if (x.isValid() != y.isValid())
            return x.isValid() ? 1 : -1;
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    case RowOrder::Key::Since: {
        // The longest trouble first; rows without any after every one with.
        const QDateTime& x = a.since;
        const QDateTime& y = b.since;
        if (x.isValid() != y.isValid())
            return x.isValid() ? -1 : 1;
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    case RowOrder::Key::Service:
        break;
    }
    // The worst first; a failed fetch knows no service and ranks as a failure of each.
    const auto rank = [&order](const AccountRow& row) {
        if (row.reply.failed)
            return int(Severity::Fail) + 1;
        const QList<ServiceSeverity> services = serviceSeverities(row.reply);
        return order.service < services.size() ? int(services.at(order.service).severity) : 0;
    };
    return rank(b) - rank(a);
}

} // namespace

QString foldedForFind(const QString& text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            folded += c;
    return folded.toCaseFolded();
}

RowMark rowMarkOf(const Reply& reply) {
    const Severity worst = worstOf(reply);
    if (worst == Severity::Fail)
        return RowMark::Failed;
    return worst >= Severity::Warning ? RowMark::Warning : RowMark::None;
}

RowOrder RowOrder::clicked(int column, bool web) const {
    const int services = web ? 7 : 6;
    RowOrder next;
    if (column == 0)
        next.key = Key::Company;
    else if (column == 1)
        next.key = Key::LastUpdate;
    else if (column >= 2 && column < 2 + services)
        next = {Key::Service, column - 2, false};
    else
        return *this; // Logs
    if (next.key != key || next.service != service)
        return next;
    if (!reversed)
        return {key, service, true};
    return {};
}

QString RowOrder::text() const {
    QString t;
    switch (key) {
    case Key::File:
        return QStringLiteral("file");
    case Key::Company:
        t = QStringLiteral("company");
        break;
    case Key::LastUpdate:
        t = QStringLiteral("updated");
        break;
    case Key::Service:
        t = QStringLiteral("service %1").arg(service);
        break;
    case Key::Since:
        t = QStringLiteral("since");
        break;
    }
    return reversed ? t + QStringLiteral(" reversed") : t;
}

RowOrder RowOrder::fromText(const QString& text) {
    QString t = text.trimmed();
    RowOrder order;
    if (t.endsWith(QLatin1String(" reversed"))) {
        order.reversed = true;
        t.chop(9);
    }
    bool ok = false;
    if (t == QLatin1String("company"))
        order.key = Key::Company;
    else if (t == QLatin1String("updated"))
        order.key = Key::LastUpdate;
    else if (t == QLatin1String("since"))
        order.key = Key::Since;
    else if (t.startsWith(QLatin1String("service ")) &&
             (order.service = t.mid(8).toInt(&ok), ok && order.service >= 0 && order.service < 7))
        order.key = Key::Service;
    else
        return {};
    return order;
}

PassPage PassPage::narrowed(const QString& find, const RowOrder& order) const {
    PassPage page = *this;
    const QString needle = foldedForFind(find);
    page.m_shown = 0;
    for (PageBlock& block : page.m_blocks) {
        if (!needle.isEmpty())
            block.rows.removeIf(
                [&](int i) { return !foldedForFind(m_rows.at(i).company).contains(needle); });
        if (order.key != RowOrder::Key::File)
            std::stable_sort(block.rows.begin(), block.rows.end(), [&](int a, int b) {
                const int c = compareRows(m_rows.at(a), m_rows.at(b), order);
                return order.reversed ? c > 0 : c < 0;
            });
        page.m_shown += int(block.rows.size());
    }
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
    return windowText(first, count, false);
}

PageText PassPage::viewWindow(int first, int count) const {
    return windowText(first, count, true);
}

PageText PassPage::windowText(int first, int count, bool marked) const {
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
            text.html += blockHead(block.section, block.total, m_web, m_grouped);
            const int from = std::max(first - before, 0);
            const int to = std::min(last - before, rows);
            for (int r = from; r < to; ++r)
                if (marked)
                    SummaryPage::appendMarkedRow(text.html, m_rows.at(block.rows.at(r)), m_web,
                                                 m_shownAt);
                else
                    SummaryPage::appendRow(text.html, m_rows.at(block.rows.at(r)), m_web);
            text.html += kTableEnd;
            text.tableFirstRows.append(before + from);
        }
        before += rows;
    }
    return text;
}

} // namespace courivane
