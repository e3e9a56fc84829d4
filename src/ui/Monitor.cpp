#include "ui/Monitor.h"

#include "report/Reply.h"
#include "report/SummaryPage.h"
#include "ui/FindBar.h"
#include "ui/MessageBox.h"
#include "ui/PageView.h"
#include "ui/RowActions.h"
#include "ui/Twips.h"
#include "ui/WindowChrome.h"
#include "ui/X11Desktop.h"
#include "ui/clsBtnTitleBar.h"

#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QTimer>

namespace courivane {

namespace {
const QString kCloseText = QStringLiteral("Close");
constexpr int kCloseWidth = 30;
} // namespace

Monitor::Monitor(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), Caption(new WindowCaption(this)),
      Find(new FindBar(this)), WebBrowser1(new PageView(this)),
      cmdTitleBarButton(new QPushButton(QStringLiteral("Fake button for titlebar"), this)),
      PassLine(new QLabel(this)), AwayLine(new QLabel(this)), Timer1(new QTimer(this)) {
    setObjectName(QStringLiteral("Monitor"));
    setWindowTitle(kMonitorTitle);
    new ResizeEdges(this, kBorder);
    connect(Caption, &WindowCaption::closeClicked, this, &Monitor::Hide);
    // Small enough to be moved aside, large enough to keep the caption usable.
    setMinimumSize(pixelsFromTwips(3000), captionHeight() + 2 * kBorder + pixelsFromTwips(1050));
    // The designed size, but never larger than the screen: at a high scale the caption's
    // buttons would otherwise open out of reach.
    QSize size(pixelsFromTwips(10950), pixelsFromTwips(6780));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size.expandedTo(minimumSize()));

    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setFrameShape(QFrame::NoFrame);
    // Always there: a scroll bar that comes with a long page would lay the whole page out again.
    WebBrowser1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Lines break between words only: a narrow column keeps "Receive" whole.
    WebBrowser1->setWordWrapMode(QTextOption::WordWrap);
    auto* checkNow = new QShortcut(QKeySequence::Refresh, this);
    connect(checkNow, &QShortcut::activated, this, &Monitor::checkNowRequested);
    // Finding one company among hundreds, and ordering the rows by a column.
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, Find, &FindBar::focusFind);
    connect(Find, &FindBar::findChanged, this, &Monitor::showRows);
    connect(Find, &FindBar::fileOrderRequested, this, [this] {
        setRowOrder({});
        emit rowOrderChanged(m_order);
    });
    connect(Find, &FindBar::longestTroubleRequested, this, [this] {
        setRowOrder({RowOrder::Key::Since, 0, false});
        emit rowOrderChanged(m_order);
    });
    connect(WebBrowser1, &PageView::headClicked, this, [this](int column) {
        const RowOrder next = m_order.clicked(column, m_page.hasWebColumn());
        if (next == m_order)
            return;
        setRowOrder(next);
        emit rowOrderChanged(m_order);
    });
    // "Log" links open in the user's web browser; the view itself never navigates.
    WebBrowser1->setOpenLinks(false);
    connect(WebBrowser1, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (url == QUrl(SummaryPage::kAccountsLink)) {
            emit accountsRequested();
            return;
        }
        if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
            return;
        // Without a web browser the user still gets the address, to copy (Ctrl+C copies it).
        if (!QDesktopServices::openUrl(url))
            showMessage(this, QStringLiteral("No web browser could open the log. Its address:\n%1")
                                  .arg(printableText(url.toString())));
    });

    cmdTitleBarButton->setObjectName(QStringLiteral("cmdTitleBarButton"));
    cmdTitleBarButton->setGeometry(pixelsFromTwips(7440), 0, pixelsFromTwips(1095),
                                   pixelsFromTwips(615));
    cmdTitleBarButton->hide();
    connect(cmdTitleBarButton, &QPushButton::clicked, this, &Monitor::Hide);

    PassLine->setObjectName(QStringLiteral("PassLine"));
    PassLine->setTextFormat(Qt::PlainText);
    PassLine->setContentsMargins(4, 1, 4, 1);
    PassLine->setAutoFillBackground(true);
    setPassLine(QStringLiteral("Not checked yet"), false);
    AwayLine->setObjectName(QStringLiteral("AwayLine"));
    AwayLine->setTextFormat(Qt::PlainText);
    AwayLine->setWordWrap(true);
    AwayLine->setContentsMargins(4, 1, 4, 1);
    AwayLine->setCursor(Qt::PointingHandCursor);
    // Light yellow, as a note left for whoever comes back.
    AwayLine->setAutoFillBackground(true);
    QPalette awayPalette = AwayLine->palette();
    awayPalette.setColor(QPalette::Window, QColor(0xff, 0xf6, 0xc4));
    awayPalette.setColor(QPalette::WindowText, Qt::black);
    AwayLine->setPalette(awayPalette);
    AwayLine->setToolTip(QStringLiteral("Click for the whole list"));
    AwayLine->installEventFilter(this);
    AwayLine->hide();
    auto* rows = new RowActions(WebBrowser1, this);
    m_rowActions = rows;
    connect(rows, &RowActions::trustRequested, this, &Monitor::trustRequested);
    connect(rows, &RowActions::historyRequested, this, &Monitor::historyRequested);
    connect(rows, &RowActions::markRequested, this, &Monitor::markRequested);
    connect(rows, &RowActions::markEndRequested, this, &Monitor::markEndRequested);

    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &Monitor::recreateTitleBarButton);

    applyResizeRule();
    centreOnScreen(this);
}

Monitor::~Monitor() = default;

int Monitor::captionHeight() const {
    return Caption->captionHeight();
}

void Monitor::setMarkedCompanies(MarkedCompanies companies) {
    m_rowActions->setMarkedCompanies(std::move(companies));
}

QPoint placeOnScreen(const QRect& frame, const QRect& room, const QRect& keepClear) {
    const int x = std::clamp(frame.left(), room.left(),
                             std::max(room.left(), room.right() + 1 - frame.width()));
    int y = std::clamp(frame.top(), room.top(),
                       std::max(room.top(), room.bottom() + 1 - frame.height()));
    // Its caption and Close box are not to lie under the panel.
    if (!keepClear.isEmpty() && QRect(QPoint(x, y), frame.size()).intersects(keepClear) &&
        keepClear.bottom() + frame.height() <= room.bottom())
        y = keepClear.bottom() + 1;
    return {x, y};
}

void Monitor::Show(const QRect& keepClear) {
    // Brought back wherever it was: hidden, minimised, behind other windows, on another virtual
    // desktop or (partly) off the screen. It comes to this desktop first: a window manager
    // leaves a window minimised on another desktop as it is when asked to restore it.
    if (windowHandle()) {
        x11::moveToCurrentDesktop(windowHandle());
        // The toolkit may not yet know that the window manager minimised it.
        x11::restoreIfIconic(windowHandle());
    }
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    bringOnScreen(keepClear);
    show();
    x11::moveToCurrentDesktop(windowHandle());
    raise();
    activateWindow();
    Timer1->start();
}

void Monitor::bringOnScreen(const QRect& keepClear) {
    const QRect frame = frameGeometry();
    QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen)
        screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    if (room.contains(frame) && !frame.intersects(keepClear))
        return;
    // The frame's edges (the title bar, where the window manager draws one) come along.
    const QMargins edges(geometry().left() - frame.left(), geometry().top() - frame.top(),
                         frame.right() - geometry().right(), frame.bottom() - geometry().bottom());
    const QSize fits = size().boundedTo(
        room.size() - QSize(edges.left() + edges.right(), edges.top() + edges.bottom()));
    if (fits != size())
        resize(fits.expandedTo(minimumSize()));
    move(placeOnScreen(QRect(frame.topLeft(), frameGeometry().size()), room, keepClear));
}

void Monitor::Hide() {
    // A Show just before would otherwise make the button again on a hidden window.
    Timer1->stop();
    const bool wasShown = isVisible();
    hide();
    setAwayLine({});
    if (wasShown)
        emit hidden();
    m_titleBar.reset();
}

void Monitor::showPage(PassPage page) {
    m_page = std::move(page);
    showRows();
}

void Monitor::setRowOrder(const RowOrder& order) {
    if (order == m_order)
        return;
    m_order = order;
    showRows();
}

void Monitor::showRows() {
    PassPage shown = m_page.narrowed(Find->text(), m_order);
    Find->showCount(shown.shownRowCount(), m_page.passRowCount());
    Find->setSorted(m_order.key != RowOrder::Key::File);
    WebBrowser1->showPage(std::move(shown));
}

void Monitor::setTitle(const QString& title) {
    setWindowTitle(title);
}

void Monitor::setAwayLine(const QString& text, const QStringList& all) {
    m_away = all;
    AwayLine->setText(text);
    AwayLine->setVisible(!text.isEmpty());
    applyResizeRule();
}

void Monitor::setPassLine(const QString& text, bool late) {
    PassLine->setText(text);
    QPalette p = palette();
    if (late)
        p.setColor(QPalette::Window, QColor(0xff, 0x99, 0x00));
    PassLine->setPalette(p);
}

void Monitor::recreateTitleBarButton() {
    m_titleBar.reset();
    m_titleBar = std::make_unique<clsBtnTitleBar>();
    m_titleBar->AddButton(this, cmdTitleBarButton, kCloseText, kCloseWidth);
}

void Monitor::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    applyResizeRule();
}

void Monitor::applyResizeRule() {
    // The caption across the top, the close box at its right; the view fills the rest. The view
    // follows the window, but not below 1000 twips of window height.
    const int c = captionHeight();
    Caption->place(QRect(kBorder, kBorder, width() - 2 * kBorder, c));
    const int h = twipsFromPixels(height());
    const int line = PassLine->sizeHint().height();
    int find = Find->sizeHint().height();
    Find->setGeometry(kBorder, kBorder + c, width() - 2 * kBorder, find);
    if (AwayLine->isVisibleTo(this)) {
        const int away = AwayLine->heightForWidth(width() - 2 * kBorder);
        AwayLine->setGeometry(kBorder, kBorder + c + find, width() - 2 * kBorder, away);
        find += away;
    }
    WebBrowser1->setGeometry(kBorder, kBorder + c + find, width() - 2 * kBorder,
                             h > 1000 ? height() - c - find - line - 2 * kBorder
                                      : WebBrowser1->height());
    PassLine->setGeometry(kBorder, height() - kBorder - line, width() - 2 * kBorder, line);
}

void Monitor::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The countdown changes the title every second: only the caption's text follows it.
    if (event->type() == QEvent::WindowTitleChange)
        Caption->showTitle(windowTitle());
}

void Monitor::paintEvent(QPaintEvent*) {
    // A thin frame in the caption's colour, where the edges resize the window.
    QPainter painter(this);
    painter.fillRect(rect(), Caption->palette().color(QPalette::Window));
}

bool Monitor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == AwayLine && event->type() == QEvent::MouseButtonRelease && !m_away.isEmpty()) {
        showMessage(this, m_away.join(u'\n'));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Monitor::closeEvent(QCloseEvent* event) {
    // A close from the window manager hides the window like "Close": a pass must always find it.
    event->ignore();
    Hide();
}

} // namespace courivane
