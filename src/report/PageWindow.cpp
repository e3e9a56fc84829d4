#include "report/PageWindow.h"

#include <algorithm>

namespace courivane {

namespace {
const QString kTableOpen = QStringLiteral("<table");
const QString kTableClose = QStringLiteral("</table>");
const QString kRowOpen = QStringLiteral("<tr>");
// Where a section's headline begins, as the summary page writes it; failing that the body
// that holds the table.
const QString kHeadline = QStringLiteral("<p><b><font face=Tahoma>");
const QString kBody = QStringLiteral("<body>");

// The last `what` that begins in [from, to), or -1.
qsizetype lastWithin(const QString& text, const QString& what, qsizetype from, qsizetype to) {
    if (to - from < what.size())
        return -1;
    const qsizetype at = text.lastIndexOf(what, to - what.size());
    return at >= from ? at : -1;
}
} // namespace

PageWindow::PageWindow(QString page) : m_page(std::move(page)) {
    // Every text from a file or a server is escaped in the page, so a "<" here is the page's own.
    qsizetype pos = 0;
    for (;;) {
        const qsizetype open = m_page.indexOf(kTableOpen, pos);
        if (open < 0)
            break;
        const qsizetype end = m_page.indexOf(kTableClose, open);
        const qsizetype head = m_page.indexOf(kRowOpen, open);
        if (end < 0 || head < 0 || head > end)
            break;
        Table table;
        table.lead = pos;
        table.sticky = lastWithin(m_page, kHeadline, pos, open);
        if (table.sticky < 0)
            table.sticky = lastWithin(m_page, kBody, pos, open);
        if (table.sticky < 0)
            table.sticky = open;
        table.end = end;
        for (qsizetype row = m_page.indexOf(kRowOpen, head + kRowOpen.size());
             row >= 0 && row < end; row = m_page.indexOf(kRowOpen, row + kRowOpen.size()))
            table.rows.append(row);
        m_rowCount += int(table.rows.size());
        m_tables.append(std::move(table));
        pos = end + kTableClose.size();
    }
    m_tail = pos;
}

QString PageWindow::text(int first, int count) const {
    if (m_tables.isEmpty())
        return m_page;
    first = std::clamp(first, 0, std::max(0, m_rowCount - 1));
    const int last = first + std::max(count, 1); // one past
    QString out;
    int before = 0; // rows of the tables before this one
    for (const Table& table : m_tables) {
        const int rows = int(table.rows.size());
        if (before >= last)
            break;
        // A table without rows belongs to where it stands; one with rows shows if any is in view.
        const bool shown = rows == 0 ? before >= first : before + rows > first;
        if (shown) {
            const qsizetype from = before >= first ? table.lead : table.sticky;
            const int a = std::max(first - before, 0);
            const int b = std::min(last - before, rows); // one past
            const qsizetype headEnd = rows > 0 ? table.rows.first() : table.end;
            out += QStringView(m_page).mid(from, headEnd - from);
            if (a < b) {
                const qsizetype rowsEnd = b < rows ? table.rows.at(b) : table.end;
                out += QStringView(m_page).mid(table.rows.at(a), rowsEnd - table.rows.at(a));
            }
            out += kTableClose;
        }
        before += rows;
    }
    if (last >= m_rowCount)
        out += QStringView(m_page).mid(m_tail);
    return out;
}

} // namespace courivane
