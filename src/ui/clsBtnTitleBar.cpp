#include "ui/clsBtnTitleBar.h"

#include "ui/basHook.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

namespace courivane {

clsBtnTitleBar::clsBtnTitleBar(QObject* parent) : QObject(parent) {}

clsBtnTitleBar::~clsBtnTitleBar() {
    teardown();
}

void clsBtnTitleBar::AddButton(QWidget* frm, bool bToggleButton, QAbstractButton* hWndFakeButton,
                               const QString& sText, int lWidthInPixels, bool bCaptionButtonStyle) {
    if (!frm || frm->windowFlags().testFlag(Qt::FramelessWindowHint) || !hWndFakeButton)
        return;
    int width = 0;
    if (!bCaptionButtonStyle) {
        if (lWidthInPixels < 1)
            return;
        width = lWidthInPixels;
    }
    teardown();
    m_main = frm;

    // A top-level window of its own, owned by this object, placed in screen coordinates.
    m_button = new QPushButton(sText);
    m_button->setObjectName(QStringLiteral("titleBarButton"));
    m_button->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                             Qt::WindowDoesNotAcceptFocus | Qt::BypassWindowManagerHint);
    m_button->setAttribute(Qt::WA_ShowWithoutActivating);
    m_button->setFocusPolicy(Qt::NoFocus);
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    if ((frm->windowFlags() & Qt::WindowType_Mask) == Qt::Tool && font.pointSizeF() > 1)
        font.setPointSizeF(font.pointSizeF() - 1);
    m_button->setFont(font);

    m_hook = new basHook(frm, m_button, hWndFakeButton, width, this);
    // The button never outlives its window.
    connect(frm, &QObject::destroyed, this, &clsBtnTitleBar::teardown);
    if (bToggleButton) {
        m_button->setCheckable(true);
        hWndFakeButton->setChecked(false);
        QPointer<QAbstractButton> fake = hWndFakeButton;
        QPointer<QWidget> main = frm;
        connect(m_button, &QPushButton::toggled, this, [fake, main](bool on) {
            if (fake)
                fake->setChecked(on);
            if (main)
                main->activateWindow();
        });
    }
    m_hook->placeButton();
    // The window manager may settle the frame only after the window is mapped: place again then.
    QTimer::singleShot(0, m_hook, &basHook::placeButton);
    m_button->show();
    frm->activateWindow();
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
    m_main.clear();
}

} // namespace courivane
