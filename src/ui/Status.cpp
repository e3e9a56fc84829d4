#include "ui/Status.h"

#include "artwork/Artwork.h"
#include "ui/Assets.h"
#include "ui/MessageBox.h"
#include "ui/Titles.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace courivane {

namespace {

constexpr int kBlinkMs = 200;

// An element's tooltip and accessible name; a lamp's is core's.
QString elementTitle(int element) {
    if (element == SettingsElement)
        return QStringLiteral("Settings");
    if (element == StatusElement)
        return QStringLiteral("Status");
    return QString::fromLatin1(lampNames(static_cast<Lamp>(element - FirstLampElement)).title);
}

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

// A red or orange lamp carries a small badge at its lower right, a cross or an exclamation
// mark, so that it reads without colour vision; the centre keeps the lamp's colour.
QPixmap withSign(const QPixmap& lamp, LampColour colour) {
    if (colour != LampColour::Red && colour != LampColour::Orange)
        return lamp;
    QImage image = lamp.toImage().convertToFormat(QImage::Format_RGB32);
    const qreal w = image.width();
    // A dark disc inside the round lamp, clear of its centre and of the magenta around it.
    const qreal r = w * 0.17;
    const QPointF c(w * 0.67, w * 0.67);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 20, 20));
    painter.drawEllipse(c, r, r);
    // The sign in white, crisp.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::white, std::max(1.0, w / 16), Qt::SolidLine, Qt::FlatCap));
    const qreal a = r * 0.55;
    if (colour == LampColour::Red) {
        painter.drawLine(c + QPointF(-a, -a), c + QPointF(a, a));
        painter.drawLine(c + QPointF(a, -a), c + QPointF(-a, a));
    } else {
        painter.drawLine(c + QPointF(0, -a * 1.3), c + QPointF(0, a * 0.3));
        painter.drawLine(c + QPointF(0, a * 0.9), c + QPointF(0, a * 1.3));
    }
    painter.end();
    return QPixmap::fromImage(image);
}

void paintBackground(QWidget* w, quint32 bgr) {
    QPalette palette = w->palette();
    palette.setColor(QPalette::Window, fromWindowsColour(bgr));
    w->setPalette(palette);
    w->setAutoFillBackground(true);
}

} // namespace

Status::Keying Status::keyingOfPlatform() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ? Keying::Alpha
                                                                                : Keying::Mask;
}

Status::Status(QStringList assetDirs, QWidget* parent, Keying keying)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_assetDirs(std::move(assetDirs)), m_keying(keying) {
    setObjectName(QStringLiteral("Status"));
    setWindowTitle(kApplicationTitle);
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addPixmap(QPixmap::fromImage(programIcon(size)));
    setWindowIcon(icon);
    // Magenta is the panel's colour key: the mask leaves every magenta pixel out, or, without
    // masks, the panel is see-through wherever its pictures are.
    if (m_keying == Keying::Alpha)
        setAttribute(Qt::WA_TranslucentBackground);
    else
        paintBackground(this, kMagenta);
    setFixedHeight(pixelsFromTwips(kPanelHeight));
    // The panel is a tool window that is seldom active; its lamps explain themselves anyway.
    setAttribute(Qt::WA_AlwaysShowToolTips);

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
    std::array<LampColour, kLampCount> white{};
    white.fill(LampColour::White);
    showTexts(passView(white, {}, {}, {}, false));
}

void Status::buildElements() {
    const QPixmap design = QPixmap::fromImage(designLampImage());
    QFont captionFont(QStringLiteral("Arial"));
    captionFont.setPointSizeF(8.25);
    captionFont.setBold(true);
    for (int e = 0; e < kElementCount; ++e) {
        auto* picture = new QLabel(this);
        picture->setObjectName(pictureName(e));
        picture->setToolTip(elementTitle(e));
        picture->setAccessibleName(elementTitle(e));
        if (e == SettingsElement)
            picture->setAccessibleDescription(QStringLiteral("opens the settings"));
        else if (e == StatusElement)
            picture->setAccessibleDescription(QStringLiteral("shows the summary window"));
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        picture->resize(pixelsFromTwips(kPictureSize), pixelsFromTwips(kPictureSize));
        if (m_keying == Keying::Mask)
            paintBackground(picture, kMagenta);
        if (e == SettingsElement)
            setPicture(picture, QPixmap::fromImage(settingsButtonImage()));
        else if (e == StatusElement)
            setPicture(picture, QPixmap::fromImage(statusButtonImage()));
        else
            setPicture(picture, design);
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
            // Without pictures the buttons are still what they are: the same drawing in the
            // smaller square, and the same words for the pointer and a screen reader.
            const int side = pixelsFromTwips(kButtonLabelSize);
            label->resize(side, side);
            paintBackground(label, kButtonGrey);
            label->setPixmap(picture->pixmap().scaled(side - 2, side - 2, Qt::KeepAspectRatio,
                                                      Qt::SmoothTransformation));
            label->setToolTip(picture->toolTip());
            label->setAccessibleName(picture->accessibleName());
            label->setAccessibleDescription(picture->accessibleDescription());
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

void Status::applyStartupLayout(const Options& options) {
    courivane::applyStartupLayout(m_layout, options.graphicLine, options.splitLine);
    placeElements();
    centreAtTop();
}

void Status::applySplit(const Options& options) {
    courivane::applySplit(m_layout, options.graphic, options.web);
    placeElements();
}

void Status::applyDisplayMode(const Options& options) {
    courivane::applyDisplayMode(m_layout, options.graphic, options.web);
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

void Status::setPicture(QLabel* picture, const QPixmap& pixmap) {
    if (m_keying == Keying::Mask) {
        picture->setPixmap(pixmap);
        return;
    }
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb key = fromWindowsColour(kMagenta).rgb();
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] | 0xff000000u) == key)
                line[x] = 0;
    }
    picture->setPixmap(QPixmap::fromImage(image));
}

void Status::updateMask() {
    if (m_keying == Keying::Alpha)
        return; // the pictures' own transparency leaves the key out
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
    const bool dim = colour == LampColour::Red && m_dimmed[lamp];
    // Read from the program directory every time; a missing bitmap leaves the picture as it is.
    const QPixmap bitmap(assetPath(m_assetDirs, bitmapName(colour)));
    if (!bitmap.isNull()) {
        setPicture(m_pictures[e], withSign(dim ? dimmed(bitmap) : bitmap, colour));
        if (m_layout.pictureVisible[e])
            updateMask();
    }
    paintBackground(m_labels[e], dim ? kCaptionDimRed : captionColour(colour));
}

void Status::showView(const PassView& view) {
    for (int i = 0; i < kLampCount; ++i) {
        const auto lamp = static_cast<Lamp>(i);
        const LampView& v = view.lamps[i];
        m_dimmed[i] = v.dimmed;
        if (v.dimmed)
            for (const LampColour colour : {LampColour::Red, LampColour::Orange})
                m_blinkTimers[blinkTimerIndex(lamp, colour)]->stop();
        setLamp(lamp, v.colour);
    }
    showTexts(view);
    for (const Blink& blink : view.blinks)
        startBlink(blink.lamp, blink.colour);
}

void Status::showTexts(const PassView& view) {
    for (int i = 0; i < kLampCount; ++i) {
        const LampView& v = view.lamps[i];
        const int e = i + FirstLampElement;
        for (QWidget* w :
             {static_cast<QWidget*>(m_pictures[e]), static_cast<QWidget*>(m_labels[e])}) {
            w->setToolTip(v.tooltip);
            w->setAccessibleName(v.title);
            w->setAccessibleDescription(v.description);
        }
    }
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
        if (!isLamp(element) || !m_moveable)
            return isLamp(element);
        const auto* press = static_cast<QMouseEvent*>(event);
        m_dragOffset = press->globalPosition().toPoint() - pos();
        return true;
    }
    case QEvent::MouseMove: {
        // Any button drags. The window manager moves the panel for the left one, once the
        // pointer has moved far enough to be a drag (a press alone would hand it the second
        // click of a double-click). It is only ever told of the left button, so a drag with
        // another is ours, and Qt sees its release (otherwise it would wait for that release
        // and misread every later click).
        const auto* move = static_cast<QMouseEvent*>(event);
        if (!m_dragOffset)
            return isLamp(element);
        const QPoint offset = move->globalPosition().toPoint() - pos();
        if (move->buttons() & ~Qt::LeftButton) {
            QWidget::move(move->globalPosition().toPoint() - *m_dragOffset);
        } else if ((move->buttons() & Qt::LeftButton) && windowHandle() &&
                   (offset - *m_dragOffset).manhattanLength() >=
                       QApplication::startDragDistance()) {
            m_dragOffset.reset();
            windowHandle()->startSystemMove();
        }
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
            emit settingsRequested();
        else if (element == StatusElement)
            emit summaryRequested();
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
