#pragma once

#include "report/Reply.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace courivane {

// The page's sections, in the order they stand.
enum class PageSection : quint8 { Failed, Warning, Ok };

// A section shown, with its rows as indexes into the page's rows, in pass order.
struct PageBlock {
    PageSection section = PageSection::Ok;
    QList<int> rows;
    int total = 0; // the section's rows in the pass, which its headline counts
};

// The order the monitor's view shows each section's rows in: the file's, or by a column. The
// page text of the plug-in keeps the file's order.
struct RowOrder {
    enum class Key : quint8 { File, Company, LastUpdate, Service, Since };
    Key key = Key::File;
    int service = 0; // the service's place among a row's services, for Key::Service
    bool reversed = false;
    bool operator==(const RowOrder&) const = default;
    // What a click on a column head makes of this order: a new column sorts by it, the same
    // column once more reverses, a third time the file's order is back. `column` counts from
    // the company column; the Logs column sorts nothing.
    RowOrder clicked(int column, bool web) const;
    // "company", "updated", "service 3", "since", each with " reversed" when reversed; "file".
    QString text() const;
    static RowOrder fromText(const QString& text);
};

// What the find box compares: the text with case and accents folded away.
QString foldedForFind(const QString& text);

// Since when a row's trouble has lasted, in local time: "since 03:12, 6 h 41 min", with the
// date when it began another day; without `now`, the time alone.
QString sinceText(const QDateTime& since, const QDateTime& now);

// How a row is marked beyond its colours, so that the table reads without colour vision.
enum class RowMark : quint8 { None, Warning, Failed };
RowMark rowMarkOf(const Reply& reply);

// The text of a window of the page's rows, and for each table in it, in order, the place among
// the rows shown of its first row.
struct PageText {
    QString html;
    QList<int> tableFirstRows;
};

// The summary page of a pass as rows with an identity: what it shows is decided here, once; the
// text is written from it, whole for the plug-in or a window of rows at a time for the monitor,
// and a row of the text is found again by where it stands, never by reading the text back.
class PassPage {
public:
    PassPage() = default;
    // A page of text alone, such as the one shown before the first pass ends.
    static PassPage ofText(QString html);
    // The page of a pass: with `accountsLink` the link to the accounts list first, then the
    // problems, then the failed, warning and OK sections. `web`: the page has a WEB column;
    // `grouped`: rows are filed by state (StatusSummary); `errorsOnly`: a grouped page shows
    // the failed section alone (ShowErrorsOnly).
    static PassPage ofPass(QList<AccountRow> rows, bool web, bool grouped, bool errorsOnly,
                           const QStringList& problems, bool accountsLink = false);

    const QList<AccountRow>& rows() const { return m_rows; }
    bool hasWebColumn() const { return m_web; }
    // When the page was made: how long a row's trouble has lasted is told against it.
    void setShownAt(const QDateTime& at) { m_shownAt = at; }
    const QList<PageBlock>& blocks() const { return m_blocks; }
    // The rows shown, counted across sections.
    int shownRowCount() const { return m_shown; }
    // The rows the pass's page shows, before any narrowing.
    int passRowCount() const { return m_passShown; }
    // The page as the monitor's view shows it: only the companies whose name holds `find`
    // (folded), each section in `order`. The headlines keep the pass's counts.
    PassPage narrowed(const QString& find, const RowOrder& order) const;
    // The index in rows() of the row shown at `shown`, or -1.
    int rowIndex(int shown) const;

    // The whole page.
    QString html() const;
    // The rows shown [first, first + count), each section's headline and heads above its first
    // row in the window, and the text above the sections with the first row of the page. A
    // page without rows is its text whole.
    PageText window(int first, int count) const;
    // The same window as the monitor's view writes it: a failed row's mark before its company,
    // and a failed fetch in red with its reason in words.
    PageText viewWindow(int first, int count) const;

private:
    QList<AccountRow> m_rows;
    QList<PageBlock> m_blocks;
    QString m_lead;
    PageText windowText(int first, int count, bool marked) const;

    int m_shown = 0;
    int m_passShown = 0;
    QDateTime m_shownAt;
    bool m_web = true;
    bool m_grouped = true;
};

class SummaryPage {
public:
    // One account's row: company cell, Last Update, a cell per service, the Log cell. Every text
    // from a file or a server is escaped; the link target cannot leave its attribute.
    static QString rowHtml(const AccountRow& row, bool web);
    static void appendRow(QString& html, const AccountRow& row, bool web);
    // The row as the monitor's view writes it: marked, and a failed fetch with its reason.
    static void appendMarkedRow(QString& html, const AccountRow& row, bool web,
                                const QDateTime& now = {});
    static QString verdictCell(Verdict verdict);
    // The Last Update cell's text: the local time, or the server's text escaped.
    static QString lastUpdateHtml(const Reply& reply);
    // A URL as an unquoted attribute value: what would end the value is percent-encoded.
    static QString attributeUrl(const QString& url);

    // Problems with the program's own files, one red paragraph each, above the page.
    static QString withProblems(const QStringList& problems, const QString& page);

    static const QString kLoadingText;
    // The link that opens the accounts list.
    static const QString kAccountsLink;

private:
    // A row, with the view's marks when `mark` says the row is in trouble.
    static void writeRow(QString& html, const AccountRow& row, bool web, RowMark mark,
                         const QDateTime& now);
};

} // namespace courivane
