#include "report/SummaryPage.h"

#include "TestFiles.h"

using namespace courivane;
using namespace courivane::testing;

namespace {

// Written out by hand: the page text is what monitoring peers and operators see.
QString table(bool web, const char* rows) {
    return QStringLiteral("<body><p align=center><Font Face=Tahoma><table border=2 width=100%><tr>"
                          "<th>Company Name</th><th>Last Update</th><th>ICMP</th>") +
           (web ? "<th>WEB</th>" : "") +
           "<th>POP3</th><th>SMTP</th><th>Receive</th><th>Send</th><th>Ryl</th><th>Logs</th>" +
           rows + "</table>";
}

// Up to three blocks of {headline, rows}; a block without a headline has no paragraph.
struct Block {
    const char* headline = nullptr;
    const char* rows = nullptr;
};

const struct {
    const char* name;
    const char* failed;
    const char* warning;
    const char* ok;
    int counts[3];
    int split;
    const char* summary;
    const char* errorsOnly;
    Block page[3];
} kPages[] = {
    {"no WEB, grouped: failed then OK",
     "<tr>F</tr>",
     "",
     "<tr>A</tr><tr>B</tr>",
     {1, 0, 2},
     0,
     "YES",
     "NO",
     {{"1 Failed Service!", "<tr>F</tr>"}, {"2 OK Services!", "<tr>A</tr><tr>B</tr>"}}},
    {"errors only: the failed block alone",
     "<tr>F</tr>",
     "",
     "<tr>A</tr>",
     {1, 0, 1},
     0,
     "YES",
     "YES",
     {{"1 Failed Service!", "<tr>F</tr>"}}},
    {"errors only and nothing failed: empty",
     "",
     "<tr>W</tr>",
     "<tr>A</tr>",
     {0, 1, 1},
     1,
     "YES",
     "YES",
     {}},
    {"errors only is ignored when not grouped",
     "",
     "",
     "<tr>A</tr>",
     {0, 0, 1},
     0,
     "NO",
     "YES",
     {{"1 OK Service!", "<tr>A</tr>"}}},
    {"split, not grouped: the WEB head without headline",
     "",
     "",
     "<tr>A</tr><tr>B</tr>",
     {0, 0, 2},
     1,
     "NO",
     "NO",
     {{"", "<tr>A</tr><tr>B</tr>"}}},
    {"no WEB, not grouped: the OK headline counts all",
     "",
     "",
     "<tr>A</tr><tr>F</tr><tr>C</tr>",
     {0, 0, 3},
     0,
     "no",
     "NO",
     {{"3 OK Services!", "<tr>A</tr><tr>F</tr><tr>C</tr>"}}},
    {"split, grouped: three blocks, singular and plural",
     "<tr>F</tr><tr>G</tr>",
     "<tr>W</tr>",
     "<tr>A</tr>",
     {2, 1, 1},
     1,
     "YES",
     "NO",
     {{"2 Failed Services!", "<tr>F</tr><tr>G</tr>"},
      {"1 Warning!", "<tr>W</tr>"},
      {"1 OK Service!", "<tr>A</tr>"}}},
    {"warnings plural",
     "",
     "<tr>W</tr><tr>V</tr>",
     "",
     {0, 2, 0},
     0,
     "YES",
     "NO",
     {{"2 Warnings!", "<tr>W</tr><tr>V</tr>"}}},
    {"no accounts: empty page", "", "", "", {0, 0, 0}, 1, "YES", "NO", {}},
};

const QString kFailedCells = QStringLiteral("<td align=center>Error Connecting!</td>") +
                             QStringLiteral("<td bgcolor=#ff9900 align=center></td>").repeated(6);

const struct {
    const char* name;
    const char* company;
    const char* log;
    const char* row; // around the cells of a failed reply
} kRows[] = {
    {"ordinary names stay as they were", "Acme Freight",
     "http://127.0.0.1:18100/logs/acme/index.html",
     "<tr><td bgcolor=#ccccff>Acme Freight</td>%1<td><a "
     "href=http://127.0.0.1:18100/logs/acme/index.html target=_blank>Log</a></td></tr>"},
    {"a name is text, not markup", "<img src=/dev/zero> & \"Co\"", "http://m/logs/u/index.html",
     "<tr><td bgcolor=#ccccff>&lt;img src=/dev/zero&gt; &amp; &quot;Co&quot;</td>%1"
     "<td><a href=http://m/logs/u/index.html target=_blank>Log</a></td></tr>"},
    {"a link cannot leave its attribute", "A",
     "http://127.0.0.1:18100 onmouseover='x'=\"y\"<b>`&/logs/u/index.html",
     "<tr><td bgcolor=#ccccff>A</td>%1<td><a href=http://127.0.0.1:18100%20onmouseover%3D%27x%27"
     "%3D%22y%22%3Cb%3E%60%26/logs/u/index.html target=_blank>Log</a></td></tr>"},
};

} // namespace

class TestSummaryPage : public QObject {
    Q_OBJECT
private slots:
    void compose_data() { addRows(kPages); }
    void compose() {
        const auto& r = currentRow(kPages);
        QString page;
        for (const Block& b : r.page) {
            if (b.headline && *b.headline)
                page += QStringLiteral("<p><b><font face=Tahoma>%1</font></b></p>").arg(b.headline);
            if (b.rows)
                page += table(r.split == 1, b.rows);
        }
        const PageSections s{r.failed, r.warning, r.ok, r.counts[0], r.counts[1], r.counts[2]};
        QCOMPARE(SummaryPage::compose(s, r.split, r.summary, r.errorsOnly), page);
    }

    void rows_data() { addRows(kRows); }
    void rows() {
        const auto& r = currentRow(kRows);
        Reply failed;
        failed.failed = true;
        QCOMPARE(SummaryPage::rowHtml({r.company, r.log, RowFailed, failed}, 0),
                 QString::fromUtf8(r.row).arg(kFailedCells));
    }

    void problemsAreEscapedRedParagraphs() {
        QCOMPARE(SummaryPage::withProblems({"a <b>", "c"}, "P"),
                 QStringLiteral("<p><font face=Tahoma color=#cc0000>a &lt;b&gt;</font></p>"
                                "<p><font face=Tahoma color=#cc0000>c</font></p>P"));
        QCOMPARE(SummaryPage::withProblems({}, "P"), QStringLiteral("P"));
    }
};

QTEST_GUILESS_MAIN(TestSummaryPage)
#include "tst_summarypage.moc"
