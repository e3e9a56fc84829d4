#include "ui/WindowChrome.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <QWindow>

namespace courivane {

WindowCaption::WindowCaption(QWidget* window)
    : QWidget(window), CaptionTitle(new QLabel(this)), CloseBox(new QToolButton(this)) {
    setObjectName(QStringLiteral("caption"));
    setAutoFillBackground(true);
    QPalette captionPalette = palette();
    captionPalette.setColor(QPalette::Window, window->palette().color(QPalette::Highlight));
    captionPalette.setColor(QPalette::WindowText,
                            window->palette().color(QPalette::HighlightedText));
    setPalette(captionPalette);
    QFont captionFont = QApplication::font("QMdiSubWindowTitleBar");
    if (captionFont.pointSizeF() > 1)
        captionFont.setPointSizeF(captionFont.pointSizeF() - 1);
    captionFont.setBold(true);
    setFont(captionFont);
    installEventFilter(this);
    CaptionTitle->setObjectName(QStringLiteral("captionTitle"));
    CaptionTitle->installEventFilter(this);
    CloseBox->setObjectName(QStringLiteral("closeBox"));
    CloseBox->setAttribute(Qt::WA_NativeWindow); // seen from outside, like the "Close" button
    // The cross in the caption's own text colour: the style's icon is lost on some captions.
    CloseBox->setText(QStringLiteral("\u2715"));
    QPalette boxPalette = captionPalette;
    boxPalette.setColor(QPalette::ButtonText, captionPalette.color(QPalette::WindowText));
    CloseBox->setPalette(boxPalette);
    CloseBox->setAutoRaise(true);
    CloseBox->setFocusPolicy(Qt::NoFocus);
    CloseBox->setToolTip(QStringLiteral("Close"));
    connect(CloseBox, &QToolButton::clicked, this, &WindowCaption::closeClicked);
}

int WindowCaption::captionHeight() const {
    return QFontMetrics(font()).height() + 8;
}

void WindowCaption::place(const QRect& geometry) {
    const int box = geometry.height() - 4;
    CloseBox->setGeometry(geometry.width() - box - 2, 2, box, box);
    CaptionTitle->setGeometry(6, 0, std::max(0, geometry.width() - 12 - box), geometry.height());
    setGeometry(geometry);
    showTitle(m_title);
}

void WindowCaption::showTitle(const QString& title) {
    m_title = title;
    CaptionTitle->setText(
        CaptionTitle->fontMetrics().elidedText(title, Qt::ElideRight, CaptionTitle->width()));
}

bool WindowCaption::eventFilter(QObject* watched, QEvent* event) {
    if (watched != this && watched != CaptionTitle)
        return QWidget::eventFilter(watched, event);
    QWidget* const window = this->window();
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            break;
        m_dragOffset = mouse->globalPosition().toPoint() - window->pos();
        return true;
    }
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (m_dragOffset && (mouse->buttons() & Qt::LeftButton)) {
            window->move(mouse->globalPosition().toPoint() - *m_dragOffset);
            return true;
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        m_dragOffset.reset();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

ResizeEdges::ResizeEdges(QWidget* window, int border)
    : QObject(window), m_window(window), m_border(border) {
    window->setMouseTracking(true);
    window->installEventFilter(this);
}

Qt::Edges ResizeEdges::edgesAt(const QSize& window, const QPoint& pos, int border) {
    Qt::Edges edges;
    if (pos.x() < border)
        edges |= Qt::LeftEdge;
    if (pos.x() >= window.width() - border)
        edges |= Qt::RightEdge;
    if (pos.y() < border)
        edges |= Qt::TopEdge;
    if (pos.y() >= window.height() - border)
        edges |= Qt::BottomEdge;
    return edges;
}

bool ResizeEdges::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window ||
        (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseMove))
        return QObject::eventFilter(watched, event);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const Qt::Edges edges = edgesAt(m_window->size(), mouse->position().toPoint(), m_border);
    if (event->type() == QEvent::MouseButtonPress) {
        if (mouse->button() == Qt::LeftButton && edges && m_window->windowHandle()) {
            m_window->windowHandle()->startSystemResize(edges);
            return true;
        }
        return false;
    }
    const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
    const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
    if (horizontal && vertical) {
        const bool falling =
            edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge);
        m_window->setCursor(falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
    } else if (horizontal) {
        m_window->setCursor(Qt::SizeHorCursor);
    } else if (vertical) {
        m_window->setCursor(Qt::SizeVerCursor);
    } else {
        m_window->unsetCursor();
    }
    return false;
}

} // namespace courivane
