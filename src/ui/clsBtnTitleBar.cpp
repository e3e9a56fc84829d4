#include "ui/clsBtnTitleBar.h"

#include "ui/basHook.h"

#include <QPushButton>

namespace courivane {

clsBtnTitleBar::clsBtnTitleBar(QObject* parent) : QObject(parent) {}

clsBtnTitleBar::~clsBtnTitleBar() {
    teardown();
}

void clsBtnTitleBar::AddButton(QWidget* frm, QAbstractButton* hWndFakeButton, const QString& sText,
                               int lWidthInPixels) {
    // The button goes into the caption the window draws itself, so that it shares the window's
    // stacking, desktop, minimised state and scale; a window without one gets no button.
    QWidget* caption =
        frm ? frm->findChild<QWidget*>(QStringLiteral("caption"), Qt::FindDirectChildrenOnly)
            : nullptr;
    if (!caption || !hWndFakeButton || lWidthInPixels < 1)
        return;
    teardown();

    m_button = new QPushButton(sText, caption);
    m_button->setObjectName(QStringLiteral("titleBarButton"));
    // A native child window: desktop tools (and the desktop test) can see where it is, and it is
    // unviewable whenever its window is.
    m_button->setAttribute(Qt::WA_NativeWindow);
    m_button->setFocusPolicy(Qt::NoFocus);
    QFont font = caption->font();
    font.setBold(false);
    m_button->setFont(font);

    m_hook = new basHook(frm, m_button, hWndFakeButton, lWidthInPixels, this);
    // The button never outlives its window.
    connect(frm, &QObject::destroyed, this, &clsBtnTitleBar::teardown);
    m_hook->placeButton();
    m_button->show();
}

void clsBtnTitleBar::teardown() {
    // The click that hides the window arrives inside the button's own event handling: the
    // button goes out of sight at once and is destroyed once that handling is over.
    if (m_hook) {
        m_hook->detach();
        m_hook->deleteLater();
    }
    if (m_button) {
        m_button->hide();
        m_button->deleteLater();
    }
    m_hook.clear();
    m_button.clear();
}

} // namespace courivane
