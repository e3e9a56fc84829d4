// Writes the files the monitor reads beside its executable: the four lamp bitmaps, the two
// button pictures, the program icon and the warning sound.

#include "artwork/Artwork.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cmath>
#include <cstdio>

using namespace courivane;

namespace {

bool saveBmp(const QImage& image, const QString& path) {
    // 24-bit BMP, as the lamps always were.
    return image.convertToFormat(QImage::Format_RGB888).save(path, "BMP");
}

void put16(QByteArray& out, quint16 v) {
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(v >> 8));
}
void put32(QByteArray& out, quint32 v) {
    put16(out, static_cast<quint16>(v & 0xFFFF));
    put16(out, static_cast<quint16>(v >> 16));
}

// Two short falling beeps, 16-bit mono PCM at 22050 Hz.
QByteArray warningWave() {
    constexpr int rate = 22050;
    QByteArray samples;
    auto tone = [&](double frequency, double seconds) {
        const int n = static_cast<int>(rate * seconds);
        for (int i = 0; i < n; ++i) {
            const double t = static_cast<double>(i) / rate;
            const double envelope = std::min(1.0, std::min(i, n - i) / (0.01 * rate));
            const double v = 0.5 * envelope * std::sin(2 * M_PI * frequency * t);
            put16(samples, static_cast<quint16>(static_cast<qint16>(v * 32767)));
        }
    };
    auto silence = [&](double seconds) {
        samples.append(QByteArray(static_cast<int>(rate * seconds) * 2, '\0'));
    };
    tone(880, 0.18);
    silence(0.06);
    tone(660, 0.25);

    QByteArray wav = "RIFF";
    put32(wav, static_cast<quint32>(36 + samples.size()));
    wav += "WAVEfmt ";
    put32(wav, 16);
    put16(wav, 1); // PCM
    put16(wav, 1); // mono
    put32(wav, rate);
    put32(wav, rate * 2);
    put16(wav, 2);
    put16(wav, 16);
    wav += "data";
    put32(wav, static_cast<quint32>(samples.size()));
    return wav + samples;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_assets DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    bool ok = true;
    ok &= saveBmp(lampImage(fromWindowsColour(kCaptionGreen)), dir.filePath("green.bmp"));
    ok &= saveBmp(lampImage(fromWindowsColour(kCaptionRed)), dir.filePath("red.bmp"));
    ok &= saveBmp(lampImage(fromWindowsColour(kCaptionOrange)), dir.filePath("orange.bmp"));
    ok &= saveBmp(lampImage(fromWindowsColour(kCaptionWhite)), dir.filePath("white.bmp"));
    for (const int size : {16, 32, 48})
        ok &= programIcon(size).save(dir.filePath(QStringLiteral("courivane-%1.png").arg(size)));
    QFile wav(dir.filePath("warning.wav"));
    ok &= wav.open(QIODevice::WriteOnly) && wav.write(warningWave()) > 0;
    return ok ? 0 : 1;
}
