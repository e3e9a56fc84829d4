#include "ui/Monitor.h"

#include "polling/FetchSecurity.h"
#include "report/Reply.h"
#include "report/SummaryPage.h"
#include "ui/FindBar.h"
#include "ui/MessageBox.h"
#include "ui/PageView.h"
#include "ui/Twips.h"
#include "ui/X11Desktop.h"
#include "ui/clsBtnTitleBar.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSslCertificate>
#include <QStyle>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextObjectInterface>
#include <QTextTable>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QWheelEvent>

#include <QWindow>
#include <cmath>

namespace courivane {

namespace {
const QString kCloseText = QStringLiteral("Close");
constexpr int kCloseWidth = 30;
} // namespace

Monitor::Monitor(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), Caption(new QWidget(this)),
      CaptionTitle(new QLabel(Caption)), CloseBox(new QToolButton(Caption)),
      Find(new FindBar(this)), WebBrowser1(new PageView(this)),
      cmdTitleBarButton(new QPushButton(QStringLiteral("Fake button for titlebar"), this)),
      PassLine(new QLabel(this)), AwayLine(new QLabel(this)), Timer1(new QTimer(this)) {
    setObjectName(QStringLiteral("Monitor"));
    setWindowTitle(kMonitorTitle);
    setMouseTracking(true);

    // The caption: a tool window's small title font, the selection colours of the palette.
    Caption->setObjectName(QStringLiteral("caption"));
    Caption->setAutoFillBackground(true);
    QPalette captionPalette = Caption->palette();
    captionPalette.setColor(QPalette::Window, palette().color(QPalette::Highlight));
    captionPalette.setColor(QPalette::WindowText, palette().color(QPalette::HighlightedText));
    Caption->setPalette(captionPalette);
    QFont captionFont = QApplication::font("QMdiSubWindowTitleBar");
    if (captionFont.pointSizeF() > 1)
        captionFont.setPointSizeF(captionFont.pointSizeF() - 1);
    captionFont.setBold(true);
    Caption->setFont(captionFont);
    Caption->installEventFilter(this);
    CaptionTitle->setObjectName(QStringLiteral("captionTitle"));
    CaptionTitle->installEventFilter(this);
    CloseBox->setObjectName(QStringLiteral("closeBox"));
    CloseBox->setAttribute(Qt::WA_NativeWindow); // seen from outside, like the "Close" button
    // The cross in the caption's own text colour: the style's icon is lost on some captions.
    CloseBox->setText(QStringLiteral("\u2715"));
    QPalette boxPalette = captionPalette;
    boxPalette.setColor(QPalette::ButtonText, captionPalette.color(QPalette::WindowText));
    CloseBox->setPalette(boxPalette);
    CloseBox->setAutoRaise(true);
    CloseBox->setFocusPolicy(Qt::NoFocus);
    CloseBox->setToolTip(QStringLiteral("Close"));
    connect(CloseBox, &QToolButton::clicked, this, &Monitor::Hide);
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
    // Why a failed row failed, as its tooltip; the page text stays as it is.
    WebBrowser1->viewport()->installEventFilter(this);

    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &Monitor::recreateTitleBarButton);

    applyResizeRule();
    centreOnScreen(this);
}

Monitor::~Monitor() = default;

int Monitor::captionHeight() const {
    return QFontMetrics(Caption->font()).height() + 8;
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

QString Monitor::reasonAt(const QPoint& viewportPos) const {
    const AccountRow* row = WebBrowser1->rowAt(viewportPos);
    return row && row->reply.failed ? printableText(row->reply.reason) : QString();
}

void Monitor::showRowMenu(const AccountRow& row, const QPoint& viewportPos) {
    // Copied: the rows may be replaced while the menu is open.
    const QByteArray pem = row.reply.certificate;
    const QString server = row.reply.certificateServer;
    const QString name = row.company;
    const QString company = printableText(row.company);
    QMenu menu(this);
    QAction* trust =
        pem.isEmpty() ? nullptr : menu.addAction(QStringLiteral("Trust this certificate..."));
    QAction* history = menu.addAction(QStringLiteral("History..."));
    menu.addSeparator();
    // What the company's alerts may become; an entry that cannot apply is greyed, not hidden.
    const bool acknowledged = m_marked.acknowledged.contains(name);
    const bool snoozed = m_marked.snoozed.contains(name);
    QAction* acknowledge = menu.addAction(QStringLiteral("Acknowledge..."));
    acknowledge->setEnabled(m_marked.failing.contains(name));
    QAction* unacknowledge = menu.addAction(QStringLiteral("End Acknowledgement"));
    unacknowledge->setEnabled(acknowledged);
    QAction* snooze =
        menu.addAction(snoozed ? QStringLiteral("Snooze Longer...") : QStringLiteral("Snooze..."));
    QAction* unsnooze = menu.addAction(QStringLiteral("End Snooze"));
    unsnooze->setEnabled(snoozed);
    QAction* chosen = menu.exec(WebBrowser1->viewport()->mapToGlobal(viewportPos));
    if (chosen && chosen == history)
        emit historyRequested(name);
    if (chosen && chosen == acknowledge)
        emit markRequested(MarkKind::Acknowledged, name);
    if (chosen && chosen == snooze)
        emit markRequested(MarkKind::Snoozed, name);
    if (chosen && chosen == unacknowledge)
        emit markEndRequested(MarkKind::Acknowledged, name);
    if (chosen && chosen == unsnooze)
        emit markEndRequested(MarkKind::Snoozed, name);
    if (!chosen || chosen != trust)
        return;
    const QSslCertificate certificate(pem, QSsl::Pem);
    const QString question =
        QStringLiteral("The server of %1 showed this certificate, which is not trusted:\n\n%2\n\n"
                       "Trust it from now on for https://%3 only? It is then trusted when this "
                       "server shows it, by its SHA-256 fingerprint, and never for another server "
                       "nor to vouch for other certificates. Only say yes if you know it is the "
                       "server's own.")
            .arg(company, certificateSummary(certificate).join(u'\n'), printableText(server));
    if (askQuestion(this, question))
        emit trustRequested(pem, server);
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
    // The caption's children first: its resize places the title-bar button by the close box.
    const int c = captionHeight();
    const int captionWidth = width() - 2 * kBorder;
    const int box = c - 4;
    CloseBox->setGeometry(captionWidth - box - 2, 2, box, box);
    CaptionTitle->setGeometry(6, 0, std::max(0, captionWidth - 12 - box), c);
    Caption->setGeometry(kBorder, kBorder, captionWidth, c);
    showTitle();
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

void Monitor::showTitle() {
    CaptionTitle->setText(CaptionTitle->fontMetrics().elidedText(windowTitle(), Qt::ElideRight,
                                                                 CaptionTitle->width()));
}

void Monitor::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The countdown changes the title every second: only the caption's text follows it.
    if (event->type() == QEvent::WindowTitleChange)
        showTitle();
}

Qt::Edges Monitor::edgesAt(const QPoint& pos) const {
    Qt::Edges edges;
    if (pos.x() < kBorder)
        edges |= Qt::LeftEdge;
    if (pos.x() >= width() - kBorder)
        edges |= Qt::RightEdge;
    if (pos.y() < kBorder)
        edges |= Qt::TopEdge;
    if (pos.y() >= height() - kBorder)
        edges |= Qt::BottomEdge;
    return edges;
}

void Monitor::mousePressEvent(QMouseEvent* event) {
    const Qt::Edges edges = edgesAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && edges && windowHandle()) {
        windowHandle()->startSystemResize(edges);
        return;
    }
    QWidget::mousePressEvent(event);
}

void Monitor::mouseMoveEvent(QMouseEvent* event) {
    const Qt::Edges edges = edgesAt(event->position().toPoint());
    const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
    const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
    if (horizontal && vertical) {
        const bool falling =
            edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge);
        setCursor(falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
    } else if (horizontal) {
        setCursor(Qt::SizeHorCursor);
    } else if (vertical) {
        setCursor(Qt::SizeVerCursor);
    } else {
        unsetCursor();
    }
    QWidget::mouseMoveEvent(event);
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
    if (watched == WebBrowser1->viewport() && event->type() == QEvent::ContextMenu) {
        const auto* menu = static_cast<QContextMenuEvent*>(event);
        const AccountRow* row = WebBrowser1->rowAt(menu->pos());
        if (row) {
            showRowMenu(*row, menu->pos());
            return true;
        }
    }
    // A double-click on a row opens its company's history.
    if (watched == WebBrowser1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (const AccountRow* row = WebBrowser1->rowAt(mouse->position().toPoint())) {
            emit historyRequested(row->company);
            return true;
        }
    }
    if (watched == WebBrowser1->viewport() && event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString reason = reasonAt(help->pos());
        // Shown as text: a reason can quote what a server sent.
        if (reason.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(),
                               QStringLiteral("<p>") + reason.toHtmlEscaped() +
                                   QStringLiteral("</p>"),
                               WebBrowser1->viewport());
        return true;
    }
    // Dragging the caption moves the window by the pointer's movement, wherever it was pressed.
    if (watched == Caption || watched == CaptionTitle) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (mouse->button() != Qt::LeftButton)
                break;
            m_dragOffset = mouse->globalPosition().toPoint() - pos();
            return true;
        case QEvent::MouseMove:
            if (m_dragOffset && (mouse->buttons() & Qt::LeftButton)) {
                move(mouse->globalPosition().toPoint() - *m_dragOffset);
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            m_dragOffset.reset();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Monitor::closeEvent(QCloseEvent* event) {
    // A close from the window manager hides the window like "Close": a pass must always find it.
    event->ignore();
    Hide();
}

} // namespace courivane
