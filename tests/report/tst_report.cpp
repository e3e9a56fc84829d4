// What a pass shows: the page, the lamps, their blinks and the notice.
#include "report/LampCompanies.h"
#include "report/LampRules.h"
#include "report/NoticeText.h"
#include "report/PassView.h"
#include "report/SummaryPage.h"

#include "TestFiles.h"

using namespace courivane;
using namespace courivane::testing;

namespace {

// A row named by a letter: F and G failed, W and V warnings, the rest OK.
AccountRow letterRow(QChar letter) {
    AccountRow row;
    row.company = letter;
    row.logUrl = QStringLiteral("http://m/logs/") + letter;
    row.rowClass = QStringLiteral("FG").contains(letter)   ? RowFailed
                   : QStringLiteral("WV").contains(letter) ? RowWarning
                                                           : RowOk;
    return row;
}
QList<AccountRow> letterRows(const char* letters) {
    QList<AccountRow> rows;
    for (const QChar c : QString::fromLatin1(letters))
        rows << letterRow(c);
    return rows;
}

// A page written out by hand, as operators and peers see it: blocks "headline=rows", split by
// "#", a letter a row; a block without a headline has no paragraph.
QString page(const QString& blocks, bool web) {
    QString html;
    for (const QString& block : blocks.split(u'#', Qt::SkipEmptyParts)) {
        if (!block.startsWith(u'='))
            html += "<p><b><font face=Tahoma>" + block.section(u'=', 0, 0) + "</font></b></p>";
        html += QStringLiteral(
                    "<body><p align=center><Font Face=Tahoma><table border=2 "
                    "width=100%><tr><th>Company Name</th><th>Last Update</th><th>ICMP</th>") +
                (web ? "<th>WEB</th>" : "") +
                "<th>POP3</th><th>SMTP</th><th>Receive</th><th>Send</th><th>Ryl</th><th>Logs</th>" +
                [&] {
                    QString rows;
                    for (const QChar c : block.section(u'=', 1))
                        rows += SummaryPage::rowHtml(letterRow(c), web);
                    return rows;
                }() +
                "</table>";
    }
    return html;
}

AccountRow accountRow(const char* company, QList<ServiceVerdict> services, bool failed = false,
                      bool stale = false) {
    AccountRow row;
    row.company = QString::fromLatin1(company);
    row.reply.failed = failed;
    row.reply.stale = stale;
    row.reply.services = std::move(services);
    return row;
}

// Five rows in pass order: a failed fetch, a failure, two warnings and an OK row, each with ICMP
// and SMTP verdicts and the hour of its last update (0: none).
QList<AccountRow> findRows() {
    const std::tuple<const char*, RowClass, Verdict, Verdict, int> rows[] = {
        {"Café Nord", RowFailed, Verdict::Ok, Verdict::Ok, 0},
        {"Bakery", RowFailed, Verdict::Ok, Verdict::Fail, 10},
        {"cafe sud", RowWarning, Verdict::Warning, Verdict::Ok, 9},
        {"Anchor", RowOk, Verdict::Ok, Verdict::Ok, 11},
        {"Zebra", RowWarning, Verdict::Ok, Verdict::Unknown, 9},
    };
    QList<AccountRow> list;
    for (const auto& [company, rowClass, icmp, smtp, hour] : rows) {
        AccountRow row = accountRow(company, {{IcmpLamp, icmp}, {SmtpLamp, smtp}}, hour == 0);
        row.company = QString::fromUtf8(company);
        row.rowClass = rowClass;
        // Since when the history says the trouble lasts: Zebra, Bakery, Café Nord; none else.
        const int began = QStringList{"Zebra", "Bakery", "Café Nord"}.indexOf(row.company);
        if (began >= 0)
            row.since = QDateTime(QDate(2026, 7, 1), QTime(6 + began, 0));
        if (hour)
            row.reply.updated = QDateTime(QDate(2026, 7, 1), QTime(hour, 0));
        list << row;
    }
    return list;
}

// What the find box holds and the order; the companies the view shows, section by section.
const std::tuple<const char*, const char*, const char*, const char*> kNarrowed[] = {
    {"find folds case and accents", "CAFE", "file", "Café Nord|cafe sud"},
    {"nothing found", "xyz", "file", ""},
    {"by company within each section", "", "company", "Bakery|Café Nord|cafe sud|Zebra|Anchor"},
    {"reversed", "", "company reversed", "Café Nord|Bakery|Zebra|cafe sud|Anchor"},
    {"by update: no time, then the oldest; equal times in file order", "", "updated",
     "Café Nord|Bakery|cafe sud|Zebra|Anchor"},
    {"by update reversed: equal times still in file order", "", "updated reversed",
     "Bakery|Café Nord|cafe sud|Zebra|Anchor"},
    {"by SMTP: unreachable, then the worst", "", "service 1",
     "Café Nord|Bakery|Zebra|cafe sud|Anchor"},
    {"the longest trouble first, none after", "", "since",
     "Bakery|Café Nord|Zebra|cafe sud|Anchor"},
    {"found and sorted", "a", "company reversed", "Café Nord|Bakery|Zebra|cafe sud|Anchor"},
};

// Since when, against a page made at 2026-07-03 14:30 local time; the row's text.
const std::tuple<const char*, QDateTime, const char*> kSince[] = {
    {"today: the time", QDateTime(QDate(2026, 7, 3), QTime(8, 5)), "since 08:05, 6 h 25 min"},
    {"another day: the date", QDateTime(QDate(2026, 7, 1), QTime(23, 59)),
     "since 1 Jul 23:59, 1 d 14 h"},
    {"minutes", QDateTime(QDate(2026, 7, 3), QTime(14, 18)), "since 14:18, 12 min"},
    {"just begun", QDateTime(QDate(2026, 7, 3), QTime(14, 29, 30)), "since 14:29, under a minute"},
};

// Column heads clicked in turn on a page without the WEB column; the order after each.
const std::tuple<const char*, QList<int>, const char*> kClicks[] = {
    {"a column, again, a third time", {0, 0, 0}, "company|company reversed|file"},
    {"another column starts afresh", {3, 1}, "service 1|updated"},
    {"the Logs column sorts nothing", {8}, "file"},
};

// A window of the rows of the page of "AFBGC": first, count; the blocks it shows, whether the
// text above the sections comes with it, and where each table's first row stands.
const std::tuple<const char*, int, int, const char*, bool, QList<int>> kWindows[] = {
    {"every row: the page as it is",
     0,
     5,
     "2 Failed Services!=FG#3 OK Services!=ABC",
     true,
     {0, 2}},
    {"the first row, under its headline", 0, 1, "2 Failed Services!=F", true, {0}},
    {"across two tables", 1, 2, "2 Failed Services!=G#3 OK Services!=A", false, {1, 2}},
    {"mid-table: headline and heads kept", 3, 1, "3 OK Services!=B", false, {3}},
    {"to the end", 4, 10, "3 OK Services!=C", false, {4}},
    {"past the end: the last row", 99, 1, "3 OK Services!=C", false, {4}},
};

// The rows in pass order (a letter each); a WEB column, grouped, errors only; the page.
// clang-format off
const std::tuple<const char*, const char*, bool, bool, bool, const char*> kPages[] = {
    {"grouped", "AFB", 0, true, false, "1 Failed Service!=F#2 OK Services!=AB"},
    {"errors only: failed block alone", "FA", 0, true, true, "1 Failed Service!=F"},
    {"errors only, nothing failed: empty", "WA", 1, true, true, ""},
    {"errors only ignored ungrouped", "A", 0, false, true, "1 OK Service!=A"},
    {"split, ungrouped: no headline", "AB", 1, false, false, "=AB"},
    {"ungrouped: OK counts all", "AE", 0, false, false, "2 OK Services!=AE"},
    {"split, grouped: three blocks", "FWGA", 1, true, false,
     "2 Failed Services!=FG#1 Warning!=W#1 OK Service!=A"},
    {"warnings plural", "WV", 0, true, false, "2 Warnings!=WV"},
    {"no accounts: empty page", "", 1, true, false, ""},
};
// clang-format on

// A failed row: the company cell escaped, the link kept inside its attribute.
const std::tuple<const char*, const char*, const char*, const char*, const char*> kRows[] = {
    {"ordinary names stay as they were", "Acme Freight", "http://127.0.0.1:18100/logs/acme/i.html",
     "Acme Freight", "http://127.0.0.1:18100/logs/acme/i.html"},
    {"a name is text, not markup", "<img src=/dev/zero> & \"Co\"", "http://m/logs/u/i.html",
     "&lt;img src=/dev/zero&gt; &amp; &quot;Co&quot;", "http://m/logs/u/i.html"},
    {"a link cannot leave its attribute", "A", "http://m:1 onmouseover='x'=\"y\"<b>`&/logs/u", "A",
     "http://m:1%20onmouseover%3D%27x%27%3D%22y%22%3Cb%3E%60%26/logs/u"},
};

using Failures = QList<std::pair<Lamp, QString>>;
const Blink kSmtpRed{SmtpLamp, LampColour::Red};
// This pass's failures, the SMTP and ICMP lists of the pass before; the blinks.
// clang-format off
const std::tuple<const char*, Failures, const char*, const char*, QList<Blink>> kCycles[] = {
    {"new failure blinks", {{SmtpLamp, "A"}}, "", "", {kSmtpRed}},
    {"same failures again: nothing", {{SmtpLamp, "A"}}, "A\r\n", "", {}},
    {"a lamp turns green, another stays red", {{SmtpLamp, "A"}}, "A\r\n", "B\r\n", {}},
    {"a company joins a red lamp", {{SmtpLamp, "A"}, {SmtpLamp, "C"}}, "A\r\n", "", {kSmtpRed}},
    {"all green after red", {}, "A\r\n", "", {}},
    {"only Ryl", {{RylLamp, "A"}}, "", "", {{RylLamp, LampColour::Red}}},
};
// clang-format on

const std::tuple<const char*, Lamp, LampColour, int> kBlinks[] = {
    {"ICMP red", IcmpLamp, LampColour::Red, 8},
    {"Send red is short", SendLamp, LampColour::Red, 4},
    {"Con red", ConnectionLamp, LampColour::Red, 8},
    {"Receive orange", ReceiveLamp, LampColour::Orange, 8},
    {"Send orange", SendLamp, LampColour::Orange, 8},
};

// Counters of ICMP, Web, POP3, SMTP, Receive, Send, Ryl, Connection.
// clang-format off
const std::tuple<const char*, std::array<int, kLampCount>, bool, const char*> kNotices[] = {
    {"SMTP and Connection", {0, 0, 0, 2, 0, 0, 0, 1}, 1,
     "Failed Services!\r\nSMTP:          2\r\nConnection: 1"},
    {"only Ryl: the headline alone", {}, 1, "Failed Services!"},
    {"no Web line without the split", {0, 3, 0, 0, 0, 0, 0, 0}, 0, "Failed Services!"},
    {"every label, ten and more", {10, 1, 2, 3, 4, 5, 0, 123}, 1,
     "Failed Services!\r\nICMP:          10\r\nWeb:           1\r\nPOP3:          2\r\n"
     "SMTP:          3\r\nReceive:      4\r\nSend:           5\r\nConnection: 123"},
};
// clang-format on

} // namespace

class TestReport : public QObject {
    Q_OBJECT
private slots:
    void pageWindows_data() { addRows(kWindows); }
    void pageWindows() {
        const auto& [name, first, count, blocks, lead, tables] = currentRow(kWindows);
        const QString before = "<p><a href=\"courivane:accounts\">Open the accounts list to add "
                               "the accounts to check</a></p><p><font face=Tahoma "
                               "color=#cc0000>P</font></p>";
        const PassPage model =
            PassPage::ofPass(letterRows("AFBGC"), false, true, false, {"P"}, true);
        QCOMPARE(model.shownRowCount(), 5);
        const PageText text = model.window(first, count);
        QCOMPARE(text.html, (lead ? before : QString()) + page(QString::fromLatin1(blocks), false));
        QCOMPARE(text.tableFirstRows, tables);
        // Each row shown is the account it came from: failed first, then pass order.
        QList<QString> shown;
        for (int n = 0; n <= model.shownRowCount(); ++n)
            shown << (model.rowIndex(n) < 0 ? "-" : model.rows().at(model.rowIndex(n)).company);
        QCOMPARE(shown.join(QString()), QStringLiteral("FGABC-"));
        // Without a table there are no rows to window: the page is shown whole.
        QCOMPARE(PassPage::ofPass({}, true, true, false, {"P"}, true).window(3, 1).html, before);
    }

    void pages_data() { addRows(kPages); }
    void pages() {
        const auto& [name, letters, split, summary, errorsOnly, blocks] = currentRow(kPages);
        QCOMPARE(PassPage::ofPass(letterRows(letters), split, summary, errorsOnly, {}).html(),
                 page(blocks, split));
    }

    void findAndSort_data() { addRows(kNarrowed); }
    void findAndSort() {
        const auto& [name, find, order, shown] = currentRow(kNarrowed);
        const PassPage pass = PassPage::ofPass(findRows(), false, true, false, {});
        const PassPage view = pass.narrowed(find, RowOrder::fromText(order));
        QStringList companies;
        for (int n = 0; n < view.shownRowCount(); ++n)
            companies << view.rows().at(view.rowIndex(n)).company;
        QCOMPARE(companies.join(u'|'), QString::fromUtf8(shown));
        QCOMPARE(RowOrder::fromText(order).text(), QString::fromLatin1(order));
        // The headlines keep the pass's counts.
        QCOMPARE(view.passRowCount(), 5);
        if (view.shownRowCount() > 0)
            QVERIFY(view.viewWindow(0, 5).html.contains(
                view.blocks().first().section == PageSection::Failed ? "2 Failed Services!"
                                                                     : "2 Warnings!"));
    }

    void sinceWhen_data() { addRows(kSince); }
    void sinceWhen() {
        const auto& [name, since, text] = currentRow(kSince);
        QCOMPARE(sinceText(since, QDateTime(QDate(2026, 7, 3), QTime(14, 30))),
                 QString::fromLatin1(text));
    }

    void columnHeadClicks_data() { addRows(kClicks); }
    void columnHeadClicks() {
        const auto& [name, columns, orders] = currentRow(kClicks);
        RowOrder order;
        QStringList seen;
        for (const int column : columns)
            seen << (order = order.clicked(column, false)).text();
        QCOMPARE(seen.join(u'|'), QString::fromLatin1(orders));
    }

    void theViewMarksFailedRows() {
        // Unreachable reads as the failure it is: red, why in words, and a sign beside the colour.
        const QList<AccountRow> rows = findRows();
        AccountRow unreachable = rows.at(0);
        unreachable.reply.reason = QStringLiteral("the server <refused> the connection");
        QString html;
        SummaryPage::appendMarkedRow(html, unreachable, false);
        QVERIFY2(html.startsWith(QStringLiteral(
                     "<tr><td bgcolor=#ccccff>\u2716 Café Nord<br><font size=-1>since "
                     "08:00</font></td><td bgcolor=#ff3333 "
                     "align=center>Error Connecting! the server "
                     "&lt;refused&gt; the connection</td>")),
                 qPrintable(html));
        QVERIFY(!html.contains("#ff9900"));
        const std::pair<int, const char*> marks[] = {
            {1, "\u2716 Bakery"}, {2, "\u25B2 cafe sud"}, {3, ">Anchor"}};
        for (const auto& [row, mark] : marks) {
            html.clear();
            SummaryPage::appendMarkedRow(html, rows.at(row), false);
            QVERIFY2(html.contains(QString::fromUtf8(mark)), qPrintable(html));
        }
        // The plug-in's page text stays as it is.
        QVERIFY(!SummaryPage::rowHtml(unreachable, false).contains(u'\u2716'));
    }

    void rows_data() { addRows(kRows); }
    void rows() {
        const auto& [name, company, log, cell, href] = currentRow(kRows);
        Reply failed;
        failed.failed = true;
        QCOMPARE(SummaryPage::rowHtml({company, log, RowFailed, failed, {}, {}, {}, {}}, false),
                 QStringLiteral("<tr><td bgcolor=#ccccff>%1</td><td align=center>Error "
                                "Connecting!</td>%2<td><a href=%3 target=_blank>Log</a></td></tr>")
                     .arg(cell,
                          QStringLiteral("<td bgcolor=#ff9900 align=center></td>").repeated(6),
                          href));
        // A section is shown only when it has rows.
        const QString page = PassPage::ofPass({{company, log, RowFailed, failed, {}, {}, {}, {}}},
                                              false, true, false, {})
                                 .html();
        QVERIFY(page.contains("1 Failed Service!") && !page.contains("OK Service"));
    }

    void cellsOfAReply() {
        const std::pair<Verdict, const char*> looks[] = {
            {Verdict::Ok, "#33ff66 align=center>OK"},
            {Verdict::Fail, "#ff3333 align=center>FAIL!"},
            {Verdict::Blank, "#cccccc align=center>"},
            {Verdict::Unknown, "#ff9900 align=center>Unknown!"},
            {Verdict::Warning, "#ff9900 align=center>Warning!"},
            {Verdict::NoData, "#ff9900 align=center>"}};
        for (const auto& [verdict, look] : looks)
            QCOMPARE(SummaryPage::verdictCell(verdict),
                     QStringLiteral("<td bgcolor=%1</td>").arg(look));
        // The Last Update cell: orange when stale; a time that did not parse shown as text.
        AccountRow row = accountRow("A", {{IcmpLamp, Verdict::Ok}}, false, true);
        row.reply.updateText = QStringLiteral("<b>not a time</b>&.");
        QCOMPARE(
            SummaryPage::rowHtml(row, false).section(QStringLiteral("</td>"), 1, 1),
            QStringLiteral("<td bgcolor=#ff9900 align=center>&lt;b&gt;not a time&lt;/b&gt;&amp;."));
        row.reply.stale = false;
        QCOMPARE(SummaryPage::rowHtml(row, false).section(QStringLiteral("</td>"), 1, 1),
                 QStringLiteral("<td align=center>&lt;b&gt;not a time&lt;/b&gt;&amp;."));
    }

    void problemsAreEscapedRedParagraphs() {
        QCOMPARE(SummaryPage::withProblems({"a <b>", "c"}, "P"),
                 QStringLiteral("<p><font face=Tahoma color=#cc0000>a &lt;b&gt;</font></p>"
                                "<p><font face=Tahoma color=#cc0000>c</font></p>P"));
        QCOMPARE(SummaryPage::withProblems({}, "P"), QStringLiteral("P"));
        // A tooltip shows a name as written, never as markup or as an escape sequence.
        QCOMPARE(tooltipText({"Cooperative <b>ABC", "m\x1b[2J"}),
                 QStringLiteral(
                     "<p style='white-space:pre'>Cooperative &lt;b&gt;ABC<br>m\uFFFD[2J</p>"));
        // Nor does a link carry a control as it stands.
        QCOMPARE(SummaryPage::attributeUrl(QStringLiteral("http://m/a\u202Eb c\u0085")),
                 QStringLiteral("http://m/a%E2%80%AEb%20c%C2%85"));
    }

    void cycleDecisions_data() { addRows(kCycles); }
    void cycleDecisions() {
        const auto& [name, failures, smtp, icmp, blinks] = currentRow(kCycles);
        LampResults lamps;
        lamps.previousFailureLists[SmtpLamp] = smtp;
        lamps.previousFailureLists[IcmpLamp] = icmp;
        Reset(lamps);
        for (const auto& [lamp, company] : failures)
            recordFailure(lamps, lamp, company);
        QCOMPARE(blinksToStart(PassKind::Cycle, lamps), blinks);
        // Remembered, this pass's lists are the previous ones of the next; Reset keeps them.
        const auto lists = lamps.failureLists;
        Remember(lamps);
        Reset(lamps);
        QCOMPARE(lamps.previousFailureLists, lists);
        QVERIFY(lamps.failureLists[SmtpLamp].isEmpty() && lamps.counters[SmtpLamp] == 0);
    }

    void startupAndWarnings() {
        LampResults lamps;
        recordFailure(lamps, WebLamp, "A");
        recordWarning(lamps, ReceiveLamp);
        recordWarning(lamps, SmtpLamp); // orange, but SMTP has no orange blink
        QCOMPARE(blinksToStart(PassKind::Startup, lamps),
                 (QList<Blink>{{WebLamp, LampColour::Red}, {ReceiveLamp, LampColour::Orange}}));
        // A warning never lowers red, whatever the order.
        recordFailure(lamps, ReceiveLamp, "B");
        recordWarning(lamps, SendLamp);
        recordFailure(lamps, SendLamp, "B");
        recordWarning(lamps, ReceiveLamp);
        QCOMPARE(lamps.states[ReceiveLamp], LampColour::Red);
        QCOMPARE(lamps.states[SendLamp], LampColour::Red);
        // An orange lamp alone does not blink in a cycle.
        LampResults orange;
        recordWarning(orange, SendLamp);
        QVERIFY(blinksToStart(PassKind::Cycle, orange).isEmpty());
        QCOMPARE(renderColours(orange)[SendLamp], LampColour::Orange);
    }

    void blinkSequence_data() { addRows(kBlinks); }
    void blinkSequence() {
        const auto& [name, lamp, colour, ticks] = currentRow(kBlinks);
        const BlinkTimerSpec& timer = blinkTimers()[blinkTimerIndex(lamp, colour)];
        BlinkGroup group{5, 0};
        startBlink(group);
        QList<LampColour> shown;
        for (bool stop = false; !stop;) {
            const BlinkStep step = blinkTick(group, timer.colour, timer.tickLimit);
            shown << step.show;
            stop = step.stop;
        }
        QCOMPARE(shown.size(), ticks);
        QCOMPARE(shown.first(), LampColour::White);
        QCOMPARE(shown.last(), colour);
    }

    void whoFailsAndWarnsOnEachLamp() {
        const QStringList twelve = QStringLiteral("a b c d e f g h i j k l").split(u' ');
        QCOMPARE(namesList(twelve), QStringLiteral("a, b, c, d, e, f, g, h, i, j and 2 more"));
        const LampCompanies c = lampCompanies({
            accountRow("A", {{SmtpLamp, Verdict::Fail}, {ReceiveLamp, Verdict::Ok}}),
            accountRow("B", {{SmtpLamp, Verdict::Fail}, {ReceiveLamp, Verdict::Warning}}),
            accountRow("C", {}, true),
            accountRow("D", {{Pop3Lamp, Verdict::Unknown}}, false, true),
            accountRow("A", {{SmtpLamp, Verdict::Fail}, {ReceiveLamp, Verdict::Warning}}),
        });
        // A company counts once, and where it fails it does not also warn.
        QCOMPARE(c.failing[SmtpLamp], QStringList({"A", "B"}));
        QCOMPARE(c.warning[ReceiveLamp], QStringList({"B", "A"}));
        QCOMPARE(trayTooltipLines(TrayState::Red, c, true),
                 QStringList({"Courivane: failures (acknowledged)", "POP3 warning: D",
                              "SMTP failed: A, B", "Receive warning: B, A", "Ryl warning: D",
                              "Connection failed: C"}));
        QCOMPARE(trayTooltipLines(TrayState::Waiting, c, false),
                 QStringList{"Courivane: checking, no pass has ended yet"});
        QCOMPARE(lampTooltipLines("SMTP Server", SmtpLamp, c),
                 QStringList({"SMTP Server", "Failing: A, B"}));
        QCOMPARE(lampTooltipLines("ICMP", IcmpLamp, c), QStringList{"ICMP"});
        // Where the history knows since when, the names say it: the oldest of a company's rows.
        QList<AccountRow> dated{accountRow("A", {{SmtpLamp, Verdict::Fail}}),
                                accountRow("A", {{SmtpLamp, Verdict::Fail}}),
                                accountRow("B", {{SmtpLamp, Verdict::Fail}})};
        dated[0].since = QDateTime(QDate(2026, 7, 3), QTime(9, 0));
        dated[1].since = QDateTime(QDate(2026, 7, 3), QTime(8, 5));
        LampCompanies since = lampCompanies(dated);
        since.at = QDateTime(QDate(2026, 7, 3), QTime(14, 30));
        QCOMPARE(lampTooltipLines("SMTP Server", SmtpLamp, since),
                 QStringList({"SMTP Server", "Failing: A (since 08:05, 6 h 25 min), B"}));
        // What the alerts say joins it; too long for a line, a name goes on a line of its own.
        since.notes[SmtpLamp].insert(
            "B", "snoozed until 16:30 while the provider moves its servers to a new site");
        QCOMPARE(
            lampTooltipLines("SMTP Server", SmtpLamp, since),
            QStringList(
                {"SMTP Server", "Failing:", "  A (since 08:05, 6 h 25 min)",
                 "  B (snoozed until 16:30 while the provider moves its servers to a new site)"}));
        QCOMPARE(lampDescription(LampColour::Red, SmtpLamp, c, false),
                 QStringLiteral("failing, 2 companies"));
        QCOMPARE(lampDescription(LampColour::Red, ConnectionLamp, c, true),
                 QStringLiteral("failing, 1 company, acknowledged"));
        QCOMPARE(lampDescription(LampColour::Orange, ReceiveLamp, c, false),
                 QStringLiteral("warning, 2 companies"));
        QCOMPARE(lampDescription(LampColour::White, IcmpLamp, c, false),
                 QStringLiteral("not checked yet"));
        using C = std::array<LampColour, kLampCount>;
        constexpr auto G = LampColour::Green, O = LampColour::Orange, R = LampColour::Red;
        QCOMPARE(trayState(C{G, G, G, G, G, G, G, G}), TrayState::Green);
        QCOMPARE(trayState(C{G, G, G, G, O, G, G, G}), TrayState::Orange);
        QCOMPARE(trayState(C{O, G, G, G, G, G, G, R}), TrayState::Red);
        // The panel's view: a dim red drops its blink, an orange keeps it; the tray says the
        // acknowledgement; before a pass has ended no company is named and the tray waits.
        const C colours{G, G, G, R, O, G, G, R};
        std::array<bool, kLampCount> dimmed{};
        dimmed[SmtpLamp] = dimmed[ReceiveLamp] = true;
        const QList<Blink> blinks{{SmtpLamp, R}, {ReceiveLamp, O}, {ConnectionLamp, R}};
        const PassView view = passView(colours, blinks, c, dimmed, true);
        QCOMPARE(view.blinks, QList<Blink>({{ReceiveLamp, O}, {ConnectionLamp, R}}));
        QVERIFY(view.lamps[SmtpLamp].dimmed && !view.lamps[ReceiveLamp].dimmed);
        QCOMPARE(view.lamps[SmtpLamp].tooltip, tooltipText({"SMTP Server", "Failing: A, B"}));
        QCOMPARE(view.lamps[SmtpLamp].description,
                 QStringLiteral("failing, 2 companies, acknowledged"));
        QCOMPARE(view.trayLines.first(), QStringLiteral("Courivane: failures (acknowledged)"));
        QCOMPARE(passView(colours, {}, c, {}, true).trayLines.first(),
                 QStringLiteral("Courivane: failures"));
        const PassView before = passView(colours, {}, c, {}, false);
        QCOMPARE(before.lamps[SmtpLamp].tooltip, tooltipText({"SMTP Server"}));
        QCOMPARE(before.tray, TrayState::Waiting);
    }

    void notice_data() { addRows(kNotices); }
    void notice() {
        const auto& [name, counters, split, text] = currentRow(kNotices);
        QCOMPARE(noticeText(counters, split), QString::fromLatin1(text));
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
