#pragma once

#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QString>

class QAbstractButton;
class QPushButton;
class QWidget;

namespace courivane {

class basHook;

// An extra button in a window's caption, just left of its close box. A click on it clicks a
// hidden control of that window, whose handler carries the action. The button lives exactly as
// long as this object, and never longer than its window.
class clsBtnTitleBar : public QObject {
    Q_OBJECT
public:
    explicit clsBtnTitleBar(QObject* parent = nullptr);
    ~clsBtnTitleBar() override;

    // Creates nothing when the window draws no caption (a child named "caption"), there is no
    // hidden control, or the width is below 1.
    void AddButton(QWidget* frm, QAbstractButton* hWndFakeButton, const QString& sText,
                   int lWidthInPixels);

    // The button window, or none.
    QPushButton* button() const { return m_button; }

private slots:
    void teardown();

private:
    QPointer<QPushButton> m_button;
    QPointer<basHook> m_hook;
};

} // namespace courivane
