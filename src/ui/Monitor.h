#pragma once

#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;
class QTextBrowser;
class QTimer;

namespace courivane {

class clsBtnTitleBar;

inline const QString kMonitorTitle = QStringLiteral("Courivane Status");

// The summary window: the page in an HTML view, the pass's progress in the title, and a "Close"
// button in the title bar that hides it. Created hidden at start-up and never destroyed.
class Monitor : public QWidget {
    Q_OBJECT
public:
    explicit Monitor(QWidget* parent = nullptr);
    ~Monitor() override;

    QTextBrowser* const WebBrowser1;
    QPushButton* const cmdTitleBarButton;
    QLabel* const Label1; // the countdown counter
    QTimer* const Timer1; // (re)creates the title-bar button after Show

    clsBtnTitleBar* titleBarButton() const { return m_titleBar.get(); }

public slots:
    // Shown by the panel's status button; the page is whatever was last written.
    void Show();
    void Hide();
    void writePage(const QString& page);
    void setTitle(const QString& title);
    void setCountdown(const QString& counter);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void applyResizeRule();
    void recreateTitleBarButton();

    std::unique_ptr<clsBtnTitleBar> m_titleBar;
};

} // namespace courivane
