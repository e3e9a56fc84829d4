#pragma once

#include <QObject>
#include <QWidget>

#include <optional>

class QLabel;
class QToolButton;

namespace courivane {

// The caption a frameless window draws itself: its title, cut with an ellipsis where it is too
// long, and a close box at its right, in a tool window's small title font and the palette's
// selection colours. Dragging it moves the window by the pointer's movement, wherever it was
// pressed. Its children are named "captionTitle" and "closeBox", and it "caption": the
// title-bar button finds its place by them.
class WindowCaption : public QWidget {
    Q_OBJECT
public:
    explicit WindowCaption(QWidget* window);

    // The caption's height, from the title font: it scales with the screen.
    int captionHeight() const;
    // Lays the title and the close box out for the new size first, then takes it: whoever
    // follows the caption's resize finds the close box already where it goes.
    void place(const QRect& geometry);
    void showTitle(const QString& title);

signals:
    void closeClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* const CaptionTitle;
    QToolButton* const CloseBox;
    QString m_title;
    // Where the pointer holds the window during a drag.
    std::optional<QPoint> m_dragOffset;
};

// The edges of a frameless window, `border` pixels wide, that resize it: the pointer's shape
// over them, and a press there starts the window manager's resize.
class ResizeEdges : public QObject {
    Q_OBJECT
public:
    ResizeEdges(QWidget* window, int border);

    static Qt::Edges edgesAt(const QSize& window, const QPoint& pos, int border);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* const m_window;
    const int m_border;
};

} // namespace courivane
