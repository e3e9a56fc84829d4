#include "report/SummaryPage.h"

#include <QTest>

using namespace courivane;

namespace {

// Written out by hand: the page text is what monitoring peers and operators see.
const QString kHeadNoWeb = QStringLiteral(
    "</font></b></p><body><p align=center><Font Face=Tahoma><table border=2 width=100%><tr>"
    "<th>Company Name</th><th>Last Update</th><th>ICMP</th><th>POP3</th><th>SMTP</th>"
    "<th>Receive</th><th>Send</th><th>Ryl</th><th>Logs</th>");
const QString kHeadWeb = QStringLiteral(
    "<body><p align=center><Font Face=Tahoma><table border=2 width=100%><tr>"
    "<th>Company Name</th><th>Last Update</th><th>ICMP</th><th>WEB</th><th>POP3</th><th>SMTP</th>"
    "<th>Receive</th><th>Send</th><th>Ryl</th><th>Logs</th>");

} // namespace

class TestSummaryPage : public QObject {
    Q_OBJECT
private slots:
    void compose_data() {
        QTest::addColumn<QString>("failed");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<QString>("ok");
        QTest::addColumn<QList<int>>("counts");
        QTest::addColumn<int>("split");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("errorsOnly");
        QTest::addColumn<QString>("page");

        QTest::newRow("no WEB, grouped: failed then OK")
            << "<tr>F</tr>"
            << ""
            << "<tr>A</tr><tr>B</tr>" << QList<int>{1, 0, 2} << 0 << "YES"
            << "NO"
            << QStringLiteral("<p><b><font face=Tahoma>1 Failed Service!") + kHeadNoWeb +
                   "<tr>F</tr></table><p><b><font face=Tahoma>2 OK Services!" + kHeadNoWeb +
                   "<tr>A</tr><tr>B</tr></table>";
        QTest::newRow("errors only: the failed block alone")
            << "<tr>F</tr>"
            << ""
            << "<tr>A</tr><tr>B</tr>" << QList<int>{1, 0, 2} << 0 << "YES"
            << "YES"
            << QStringLiteral("<p><b><font face=Tahoma>1 Failed Service!") + kHeadNoWeb +
                   "<tr>F</tr></table>";
        QTest::newRow("errors only and nothing failed: empty")
            << ""
            << "<tr>W</tr>"
            << "<tr>A</tr>" << QList<int>{0, 1, 1} << 1 << "YES"
            << "YES"
            << "";
        QTest::newRow("errors only is ignored when not grouped")
            << ""
            << ""
            << "<tr>A</tr>" << QList<int>{0, 0, 1} << 0 << "NO"
            << "YES"
            << QStringLiteral("<p><b><font face=Tahoma>1 OK Service!") + kHeadNoWeb +
                   "<tr>A</tr></table>";
        QTest::newRow("split, not grouped: the WEB head without headline")
            << ""
            << ""
            << "<tr>A</tr><tr>B</tr><tr>C</tr>" << QList<int>{0, 0, 3} << 1 << "NO"
            << "NO" << kHeadWeb + "<tr>A</tr><tr>B</tr><tr>C</tr></table>";
        QTest::newRow("no WEB, not grouped: still the OK headline counting all")
            << ""
            << ""
            << "<tr>A</tr><tr>F</tr><tr>C</tr>" << QList<int>{0, 0, 3} << 0 << "no"
            << "NO"
            << QStringLiteral("<p><b><font face=Tahoma>3 OK Services!") + kHeadNoWeb +
                   "<tr>A</tr><tr>F</tr><tr>C</tr></table>";
        QTest::newRow("split, grouped: three blocks, singular and plural")
            << "<tr>F</tr><tr>G</tr>"
            << "<tr>W</tr>"
            << "<tr>A</tr>" << QList<int>{2, 1, 1} << 1 << "YES"
            << "NO"
            << QStringLiteral("<p><b><font face=Tahoma>2 Failed Services!</font></b></p>") +
                   kHeadWeb +
                   "<tr>F</tr><tr>G</tr></table><p><b><font face=Tahoma>1 Warning!</font></b></p>" +
                   kHeadWeb +
                   "<tr>W</tr></table><p><b><font face=Tahoma>1 OK Service!</font></b></p>" +
                   kHeadWeb + "<tr>A</tr></table>";
        QTest::newRow("warnings plural") << ""
                                         << "<tr>W</tr><tr>V</tr>"
                                         << "" << QList<int>{0, 2, 0} << 0 << "YES"
                                         << "NO"
                                         << QStringLiteral("<p><b><font face=Tahoma>2 Warnings!") +
                                                kHeadNoWeb + "<tr>W</tr><tr>V</tr></table>";
        QTest::newRow("no accounts: empty page") << ""
                                                 << ""
                                                 << "" << QList<int>{0, 0, 0} << 1 << "YES"
                                                 << "NO"
                                                 << "";
    }
    void compose() {
        QFETCH(QString, failed);
        QFETCH(QString, warning);
        QFETCH(QString, ok);
        QFETCH(QList<int>, counts);
        QFETCH(int, split);
        QFETCH(QString, summary);
        QFETCH(QString, errorsOnly);
        const PageSections s{failed, warning, ok, counts.at(0), counts.at(1), counts.at(2)};
        QTEST(SummaryPage::compose(s, split, summary, errorsOnly), "page");
    }

    void rows_data() {
        QTest::addColumn<QString>("company");
        QTest::addColumn<QString>("logUrl");
        QTest::addColumn<QString>("row");
        const QString tail = QStringLiteral(
            "<td align=center>Error Connecting!</td><td bgcolor=#ff9900 align=center></td>"
            "<td bgcolor=#ff9900 align=center></td><td bgcolor=#ff9900 align=center></td>"
            "<td bgcolor=#ff9900 align=center></td><td bgcolor=#ff9900 align=center></td>"
            "<td bgcolor=#ff9900 align=center></td>");
        QTest::newRow("ordinary names stay as they were")
            << "Acme Freight"
            << "http://127.0.0.1:18100/logs/acme/index.html"
            << "<tr><td bgcolor=#ccccff>Acme Freight</td>" + tail +
                   "<td><a href=http://127.0.0.1:18100/logs/acme/index.html "
                   "target=_blank>Log</a></td></tr>";
        QTest::newRow("a name is text, not markup")
            << "<img src=/dev/zero> & \"Co\""
            << "http://m/logs/u/index.html"
            << "<tr><td bgcolor=#ccccff>&lt;img src=/dev/zero&gt; &amp; &quot;Co&quot;</td>" +
                   tail + "<td><a href=http://m/logs/u/index.html target=_blank>Log</a></td></tr>";
        QTest::newRow("a link cannot leave its attribute")
            << "A"
            << "http://127.0.0.1:18100 onmouseover='x'=\"y\"<b>`&/logs/u/index.html"
            << "<tr><td bgcolor=#ccccff>A</td>" + tail +
                   "<td><a href=http://127.0.0.1:18100%20onmouseover%3D%27x%27%3D%22y%22%3Cb%3E%"
                   "60%26/logs/u/index.html target=_blank>Log</a></td></tr>";
    }
    void rows() {
        QFETCH(QString, company);
        QFETCH(QString, logUrl);
        Reply failed;
        failed.failed = true;
        QTEST(SummaryPage::rowHtml({company, logUrl, RowFailed, failed}, 0), "row");
    }

    void problemsAreEscapedRedParagraphs() {
        QCOMPARE(SummaryPage::withProblems({QStringLiteral("a <b>"), QStringLiteral("c")},
                                           QStringLiteral("P")),
                 QStringLiteral("<p><font face=Tahoma color=#cc0000>a &lt;b&gt;</font></p>"
                                "<p><font face=Tahoma color=#cc0000>c</font></p>P"));
        QCOMPARE(SummaryPage::withProblems({}, QStringLiteral("P")), QStringLiteral("P"));
    }
};

QTEST_GUILESS_MAIN(TestSummaryPage)
#include "tst_summarypage.moc"
