#pragma once

#include "report/SummaryPage.h"

#include <QTextBrowser>

class QScrollBar;

namespace courivane {

// The summary page in a text view. A long page is shown a window of rows at a time, with a
// scroll bar of its own that counts rows: laying out thousands of table rows would stall the
// window for seconds and hold hundreds of megabytes, for rows nobody sees at once. The view
// shows the text written into it and fetches nothing, neither files nor network, nor images,
// whatever the page names: it comes partly from monitoring servers and the accounts file.
class PageView : public QTextBrowser {
    Q_OBJECT
public:
    explicit PageView(QWidget* parent);

    void showPage(PassPage page);
    const PassPage& page() const { return m_page; }
    // The page's row under a point of the viewport, or none.
    const AccountRow* rowAt(const QPoint& viewportPos) const;
    bool windowed() const { return m_windowed; }
    static constexpr int kWholePageRows = 150;

signals:
    // A click on a column head: its column, from the company column on.
    void headClicked(int column);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    QVariant loadResource(int type, const QUrl& name) override;

private:
    void placeRowBar();
    // Rows are at least a line of text high: this many always fill the view.
    int rowsToFill() const;
    void adjustRowBar();
    void showText(PageText text);
    void showWindow();

    QScrollBar* const m_rows;
    PassPage m_page;
    PageText m_text; // what the view shows
    int m_rowHeight = 20;
    int m_headHeight = 60;
    int m_wheel = 0;
    bool m_windowed = false;
    // While the view changes to a window of rows, or lays one out: a resize then (the bars
    // coming and going) lays out no window of its own, only the one that follows.
    bool m_settling = false;
};

} // namespace courivane
