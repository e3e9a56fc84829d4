#include "ui/Status.h"

#include "ProgramDir.h"
#include "TestFiles.h"
#include "ui/Alert.h"
#include "ui/Artwork.h"
#include "ui/Monitor.h"
#include "ui/Settings.h"

#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace courivane;
using namespace courivane::testing;

namespace {

QColor captionOf(const QLabel* label) {
    return label->palette().color(QPalette::Window);
}

QColor centreOf(const QLabel* picture) {
    return picture->pixmap().toImage().pixelColor(12, 12);
}

EndOfPass endOf(PassKind kind, const LampResults& lamps, const QString& sound = kYes,
                const QString& popups = kYes) {
    return decideEndOfPass(kind, lamps, 1, sound, popups);
}

PassResult resultOf(const EndOfPass& end) {
    PassResult r;
    r.kind = end.kind;
    r.end = end;
    return r;
}

} // namespace

class TestStatus : public QObject {
    Q_OBJECT
private slots:
    void layoutsReachTheWidgets_data() {
        QTest::addColumn<QString>("graphic");
        QTest::addColumn<QString>("split");
        QTest::addColumn<bool>("webShown");
        QTest::newRow("lamps, split") << "YES"
                                      << "YES" << true;
        QTest::newRow("labels, no Web") << "NO"
                                        << "NO" << false;
    }
    void layoutsReachTheWidgets() {
        QFETCH(QString, graphic);
        QFETCH(QString, split);
        ProgramDir program;
        Status panel(program.dir());
        panel.flags().GraphicDisplay = graphic;
        panel.flags().SplitIcmpWeb = split;
        panel.applyStartupLayout();
        panel.show();
        // Where the elements stand is the layout's decision; here only that it reaches them.
        QCOMPARE(panel.width(), panel.layout().width / 15);
        QCOMPARE(panel.label(3)->x(), panel.layout().labelLeft(3) / 15);
        const bool graphicShown = graphic == kYes;
        const QLabel* web = graphicShown ? panel.picture(WebElement) : panel.label(WebElement);
        QTEST(web->isVisible(), "webShown");
        QCOMPARE(panel.picture(1)->isVisible(), graphicShown);
        QCOMPARE(panel.label(1)->isVisible(), !graphicShown);
        QCOMPARE(panel.y(), 0);
        const int screenWidth = panel.screen()->geometry().width();
        QCOMPARE(panel.x(), (screenWidth * 15 - panel.layout().width) / 2 / 15);
        QCOMPARE(panel.height(), 25);
    }

    void renderEveryStateInBothForms_data() {
        QTest::addColumn<int>("colour");
        QTest::addColumn<QColor>("caption");
        QTest::newRow("green") << int(LampColour::Green) << QColor(0, 255, 0);
        QTest::newRow("red") << int(LampColour::Red) << QColor(255, 0, 0);
        QTest::newRow("orange") << int(LampColour::Orange) << QColor(255, 128, 0);
        QTest::newRow("white") << int(LampColour::White) << QColor(255, 255, 255);
    }
    void renderEveryStateInBothForms() {
        QFETCH(int, colour);
        QFETCH(QColor, caption);
        ProgramDir program;
        Status panel(program.dir());
        for (int lamp = 0; lamp < kLampCount; ++lamp) {
            panel.setLamp(Lamp(lamp), LampColour(colour));
            QCOMPARE(captionOf(panel.label(lamp + 1)), caption);
            QCOMPARE(centreOf(panel.picture(lamp + 1)), lampImage(caption).pixelColor(12, 12));
        }
    }

    void missingBitmapKeepsThePictureAndColoursTheCaption() {
        ProgramDir program(QStringList{});
        Status panel(program.dir());
        const QImage before = panel.picture(4)->pixmap().toImage();
        panel.setLamp(SmtpLamp, LampColour::Red);
        QCOMPARE(panel.picture(4)->pixmap().toImage(), before);
        QCOMPARE(captionOf(panel.label(4)), QColor(255, 0, 0));
        // Before the first render: the design look, orange captions.
        QCOMPARE(captionOf(panel.label(1)), QColor(255, 128, 0));
        QCOMPARE(before, designLampImage());
    }

    void aBlinkTimerReachesItsLamp() {
        // Which timer, how long and in which colours is core's decision; the panel runs it.
        ProgramDir program;
        Status panel(program.dir());
        LampResults lamps;
        recordWarning(lamps, ReceiveLamp);
        panel.showEndOfPass(resultOf(endOf(PassKind::Startup, lamps, kNo, kNo)));
        QTimer* timer = panel.blinkTimer(QStringLiteral("Timer11"));
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 200);
        panel.blinkTick(blinkTimerIndex(ReceiveLamp, LampColour::Orange));
        QCOMPARE(captionOf(panel.label(ReceiveLamp + 1)), QColor(Qt::white));
        panel.blinkTick(blinkTimerIndex(ReceiveLamp, LampColour::Orange));
        QCOMPARE(captionOf(panel.label(ReceiveLamp + 1)), QColor(255, 128, 0));
        QCOMPARE(centreOf(panel.picture(ReceiveLamp + 1)),
                 lampImage(QColor(255, 128, 0)).pixelColor(12, 12));
    }

    void soundAndNoticeExactlyWhenAsked_data() {
        QTest::addColumn<bool>("red");
        QTest::addColumn<QString>("sound");
        QTest::addColumn<QString>("popups");
        QTest::addColumn<bool>("wav");
        QTest::addColumn<int>("sounds");
        QTest::addColumn<int>("notices");
        // When to alert is core's decision; here that it reaches the tray and the speaker.
        QTest::newRow("red, both on") << true << "YES"
                                      << "YES" << true << 1 << 1;
        QTest::newRow("red, no sound file") << true << "YES"
                                            << "YES" << false << 0 << 1;
    }
    void soundAndNoticeExactlyWhenAsked() {
        QFETCH(bool, red);
        QFETCH(QString, sound);
        QFETCH(QString, popups);
        QFETCH(bool, wav);
        ProgramDir program(wav ? QStringList{"warning.wav"} : QStringList{});
        Status panel(program.dir());
        QSignalSpy sounds(panel.alert(), &Alert::soundPlayed);
        QSignalSpy notices(panel.alert(), &Alert::noticeShown);
        LampResults lamps;
        if (red)
            recordFailure(lamps, SmtpLamp, QStringLiteral("A"));
        recordWarning(lamps, SendLamp);
        panel.showEndOfPass(resultOf(endOf(PassKind::Startup, lamps, sound, popups)));
        QTEST(int(sounds.size()), "sounds");
        QTEST(int(notices.size()), "notices");
        if (!notices.isEmpty()) {
            QCOMPARE(notices.first().at(0).toString(), QStringLiteral("Courivane!"));
            QCOMPARE(notices.first().at(1).toString(),
                     QStringLiteral("Failed Services!\r\nSMTP:          1"));
        }
    }

    void maskShowsOnlyTheElements() {
        ProgramDir program;
        Status panel(program.dir());
        panel.applyStartupLayout();
        panel.setLamp(IcmpLamp, LampColour::Green);
        const QRegion mask = panel.mask();
        const QPoint icmp = panel.picture(1)->pos();
        QVERIFY(mask.contains(icmp + QPoint(12, 12)));
        QVERIFY(!mask.contains(icmp + QPoint(0, 0)));   // a magenta corner of the lamp
        QVERIFY(!mask.contains(icmp + QPoint(12, 24))); // below the 24-pixel bitmap
        QVERIFY(mask.contains(panel.picture(SettingsElement)->pos() + QPoint(12, 12)));
        panel.flags().GraphicDisplay = kNo;
        panel.applyDisplayMode();
        QVERIFY(panel.mask().contains(panel.label(1)->geometry().center()));
    }

    void mouseActions() {
        ProgramDir program;
        writeBytes(program.dir(), QStringLiteral("Proxy.Txt"),
                   "NO\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nNO\r\n\r\n\r\n");
        Status panel(program.dir());
        panel.flags().MakeMoveable = kNo;
        panel.applyStartupLayout();
        panel.show();
        const QPoint home = panel.pos();
        panel.move(home + QPoint(40, 90));
        // A double-click on any lamp puts the panel back, whatever MakeMoveable says.
        QTest::mouseDClick(panel.label(7), Qt::LeftButton);
        QTest::mouseDClick(panel.picture(7), Qt::LeftButton);
        QCOMPARE(panel.pos(), home);

        // One settings dialog however often it is asked for.
        QTest::mouseClick(panel.picture(SettingsElement), Qt::LeftButton);
        Settings* first = panel.settingsDialog();
        QVERIFY(first && first->isVisible());
        QTest::mouseClick(panel.picture(SettingsElement), Qt::LeftButton);
        QTest::mouseClick(panel.label(SettingsElement), Qt::LeftButton);
        QCOMPARE(panel.settingsDialog(), first);
        QCOMPARE(panel.findChildren<Settings*>().size(), 1);

        QTest::mouseClick(panel.picture(StatusElement), Qt::LeftButton);
        QVERIFY(panel.monitor()->isVisible());
        QTRY_VERIFY(panel.monitor()->titleBarButton() != nullptr);
    }
};

QTEST_MAIN(TestStatus)
#include "tst_status.moc"
