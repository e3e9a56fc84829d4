#include "artwork/Artwork.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace courivane {

namespace {

constexpr int kLamp = 24;
constexpr int kButton = 25;

QImage canvas(int size, const QColor& ground) {
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(ground);
    return image;
}

void drawLamp(QPainter& p, const QRectF& r, const QColor& colour) {
    QRadialGradient shine(r.center() - QPointF(r.width() / 5, r.height() / 5), r.width() / 1.6);
    shine.setColorAt(0, colour.lighter(170));
    shine.setColorAt(0.45, colour);
    shine.setColorAt(1, colour.darker(160));
    p.setPen(QPen(colour.darker(250), 1));
    p.setBrush(shine);
    p.drawEllipse(r);
}

QImage buttonBase() {
    QImage image = canvas(kButton, fromWindowsColour(kMagenta));
    QPainter p(&image);
    // No smoothing: every pixel is either magenta or fully drawn, so the mask has clean edges.
    p.setPen(QColor(40, 40, 40));
    p.setBrush(QColor(128, 128, 128));
    p.drawRoundedRect(QRect(1, 1, kButton - 3, kButton - 3), 4, 4);
    return image;
}

} // namespace

QColor fromWindowsColour(quint32 bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

QImage lampImage(const QColor& colour) {
    QImage image = canvas(kLamp, fromWindowsColour(kMagenta));
    QPainter p(&image);
    drawLamp(p, QRectF(1, 1, kLamp - 3, kLamp - 3), colour);
    return image;
}

QImage designLampImage() {
    QImage image = canvas(kLamp, QColor(192, 192, 192));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawLamp(p, QRectF(2, 2, kLamp - 5, kLamp - 5), QColor(255, 176, 0));
    return image;
}

QImage settingsButtonImage() {
    QImage image = buttonBase();
    QPainter p(&image);
    // A gear: a ring with eight teeth.
    const QPointF c(12, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(235, 235, 235));
    for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(c);
        p.rotate(45.0 * i);
        p.drawRect(QRectF(-1.5, -8, 3, 4));
        p.restore();
    }
    p.drawEllipse(c, 5.5, 5.5);
    p.setBrush(QColor(128, 128, 128));
    p.drawEllipse(c, 2.5, 2.5);
    return image;
}

QImage statusButtonImage() {
    QImage image = buttonBase();
    QPainter p(&image);
    // A small table: a head row and three rows.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(235, 235, 235));
    p.drawRect(5, 5, 15, 15);
    p.setBrush(QColor(70, 110, 200));
    p.drawRect(5, 5, 15, 4);
    p.setBrush(QColor(128, 128, 128));
    for (int y = 11; y < 20; y += 3)
        p.drawRect(5, y, 15, 1);
    p.drawRect(11, 9, 1, 11);
    return image;
}

QImage trayImage(const QColor& colour, int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawLamp(p, QRectF(size * 0.08, size * 0.08, size * 0.84, size * 0.84), colour);
    return image;
}

QImage programIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(50, 50, 60));
    p.drawRoundedRect(QRectF(0, s * 0.2, s, s * 0.6), s * 0.12, s * 0.12);
    const QColor colours[] = {QColor(0, 200, 0), QColor(255, 140, 0), QColor(230, 0, 0)};
    for (int i = 0; i < 3; ++i)
        drawLamp(p, QRectF(s * (0.06 + 0.31 * i), s * 0.35, s * 0.26, s * 0.3), colours[i]);
    return image;
}

} // namespace courivane
