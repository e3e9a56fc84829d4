#include "ui/PageView.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextObjectInterface>
#include <QTextTable>
#include <QWheelEvent>

#include <cmath>

namespace courivane {

namespace {

// Draws no image: the stock image handler, finding no resource, loads the named file straight
// from disk.
class NoImages : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    using QObject::QObject;
    QSizeF intrinsicSize(QTextDocument*, int, const QTextFormat&) override { return {}; }
    void drawObject(QPainter*, const QRectF&, QTextDocument*, int, const QTextFormat&) override {}
};

// A table 100% wide can come out a pixel wider than the width it is laid out in: a little room
// keeps that from showing a horizontal scroll bar.
constexpr int kRoundingRoom = 4;

} // namespace

PageView::PageView(QWidget* parent) : QTextBrowser(parent), m_rows(new QScrollBar(this)) {
    document()->documentLayout()->registerHandler(QTextFormat::ImageObject, new NoImages(this));
    setLineWrapMode(FixedPixelWidth);
    m_rows->setObjectName(QStringLiteral("pageRows"));
    m_rows->hide();
    connect(m_rows, &QScrollBar::valueChanged, this, [this] { showWindow(); });
}

void PageView::showPage(PassPage page) {
    m_page = std::move(page);
    if (m_page.shownRowCount() <= kWholePageRows) {
        if (m_windowed) {
            m_windowed = false;
            m_rows->hide();
            setViewportMargins(0, 0, 0, 0);
            setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        }
        showText(m_page.viewWindow(0, m_page.shownRowCount()));
        return;
    }
    if (!m_windowed) {
        const QScopedValueRollback settling(m_settling, true);
        m_windowed = true;
        // The view's own bar goes; the row bar takes its place and its width.
        const int barWidth = verticalScrollBar()->sizeHint().width();
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setViewportMargins(0, 0, barWidth, 0);
        m_rows->show();
        placeRowBar();
        setLineWrapColumnOrWidth(std::max(1, viewport()->width() - kRoundingRoom));
    }
    adjustRowBar();
    showWindow();
}

const AccountRow* PageView::rowAt(const QPoint& viewportPos) const {
    const QTextCursor cursor = cursorForPosition(viewportPos);
    const QTextTable* table = cursor.currentTable();
    if (!table)
        return nullptr;
    // The row of the table under the pointer (the first is the heads), and which table it is.
    const int row = table->cellAt(cursor).row() - 1;
    qsizetype tableIndex = 0;
    QTextFrame* root = document()->rootFrame();
    for (auto it = root->begin(); !it.atEnd(); ++it) {
        if (it.currentFrame() == table)
            break;
        if (qobject_cast<QTextTable*>(it.currentFrame()))
            ++tableIndex;
    }
    if (row < 0 || tableIndex >= m_text.tableFirstRows.size())
        return nullptr;
    const int index = m_page.rowIndex(m_text.tableFirstRows.at(tableIndex) + row);
    return index < 0 ? nullptr : &m_page.rows().at(index);
}

void PageView::mouseReleaseEvent(QMouseEvent* event) {
    QTextBrowser::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QTextCursor cursor = cursorForPosition(event->position().toPoint());
    const QTextTable* table = cursor.currentTable();
    if (table && table->cellAt(cursor).row() == 0)
        emit headClicked(table->cellAt(cursor).column());
}

void PageView::resizeEvent(QResizeEvent* event) {
    QTextBrowser::resizeEvent(event);
    if (m_settling && windowed()) {
        placeRowBar();
        adjustRowBar();
        return;
    }
    setLineWrapColumnOrWidth(std::max(1, viewport()->width() - kRoundingRoom));
    if (windowed()) {
        placeRowBar();
        adjustRowBar();
        showWindow();
    }
}

void PageView::wheelEvent(QWheelEvent* event) {
    if (!windowed() || (event->modifiers() & Qt::ControlModifier))
        return QTextBrowser::wheelEvent(event);
    m_wheel += event->angleDelta().y();
    const int notches = m_wheel / QWheelEvent::DefaultDeltasPerStep;
    m_wheel -= notches * QWheelEvent::DefaultDeltasPerStep;
    m_rows->setValue(m_rows->value() - notches * QApplication::wheelScrollLines());
    event->accept();
}

void PageView::keyPressEvent(QKeyEvent* event) {
    if (windowed()) {
        const int step = m_rows->pageStep();
        switch (event->key()) {
        case Qt::Key_Up:
            m_rows->setValue(m_rows->value() - 1);
            return;
        case Qt::Key_Down:
            m_rows->setValue(m_rows->value() + 1);
            return;
        case Qt::Key_PageUp:
            m_rows->setValue(m_rows->value() - step);
            return;
        case Qt::Key_PageDown:
            m_rows->setValue(m_rows->value() + step);
            return;
        case Qt::Key_Home:
            m_rows->setValue(0);
            return;
        case Qt::Key_End:
            m_rows->setValue(m_rows->maximum());
            return;
        default:
            break;
        }
    }
    QTextBrowser::keyPressEvent(event);
}

QVariant PageView::loadResource(int, const QUrl&) {
    // Not an empty QVariant: on that the document would read a local file itself.
    return QVariant(QByteArray());
}

void PageView::placeRowBar() {
    const QRect area = viewport()->geometry();
    const int barWidth = verticalScrollBar()->sizeHint().width();
    m_rows->setGeometry(area.right() + 1, area.top(), barWidth, area.height());
}

int PageView::rowsToFill() const {
    return viewport()->height() / fontMetrics().height() + 2;
}

void PageView::adjustRowBar() {
    // At the bar's end the last row shows whole, below the headline and the heads.
    const int step = std::max(1, (viewport()->height() - m_headHeight) / m_rowHeight);
    const QSignalBlocker quiet(m_rows);
    m_rows->setPageStep(step);
    m_rows->setRange(0, std::max(0, m_page.shownRowCount() - step));
}

void PageView::showText(PageText text) {
    m_text = std::move(text);
    setHtml(m_text.html);
}

void PageView::showWindow() {
    {
        const QScopedValueRollback settling(m_settling, true);
        showText(m_page.viewWindow(m_rows->value(), rowsToFill()));
    }
    verticalScrollBar()->setValue(0);
    // The rows' height and what stands above them, as laid out, for the bar's page step.
    QTextFrame* root = document()->rootFrame();
    for (auto it = root->begin(); !it.atEnd(); ++it)
        if (auto* table = qobject_cast<QTextTable*>(it.currentFrame())) {
            const QRectF bounds = document()->documentLayout()->frameBoundingRect(table);
            if (table->rows() > 1) {
                const int rowHeight = std::max(1, int(std::ceil(bounds.height() / table->rows())));
                const int headHeight = int(std::ceil(bounds.top())) + rowHeight;
                if (rowHeight != m_rowHeight || headHeight != m_headHeight) {
                    m_rowHeight = rowHeight;
                    m_headHeight = headHeight;
                    adjustRowBar();
                }
            }
            break;
        }
}

} // namespace courivane

#include "PageView.moc"
