#include "ui/Monitor.h"

#include "ui/Twips.h"
#include "ui/clsBtnTitleBar.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>

namespace courivane {

namespace {
const QString kCloseText = QStringLiteral("Close");
constexpr int kCloseWidth = 30;

// The page comes partly from monitoring servers and the accounts file: the view shows the text
// written into it and fetches nothing, neither files nor network, whatever the page names.
class PageView : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;
    // Not an empty QVariant: on that the document would read a local file itself.
    QVariant loadResource(int, const QUrl&) override { return QVariant(QByteArray()); }
};

} // namespace

Monitor::Monitor(QWidget* parent)
    : QWidget(parent, Qt::Tool), WebBrowser1(new PageView(this)),
      cmdTitleBarButton(new QPushButton(QStringLiteral("Fake button for titlebar"), this)),
      Label1(new QLabel(QStringLiteral("30"), this)), Timer1(new QTimer(this)) {
    setObjectName(QStringLiteral("Monitor"));
    setWindowTitle(kMonitorTitle);
    resize(pixelsFromTwips(10950), pixelsFromTwips(6780));

    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setGeometry(0, 0, pixelsFromTwips(10935), pixelsFromTwips(6495));
    // "Log" links open in the user's web browser; the view itself never navigates.
    WebBrowser1->setOpenLinks(false);
    connect(WebBrowser1, &QTextBrowser::anchorClicked, this, [](const QUrl& url) {
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
            QDesktopServices::openUrl(url);
    });

    cmdTitleBarButton->setObjectName(QStringLiteral("cmdTitleBarButton"));
    cmdTitleBarButton->setGeometry(pixelsFromTwips(7440), 0, pixelsFromTwips(1095),
                                   pixelsFromTwips(615));
    cmdTitleBarButton->hide();
    connect(cmdTitleBarButton, &QPushButton::clicked, this, &Monitor::Hide);

    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(pixelsFromTwips(6120), 0, pixelsFromTwips(255), pixelsFromTwips(255));
    Label1->hide();

    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &Monitor::recreateTitleBarButton);

    centreOnScreen(this);
}

Monitor::~Monitor() = default;

void Monitor::Show() {
    show();
    raise();
    activateWindow();
    Timer1->start();
}

void Monitor::Hide() {
    hide();
    m_titleBar.reset();
}

void Monitor::writePage(const QString& page) {
    WebBrowser1->setHtml(page);
}

void Monitor::setTitle(const QString& title) {
    setWindowTitle(title);
}

void Monitor::setCountdown(const QString& counter) {
    Label1->setText(counter);
}

void Monitor::recreateTitleBarButton() {
    m_titleBar.reset();
    m_titleBar = std::make_unique<clsBtnTitleBar>();
    m_titleBar->AddButton(this, false, cmdTitleBarButton, kCloseText, kCloseWidth, false);
}

void Monitor::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    applyResizeRule();
}

void Monitor::applyResizeRule() {
    // Outer size in twips: the view is 100 twips narrower, and 900 lower above 1000 twips.
    const QSize outer = frameGeometry().size();
    const int w = twipsFromPixels(outer.width());
    const int h = twipsFromPixels(outer.height());
    WebBrowser1->resize(pixelsFromTwips(w - 100),
                        h > 1000 ? pixelsFromTwips(h - 900) : WebBrowser1->height());
}

void Monitor::closeEvent(QCloseEvent* event) {
    // The window's own close box hides it like "Close": a pass must always find it.
    event->ignore();
    Hide();
}

} // namespace courivane
