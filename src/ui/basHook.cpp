#include "ui/basHook.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QStyle>
#include <QWidget>

namespace courivane {

QRect placeTitleBarButton(const QRect& outer, const TitleBarMetrics& m, int width) {
    const int right = outer.x() + outer.width();
    const int height = m.captionHeight - 5;
    const int top = outer.y() + m.frame + 2;
    // A tool window's caption: room for the close box alone.
    const int end = right - m.frame - m.buttonWidth;
    return {end - width - 2, top, width, height};
}

TitleBarMetrics titleBarMetrics(const QWidget* window) {
    TitleBarMetrics m;
    const auto* caption =
        window->findChild<QWidget*>(QStringLiteral("caption"), Qt::FindDirectChildrenOnly);
    const auto* closeBox =
        caption ? caption->findChild<QWidget*>(QStringLiteral("closeBox")) : nullptr;
    // The window's own caption: no frame inside it, the close box at its right.
    if (caption && closeBox) {
        m.frame = 0;
        m.captionHeight = caption->height();
        m.buttonWidth = caption->width() - closeBox->x();
    }
    return m;
}

basHook::basHook(QWidget* mainWindow, QWidget* button, QAbstractButton* fakeButton,
                 int widthProperty, QObject* parent)
    : QObject(parent), m_main(mainWindow), m_button(button), m_fake(fakeButton),
      m_width(widthProperty) {
    m_main->installEventFilter(this);
    m_button->installEventFilter(this);
    if (QWidget* caption = m_button->parentWidget())
        caption->installEventFilter(this);
}

void basHook::detach() {
    if (m_main)
        m_main->removeEventFilter(this);
    if (m_button) {
        m_button->removeEventFilter(this);
        if (QWidget* caption = m_button->parentWidget())
            caption->removeEventFilter(this);
    }
    m_main.clear();
    m_button.clear();
    m_fake.clear();
}

void basHook::placeButton() {
    if (!m_main || !m_button || !m_button->parentWidget())
        return;
    // In the caption's own coordinates: a tool window's caption with the close box alone. The
    // text stays readable whatever the font: the button is at least as wide as its caption.
    const QWidget* caption = m_button->parentWidget();
    const auto* button = qobject_cast<const QAbstractButton*>(m_button.data());
    const int readable =
        button ? m_button->fontMetrics().horizontalAdvance(button->text()) + 8 : m_width;
    m_button->setGeometry(
        placeTitleBarButton(caption->rect(), titleBarMetrics(m_main), std::max(m_width, readable)));
    m_button->raise();
}

bool basHook::eventFilter(QObject* watched, QEvent* event) {
    const bool caption = m_button && watched == m_button->parentWidget();
    if (watched == m_main || caption) {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show ||
            event->type() == QEvent::FontChange || event->type() == QEvent::ScreenChangeInternal)
            placeButton();
        return false;
    }
    if (watched == m_button && event->type() == QEvent::MouseButtonRelease) {
        auto* release = static_cast<QMouseEvent*>(event);
        if (release->button() == Qt::LeftButton) {
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
