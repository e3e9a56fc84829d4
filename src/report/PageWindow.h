#pragma once

#include <QList>
#include <QString>

namespace courivane {

// A long page shown a few rows at a time. The page is cut where its table rows begin; the text
// of a window of rows keeps, above the first table it shows, that table's headline and column
// heads, so that a page of any length costs the view only what fits on the screen. The page
// text itself is kept as it is.
class PageWindow {
public:
    explicit PageWindow(QString page = {});

    const QString& page() const { return m_page; }
    // The data rows of every table, counted across tables.
    int rowCount() const { return m_rowCount; }
    // The page text of the rows [first, first + count): the text before each table whose start
    // is in the window, the headline and heads of every table shown, and the text after the
    // last table once the window reaches the end. A page without tables is returned whole.
    QString text(int first, int count) const;

private:
    struct Table {
        qsizetype lead = 0;   // text since the previous table's end
        qsizetype sticky = 0; // the headline, the table's opening and its head row
        qsizetype end = 0;    // where its "</table>" begins
        QList<qsizetype> rows;
    };
    QString m_page;
    QList<Table> m_tables;
    qsizetype m_tail = 0;
    int m_rowCount = 0;
};

} // namespace courivane
