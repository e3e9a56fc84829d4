#include "config/OptionsFile.h"
#include "ui/PanelLayout.h"
#include "ui/Platform.h"

#include <QTest>

using namespace courivane;

namespace {

QList<int> visiblePictures(const PanelLayout& l) {
    QList<int> lefts;
    for (int e = 0; e < kElementCount; ++e)
        if (l.pictureVisible[e])
            lefts << l.pictureLeft(e);
    return lefts;
}

QList<int> visibleLabels(const PanelLayout& l) {
    QList<int> lefts;
    for (int e = 0; e < kElementCount; ++e)
        if (l.labelVisible[e])
            lefts << l.labelLeft(e);
    return lefts;
}

} // namespace

class TestPanelLayout : public QObject {
    Q_OBJECT
private slots:
    void startup_data() {
        QTest::addColumn<QString>("graphic");
        QTest::addColumn<QString>("split");
        QTest::addColumn<int>("splitFlag");
        QTest::addColumn<int>("width");
        QTest::addColumn<QList<int>>("pictures");
        QTest::addColumn<QList<int>>("labels");
        QTest::newRow("lamps, split")
            << "YES"
            << "YES" << 1 << 3630
            << QList<int>{0, 360, 720, 1085, 1445, 1805, 2165, 2525, 2885, 3245} << QList<int>{};
        QTest::newRow("lamps, no Web")
            << "YES"
            << "NO" << 0 << 3270 << QList<int>{0, 360, 725, 1085, 1445, 1805, 2165, 2525, 2885}
            << QList<int>{};
        QTest::newRow("labels, split")
            << "NO"
            << "YES" << 1 << 6270 << QList<int>{}
            << QList<int>{0, 240, 960, 1700, 2420, 3140, 3860, 4580, 5300, 6020};
        QTest::newRow("labels, no Web")
            << "NO"
            << "NO" << 0 << 5550 << QList<int>{}
            << QList<int>{0, 240, 980, 1700, 2420, 3140, 3860, 4580, 5300};
        // Neither word: pictures from the display step, the text width and a Web label from the
        // split step; a split value that is neither is laid out split.
        QTest::newRow("graphic neither")
            << "yes"
            << "YES" << 1 << 6270 << QList<int>{0, 360, 1085, 1445, 1805, 2165, 2525, 2885, 3245}
            << QList<int>{960};
        QTest::newRow("split neither")
            << "YES"
            << "no" << 1 << 3630
            << QList<int>{0, 360, 720, 1085, 1445, 1805, 2165, 2525, 2885, 3245} << QList<int>{};
    }
    void startup() {
        QFETCH(QString, graphic);
        QFETCH(QString, split);
        PanelLayout l;
        QTEST(applyStartupLayout(l, graphic, split), "splitFlag");
        QTEST(l.width, "width");
        QTEST(visiblePictures(l), "pictures");
        QTEST(visibleLabels(l), "labels");
    }

    void toggles() {
        PanelLayout l;
        applyStartupLayout(l, kYes, kNo);
        // Lamps to labels without the Web lamp: nine labels, POP3 at 980.
        applyDisplayMode(l, kNo, kNo);
        QCOMPARE(l.width, 5550);
        QCOMPARE(visibleLabels(l), (QList<int>{0, 240, 980, 1700, 2420, 3140, 3860, 4580, 5300}));
        QVERIFY(visiblePictures(l).isEmpty());
        // Split on in the text display: wider, the Web label back at 960, the rest 720 further.
        applySplit(l, kNo, kYes);
        QCOMPARE(l.width, 6270);
        QCOMPARE(visibleLabels(l),
                 (QList<int>{0, 240, 960, 1700, 2420, 3140, 3860, 4580, 5300, 6020}));
        // Back to lamps: the same as the start-up layout for the same two flags.
        applyDisplayMode(l, kYes, kYes);
        PanelLayout fresh;
        applyStartupLayout(fresh, kYes, kYes);
        QCOMPARE(l.width, fresh.width);
        QCOMPARE(visiblePictures(l), visiblePictures(fresh));
        QCOMPARE(visibleLabels(l), visibleLabels(fresh));
        applySplit(l, kYes, kNo);
        QCOMPARE(l.width, 3270);
        QVERIFY(!l.pictureVisible[WebElement]);
    }

    void centring() {
        QCOMPARE(centredLeft(19200, 3630), 7785);
        QCOMPARE(centredLeft(19200, 3270), 7965);
    }

    void platformChoice_data() {
        QTest::addColumn<QByteArray>("qpa");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("platform");
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<bool>("page");
        QTest::newRow("X11 session")
            << QByteArray() << QByteArray() << QByteArray(":0") << QByteArray() << false << false;
        QTest::newRow("Wayland with XWayland")
            << QByteArray() << QByteArray("wayland-0") << QByteArray(":0") << QByteArray("xcb")
            << true << false;
        QTest::newRow("Wayland alone") << QByteArray() << QByteArray("wayland-0") << QByteArray()
                                       << QByteArray() << true << true;
        QTest::newRow("the user's choice stands")
            << QByteArray("wayland") << QByteArray("wayland-0") << QByteArray(":0") << QByteArray()
            << false << false;
    }
    void platformChoice() {
        QFETCH(QByteArray, qpa);
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, display);
        const PlatformChoice c = choosePlatform(qpa, wayland, display);
        QTEST(c.platform, "platform");
        QTEST(!c.terminalNote.isEmpty(), "terminal");
        QTEST(!c.pageNote.isEmpty(), "page");
    }
};

QTEST_GUILESS_MAIN(TestPanelLayout)
#include "tst_panellayout.moc"
