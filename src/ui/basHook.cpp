#include "ui/basHook.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QStyle>
#include <QWidget>

namespace courivane {

QRect placeTitleBarButton(const TitleBarWindow& window, const TitleBarMetrics& m,
                          int widthProperty) {
    const int right = window.outer.x() + window.outer.width();
    const int height = m.captionHeight - 5;
    const int top = window.outer.y() + m.frame + 2;
    const int width = widthProperty != 0 ? widthProperty : m.buttonWidth - 2;
    // Room for the close box alone, or for close, maximise and minimise.
    const int end = (window.toolWindow || !window.minMaxBoxes)
                        ? right - m.frame - m.buttonWidth
                        : right - m.frame - 3 * m.buttonWidth + 2;
    return {end - width - 2, top, width, height};
}

TitleBarMetrics titleBarMetrics(const QWidget* window) {
    TitleBarMetrics m;
    const QRect inner = window->geometry();
    const QRect outer = window->frameGeometry();
    const QStyle* style = window->style();
    const int left = inner.x() - outer.x();
    const int top = inner.y() - outer.y();
    if (top > left) {
        // The window manager's decoration: the left border, and the caption above the client.
        m.frame = left;
        m.captionHeight = top - left;
        // Caption buttons are drawn square in the caption on the usual themes.
        m.buttonWidth = m.captionHeight;
        return m;
    }
    // No caption reported: the style's idea of one.
    m.frame =
        left > 0 ? left : style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, window);
    const QFontMetrics title(QApplication::font("QMdiSubWindowTitleBar"));
    m.captionHeight = std::max(style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window),
                               title.height() + 8);
    m.buttonWidth = m.captionHeight;
    return m;
}

basHook::basHook(QWidget* mainWindow, QWidget* button, QAbstractButton* fakeButton,
                 int widthProperty, QObject* parent)
    : QObject(parent), m_main(mainWindow), m_button(button), m_fake(fakeButton),
      m_width(widthProperty) {
    m_main->installEventFilter(this);
    m_button->installEventFilter(this);
}

void basHook::detach() {
    if (m_main)
        m_main->removeEventFilter(this);
    if (m_button)
        m_button->removeEventFilter(this);
    m_main.clear();
    m_button.clear();
    m_fake.clear();
}

void basHook::placeButton() {
    if (!m_main || !m_button)
        return;
    const Qt::WindowFlags flags = m_main->windowFlags();
    TitleBarWindow window;
    window.outer = m_main->frameGeometry();
    window.toolWindow = (flags & Qt::WindowType_Mask) == Qt::Tool;
    window.minMaxBoxes =
        flags.testAnyFlags(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    m_button->setGeometry(placeTitleBarButton(window, titleBarMetrics(m_main), m_width));
    m_button->raise();
}

bool basHook::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_main) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
            if (m_button)
                m_button->show();
            placeButton();
            break;
        case QEvent::WindowActivate:
            placeButton();
            break;
        case QEvent::Hide:
            if (m_button)
                m_button->hide();
            break;
        default:
            break;
        }
        return false;
    }
    if (watched == m_button && event->type() == QEvent::MouseButtonRelease) {
        auto* release = static_cast<QMouseEvent*>(event);
        const auto* button = qobject_cast<QAbstractButton*>(m_button.data());
        // A toggle button passes its state on instead (see clsBtnTitleBar).
        if (release->button() == Qt::LeftButton && !(button && button->isCheckable())) {
            const QPoint p = release->position().toPoint();
            const bool inside = p.x() >= 0 && p.x() <= m_button->width() && p.y() >= 0 &&
                                p.y() <= m_button->height();
            if (inside && m_fake) {
                QPointer<QWidget> focus = QApplication::focusWidget();
                m_main->activateWindow();
                m_fake->click();
                if (focus)
                    focus->setFocus();
            }
        }
    }
    return false;
}

} // namespace courivane
