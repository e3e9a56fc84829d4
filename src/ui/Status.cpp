#include "ui/Status.h"

#include "artwork/Artwork.h"
#include "polling/FetchSecurity.h"
#include "polling/PollCycle.h"
#include "report/SummaryPage.h"
#include "ui/Accounts.h"
#include "ui/Alert.h"
#include "ui/Assets.h"
#include "ui/KeyringPasswords.h"
#include "ui/MessageBox.h"
#include "ui/Monitor.h"
#include "ui/Settings.h"
#include "ui/Twips.h"
#include "ui/X11Desktop.h"

#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace courivane {

namespace {

constexpr int kBlinkMs = 200;

const char* const kTooltips[kElementCount] = {
    "Settings",       "ICMP",        "Web Server", "POP3 Server", "SMTP Server",
    "Receive Status", "Send Status", "Ryl Status", "Connection",  "Status"};

QString pictureName(int element) {
    if (element == SettingsElement)
        return QStringLiteral("Picture9");
    if (element == StatusElement)
        return QStringLiteral("Picture10");
    return QStringLiteral("Picture%1").arg(element);
}

QString labelName(int element) {
    if (element == SettingsElement)
        return QStringLiteral("Label11");
    if (element == StatusElement)
        return QStringLiteral("Label12");
    return QStringLiteral("Label%1").arg(element + 2);
}

bool isLamp(int element) {
    return element != SettingsElement && element != StatusElement;
}

QString bitmapName(LampColour colour) {
    switch (colour) {
    case LampColour::Green:
        return QStringLiteral("green.bmp");
    case LampColour::Red:
        return QStringLiteral("red.bmp");
    case LampColour::Orange:
        return QStringLiteral("orange.bmp");
    case LampColour::White:
        break;
    }
    return QStringLiteral("white.bmp");
}

quint32 captionColour(LampColour colour) {
    switch (colour) {
    case LampColour::Green:
        return kCaptionGreen;
    case LampColour::Red:
        return kCaptionRed;
    case LampColour::Orange:
        return kCaptionOrange;
    case LampColour::White:
        break;
    }
    return kCaptionWhite;
}

// The lamp's picture darkened, its magenta colour key left as it is.
QPixmap dimmed(const QPixmap& lamp) {
    QImage image = lamp.toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb key = fromWindowsColour(kMagenta).rgb();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != key)
                image.setPixel(x, y, QColor(image.pixel(x, y)).darker(220).rgb());
    return QPixmap::fromImage(image);
}

void paintBackground(QWidget* w, quint32 bgr) {
    QPalette palette = w->palette();
    palette.setColor(QPalette::Window, fromWindowsColour(bgr));
    w->setPalette(palette);
    w->setAutoFillBackground(true);
}

} // namespace

Status::Status(QDir configDir, QStringList assetDirs, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_dir(std::move(configDir)),
      m_assetDirs(assetDirs.isEmpty() ? QStringList{m_dir.path()} : std::move(assetDirs)) {
    setObjectName(QStringLiteral("Status"));
    setWindowTitle(kApplicationTitle);
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addPixmap(QPixmap::fromImage(programIcon(size)));
    setWindowIcon(icon);
    // Magenta is the panel's colour key: the mask leaves every magenta pixel out.
    paintBackground(this, kMagenta);
    setFixedHeight(pixelsFromTwips(kPanelHeight));
    // The panel is a tool window that is seldom active; its lamps explain themselves anyway.
    setAttribute(Qt::WA_AlwaysShowToolTips);

    m_alert = new Alert(m_assetDirs, this);
    m_cycle = new PollCycle(m_dir, m_flags, this);
    setPasswordStore(std::make_shared<KeyringPasswords>());
    m_monitor = std::make_unique<Monitor>();
    connect(m_cycle, &PollCycle::titleChanged, m_monitor.get(), &Monitor::setTitle);
    connect(m_cycle, &PollCycle::countdownChanged, m_monitor.get(), &Monitor::setCountdown);
    connect(m_cycle, &PollCycle::passFinished, this, &Status::showEndOfPass);
    connect(m_cycle, &PollCycle::statusLineChanged, m_monitor.get(),
            [this](const StatusLine& line) { m_monitor->setPassLine(line.text, line.late); });
    connect(m_monitor.get(), &Monitor::checkNowRequested, this, &Status::checkNow);
    connect(m_monitor.get(), &Monitor::accountsRequested, this, &Status::openAccounts);
    connect(m_monitor.get(), &Monitor::trustRequested, this, [this](const QByteArray& pem) {
        if (const QString error = trustCertificate(m_dir, pem); !error.isEmpty()) {
            showMessage(
                m_monitor.get(),
                QStringLiteral("%1 could not be saved: %2").arg(kCertificatesFileName, error));
            return;
        }
        // Asked again at once, so that the row shows what the server says.
        checkNow();
    });
    connect(m_alert, &Alert::trayClicked, this, &Status::toggleSummary);
    connect(m_alert, &Alert::showSummaryRequested, this, &Status::showSummary);
    connect(m_alert, &Alert::checkNowRequested, this, &Status::checkNow);
    connect(m_alert, &Alert::acknowledgeRequested, this, &Status::acknowledge);
    connect(m_alert, &Alert::settingsRequested, this, &Status::openSettings);
    connect(m_alert, &Alert::closeApplicationRequested, this, &Status::closeApplication);
    m_colours.fill(LampColour::White);

    // Every lamp blinks red; Receive and Send also blink orange. Core's table says which timer
    // blinks what; the timers carry their names for tracing and for tests.
    for (int i = 0; i < kBlinkTimerCount; ++i) {
        auto* timer = new QTimer(this);
        timer->setObjectName(QStringLiteral("Timer%1").arg(blinkTimers()[i].number));
        timer->setInterval(kBlinkMs);
        connect(timer, &QTimer::timeout, this, [this, i] { blinkTick(i); });
        m_blinkTimers[i] = timer;
    }
    buildElements();
}

Status::~Status() {
    // The dialogs are windows of their own (so that the panel stays above them).
    delete m_settings;
    delete m_accounts;
}

void Status::buildElements() {
    const QPixmap design = QPixmap::fromImage(designLampImage());
    QFont captionFont(QStringLiteral("Arial"));
    captionFont.setPointSizeF(8.25);
    captionFont.setBold(true);
    for (int e = 0; e < kElementCount; ++e) {
        auto* picture = new QLabel(this);
        picture->setObjectName(pictureName(e));
        picture->setToolTip(QString::fromLatin1(kTooltips[e]));
        picture->setAccessibleName(QString::fromLatin1(kTooltips[e]));
        if (e == SettingsElement)
            picture->setAccessibleDescription(QStringLiteral("opens the settings"));
        else if (e == StatusElement)
            picture->setAccessibleDescription(QStringLiteral("shows the summary window"));
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        picture->resize(pixelsFromTwips(kPictureSize), pixelsFromTwips(kPictureSize));
        paintBackground(picture, kMagenta);
        if (e == SettingsElement)
            picture->setPixmap(QPixmap::fromImage(settingsButtonImage()));
        else if (e == StatusElement)
            picture->setPixmap(QPixmap::fromImage(statusButtonImage()));
        else
            picture->setPixmap(design);
        picture->installEventFilter(this);
        m_pictures[e] = picture;

        auto* label = new QLabel(this);
        label->setObjectName(labelName(e));
        label->setAlignment(Qt::AlignCenter);
        if (isLamp(e)) {
            label->setText(
                QLatin1String(lampNames(static_cast<Lamp>(e - FirstLampElement)).caption));
            label->setFont(captionFont);
            label->resize(pixelsFromTwips(kLampLabelWidth), pixelsFromTwips(kLabelHeight));
            paintBackground(label, kCaptionOrange);
        } else {
            label->resize(pixelsFromTwips(kButtonLabelSize), pixelsFromTwips(kButtonLabelSize));
            paintBackground(label, kButtonGrey);
        }
        label->installEventFilter(this);
        m_labels[e] = label;
    }
}

QTimer* Status::blinkTimer(const QString& name) const {
    for (QTimer* timer : m_blinkTimers)
        if (timer->objectName() == name)
            return timer;
    return nullptr;
}

void Status::startUp() {
    m_alert->addTrayIcon();
    m_monitor->writePage(SummaryPage::kLoadingText);
    const QStringList problems = m_startupNotes + OptionsFile(m_dir).readStartup(m_flags);
    applyStartupLayout();
    showLampTexts();
    // A strip that watches everything is seen from every virtual desktop.
    x11::showOnAllDesktops(windowHandle());
    show();
    x11::showOnAllDesktops(windowHandle());
    m_cycle->runStartupPass(m_splitFlag, problems);
    // A first start without accounts says so at once, with the way to add them.
    if (!QFileInfo::exists(AccountsFile(m_dir).path()))
        showSummary();
}

void Status::applyStartupLayout() {
    m_splitFlag =
        courivane::applyStartupLayout(m_layout, m_flags.GraphicDisplay, m_flags.SplitIcmpWeb);
    placeElements();
    centreAtTop();
}

void Status::applySplit() {
    courivane::applySplit(m_layout, m_flags.GraphicDisplay, m_flags.SplitIcmpWeb);
    placeElements();
}

void Status::applyDisplayMode() {
    courivane::applyDisplayMode(m_layout, m_flags.GraphicDisplay, m_flags.SplitIcmpWeb);
    placeElements();
}

void Status::placeElements() {
    for (int e = 0; e < kElementCount; ++e) {
        m_pictures[e]->move(pixelsFromTwips(m_layout.pictureLeft(e)), 0);
        m_pictures[e]->setVisible(m_layout.pictureVisible[e]);
        m_labels[e]->move(pixelsFromTwips(m_layout.labelLeft(e)), 0);
        m_labels[e]->setVisible(m_layout.labelVisible[e]);
    }
    // The width changes to the right: the left edge stays where it is.
    setFixedWidth(pixelsFromTwips(m_layout.width));
    updateMask();
}

void Status::centreAtTop() {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const int screenWidth = s ? twipsFromPixels(s->geometry().width()) : 0;
    const int left = s ? s->geometry().x() : 0;
    move(left + pixelsFromTwips(centredLeft(screenWidth, m_layout.width)),
         s ? s->geometry().y() : 0);
}

void Status::updateMask() {
    QRegion region;
    for (int e = 0; e < kElementCount; ++e) {
        if (m_layout.pictureVisible[e]) {
            const QLabel* p = m_pictures[e];
            const QPixmap pixmap = p->pixmap();
            if (!pixmap.isNull()) {
                const QBitmap visible =
                    pixmap.createMaskFromColor(fromWindowsColour(kMagenta), Qt::MaskInColor);
                region += QRegion(visible).translated(p->pos());
            }
        }
        if (m_layout.labelVisible[e])
            region += m_labels[e]->geometry();
    }
    setMask(region);
}

void Status::setLamp(Lamp lamp, LampColour colour) {
    const int e = static_cast<int>(lamp) + FirstLampElement;
    // An acknowledged red is a dimmed red.
    const bool dim = colour == LampColour::Red && m_ack.covers(lamp, m_companies);
    // Read from the program directory every time; a missing bitmap leaves the picture as it is.
    const QPixmap bitmap(assetPath(m_assetDirs, bitmapName(colour)));
    if (!bitmap.isNull()) {
        m_pictures[e]->setPixmap(dim ? dimmed(bitmap) : bitmap);
        if (m_layout.pictureVisible[e])
            updateMask();
    }
    paintBackground(m_labels[e], dim ? kCaptionDimRed : captionColour(colour));
}

void Status::showEndOfPass(const PassResult& result) {
    m_companies = lampCompanies(result.rows);
    m_colours = result.end.colours;
    m_passEnded = true;
    // First: a new failure, or the end of all acknowledged ones, ends the acknowledgement.
    const bool silenced = m_ack.silences(m_companies);
    // The page follows the options as they stand at the end of the pass.
    const QString page = pageOf(result);
    m_monitor->writePage(result.rows.isEmpty() ? SummaryPage::withAccountsLink(page) : page);
    m_monitor->setRows(result.rows);
    for (int i = 0; i < kLampCount; ++i)
        setLamp(static_cast<Lamp>(i), result.end.colours[i]);
    for (const Blink& blink : result.end.blinks)
        if (!m_ack.covers(blink.lamp, m_companies))
            startBlink(blink.lamp, blink.colour);
    showLampTexts();
    if (!silenced)
        m_alert->raise(result.end);
}

void Status::showLampTexts() {
    for (int i = 0; i < kLampCount; ++i) {
        const auto lamp = static_cast<Lamp>(i);
        const int e = i + FirstLampElement;
        const QString first = QString::fromLatin1(kTooltips[e]);
        const QString tip =
            m_passEnded ? tooltipText(lampTooltipLines(first, lamp, m_companies)) : first;
        const QString description =
            lampDescription(m_colours[i], lamp, m_companies, m_ack.covers(lamp, m_companies));
        for (QWidget* w :
             {static_cast<QWidget*>(m_pictures[e]), static_cast<QWidget*>(m_labels[e])}) {
            w->setToolTip(tip);
            w->setAccessibleName(first);
            w->setAccessibleDescription(description);
        }
    }
    const TrayState state = m_passEnded ? trayState(m_colours) : TrayState::Waiting;
    m_alert->setTrayState(state, trayTooltipLines(state, m_companies, m_ack.active()));
}

void Status::acknowledge() {
    m_ack.acknowledge(m_companies);
    for (int i = 0; i < kLampCount; ++i) {
        const auto lamp = static_cast<Lamp>(i);
        if (!m_ack.covers(lamp, m_companies))
            continue;
        for (const LampColour colour : {LampColour::Red, LampColour::Orange})
            m_blinkTimers[blinkTimerIndex(lamp, colour)]->stop();
        setLamp(lamp, m_colours[i]);
    }
    showLampTexts();
}

void Status::checkNow() {
    m_cycle->checkNow();
}

void Status::toggleSummary() {
    if (m_monitor->isVisible() && !m_monitor->isMinimized())
        m_monitor->Hide();
    else
        showSummary();
}

void Status::startBlink(Lamp lamp, LampColour colour) {
    courivane::startBlink(m_blinkGroups[lamp]);
    m_blinkTimers[blinkTimerIndex(lamp, colour)]->start();
}

void Status::blinkTick(int index) {
    const BlinkTimerSpec& b = blinkTimers()[index];
    const BlinkStep step = courivane::blinkTick(m_blinkGroups[b.lamp], b.colour, b.tickLimit);
    setLamp(b.lamp, step.show);
    if (step.stop)
        m_blinkTimers[index]->stop();
}

void Status::openSettings() {
    if (m_settings) {
        m_settings->raise();
        m_settings->activateWindow();
        return;
    }
    // Not transient for the panel: a window manager would stack it above the panel.
    m_settings = new Settings(m_flags, m_dir);
    connect(m_settings, &Settings::splitToggled, this, &Status::applySplit);
    connect(m_settings, &Settings::displayModeToggled, this, &Status::applyDisplayMode);
    connect(m_settings, &Settings::accountsRequested, this, &Status::openAccounts);
    connect(m_settings, &Settings::closeApplicationRequested, this, &Status::closeApplication);
    m_settings->show();
}

Settings* Status::settingsDialog() const {
    return m_settings;
}

void Status::setPasswordStore(std::shared_ptr<PasswordStore> store) {
    m_passwords = std::move(store);
    m_cycle->setPasswordStore(m_passwords.get());
}

Accounts* Status::accountsDialog() const {
    return m_accounts;
}

void Status::openAccounts() {
    if (m_accounts) {
        m_accounts->raise();
        m_accounts->activateWindow();
        return;
    }
    m_accounts = new Accounts(m_dir, m_passwords.get());
    m_accounts->show();
}

void Status::showSummary() {
    m_monitor->Show();
}

void Status::closeApplication() {
    m_alert->removeTrayIcon();
    if (m_settings)
        m_settings->close();
    if (m_accounts)
        m_accounts->close();
    m_monitor->Hide();
    hide();
    QCoreApplication::quit();
}

bool Status::eventFilter(QObject* watched, QEvent* event) {
    int element = -1;
    for (int e = 0; e < kElementCount; ++e)
        if (watched == m_pictures[e] || watched == m_labels[e])
            element = e;
    if (element < 0)
        return QWidget::eventFilter(watched, event);

    const auto* widget = static_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        if (!isLamp(element) || !isYes(m_flags.MakeMoveable))
            return isLamp(element);
        const auto* press = static_cast<QMouseEvent*>(event);
        // Any button drags. The window manager moves the panel for the left one; it is only
        // ever told of the left button, so a drag with another is ours, and Qt sees its release
        // (otherwise it would wait for that release and misread every later click).
        if (press->button() == Qt::LeftButton && windowHandle())
            windowHandle()->startSystemMove();
        else
            m_dragOffset = press->globalPosition().toPoint() - pos();
        return true;
    }
    case QEvent::MouseMove: {
        const auto* move = static_cast<QMouseEvent*>(event);
        if (m_dragOffset && (move->buttons() & ~Qt::LeftButton))
            QWidget::move(move->globalPosition().toPoint() - *m_dragOffset);
        return isLamp(element);
    }
    case QEvent::MouseButtonDblClick:
        if (isLamp(element))
            centreAtTop();
        return isLamp(element);
    case QEvent::MouseButtonRelease: {
        m_dragOffset.reset();
        const auto* release = static_cast<QMouseEvent*>(event);
        if (!widget->rect().contains(release->position().toPoint()))
            return false;
        if (element == SettingsElement)
            openSettings();
        else if (element == StatusElement)
            showSummary();
        return false;
    }
    default:
        return false;
    }
}

void Status::closeEvent(QCloseEvent* event) {
    // The panel ends only through "Close Application" (or a signal to the process).
    event->ignore();
}

} // namespace courivane
