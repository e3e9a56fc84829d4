#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

class QAbstractButton;
class QWidget;

namespace courivane {

// The frame sizes the title-bar button is placed by, in screen pixels.
struct TitleBarMetrics {
    int frame = 0;         // F: the frame's width
    int buttonWidth = 0;   // B: the width of one caption button
    int captionHeight = 0; // C: the caption's height
};

// The button's rectangle over a tool window's title bar (`outer`, frame included): right of the
// free part of the caption, just left of the close box.
QRect placeTitleBarButton(const QRect& outer, const TitleBarMetrics& m, int width);

// F, B and C of a window: from the caption it draws itself (children "caption" and "closeBox"),
// from the style otherwise.
TitleBarMetrics titleBarMetrics(const QWidget* window);

// The title-bar procedure: keeps the button placed when the window or its caption changes size,
// and turns a mouse release inside the button into one click of the hidden control.
class basHook : public QObject {
    Q_OBJECT
public:
    basHook(QWidget* mainWindow, QWidget* button, QAbstractButton* fakeButton, int widthProperty,
            QObject* parent = nullptr);

    void placeButton();
    // Stops following the windows; nothing reaches the hidden control any more.
    void detach();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_main;
    QPointer<QWidget> m_button;
    QPointer<QAbstractButton> m_fake;
    int m_width;
};

} // namespace courivane
