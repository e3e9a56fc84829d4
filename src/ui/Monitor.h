#pragma once

#include "report/AlertRules.h"
#include "report/SummaryPage.h"
#include "ui/RowActions.h"
#include "ui/Titles.h"

#include <QList>
#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;
class QTimer;

namespace courivane {

class clsBtnTitleBar;
class FindBar;
class PageView;
class WindowCaption;

// The summary window: the page in an HTML view, the pass's progress in the title, and a "Close"
// button in the caption that hides it. A frameless tool window that draws its own small caption
// (title, "Close", close box), so that the button shares the window's stacking, desktop,
// minimised state and scale. Created hidden at start-up and never destroyed.
// Where a window's frame comes to lie: wholly inside `room` (as near to where it was as that
// allows) and, where the room leaves space for it, below `keepClear`, which stays on top.
QPoint placeOnScreen(const QRect& frame, const QRect& room, const QRect& keepClear);

class Monitor : public QWidget {
    Q_OBJECT
public:
    explicit Monitor(QWidget* parent = nullptr);
    ~Monitor() override;

    clsBtnTitleBar* titleBarButton() const { return m_titleBar.get(); }
    // The caption's height, from the title font: it scales with the screen.
    int captionHeight() const;
    static constexpr int kBorder = 3; // the edge that resizes the window
    // What a row's menu offers.
    using MarkedCompanies = courivane::MarkedCompanies;
    void setMarkedCompanies(MarkedCompanies companies);

public slots:
    // Shown by the panel's status button, wherever it was: un-minimised, raised, activated,
    // wholly on the screen and, where it can, clear of `keepClear` (the panel). The page is
    // whatever was last written.
    void Show(const QRect& keepClear = {});
    void Hide();
    // The page of a pass, narrowed to what the find box holds and in the order chosen.
    void showPage(courivane::PassPage page);
    void setRowOrder(const courivane::RowOrder& order);
    const RowOrder& rowOrder() const { return m_order; }
    void setTitle(const QString& title);
    // The line under the page; orange when no pass has ended for too long.
    void setPassLine(const QString& text, bool late);
    // The line above the page: what failed and cleared while the window was away, shown as
    // text; a click on it lists `all`. Empty: no line.
    void setAwayLine(const QString& text, const QStringList& all = {});

signals:
    // F5 in the window.
    void checkNowRequested();
    // The page's link to the accounts list.
    void accountsRequested();
    // The user chose to trust the certificate a row's server was refused for (PEM).
    void trustRequested(const QByteArray& certificate, const QString& server);
    // A row's menu or a double-click asked for its company's history.
    void historyRequested(const QString& company);
    // A row's menu: acknowledge or snooze the row's company, or end that by hand.
    void markRequested(courivane::MarkKind kind, const QString& company);
    void markEndRequested(courivane::MarkKind kind, const QString& company);
    // The window was put away (Close, the close box, the tray).
    void hidden();
    // A column head or "File order" changed the order of the rows.
    void rowOrderChanged(const courivane::RowOrder& order);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WindowCaption* const Caption;
    FindBar* const Find;
    PageView* const WebBrowser1;
    QPushButton* const cmdTitleBarButton;
    QLabel* const PassLine; // when the page was made, or how far the pass is
    QLabel* const AwayLine; // what failed and cleared while the window was away
    QTimer* const Timer1;   // (re)creates the title-bar button after Show

    void applyResizeRule();
    // Moves (and where it must, shrinks) the window to lie wholly on a screen.
    void bringOnScreen(const QRect& keepClear);
    void recreateTitleBarButton();

    // The page, narrowed and ordered, in the view.
    void showRows();

    std::unique_ptr<clsBtnTitleBar> m_titleBar;
    PassPage m_page;
    QStringList m_away;
    RowActions* m_rowActions = nullptr;
    RowOrder m_order;
};

} // namespace courivane
