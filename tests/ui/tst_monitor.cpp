#include "ui/Monitor.h"
#include "ui/basHook.h"
#include "ui/clsBtnTitleBar.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>

using namespace courivane;

namespace {

QList<QPushButton*> titleBarButtons() {
    QList<QPushButton*> found;
    for (QWidget* w : QApplication::allWidgets())
        if (w->objectName() == QLatin1String("titleBarButton") && w->isVisible())
            found << static_cast<QPushButton*>(w);
    return found;
}

// A window that draws its own caption, as the title-bar button needs.
struct CaptionedWindow {
    QWidget window;
    QWidget* caption = new QWidget(&window);
    QWidget* closeBox = new QWidget(caption);
    QPushButton* hidden = new QPushButton(&window);
    CaptionedWindow() {
        caption->setObjectName(QStringLiteral("caption"));
        closeBox->setObjectName(QStringLiteral("closeBox"));
        window.resize(300, 200);
        caption->setGeometry(0, 0, 300, 20);
        closeBox->setGeometry(282, 2, 16, 16);
        window.show();
    }
};

} // namespace

class TestMonitor : public QObject {
    Q_OBJECT
private slots:
    void placement_data() {
        QTest::addColumn<bool>("tool");
        QTest::addColumn<bool>("minMax");
        QTest::addColumn<int>("widthProperty");
        QTest::addColumn<QRect>("button");
        // A window at (100, 50), 400 wide; frame 4, caption buttons 18 wide, caption 20 high.
        QTest::newRow("tool window, width 30")
            << true << false << 30 << QRect(500 - 4 - 18 - 30 - 2, 50 + 4 + 2, 30, 15);
        QTest::newRow("caption-button style")
            << true << false << 0 << QRect(500 - 4 - 18 - 16 - 2, 56, 16, 15);
        QTest::newRow("minimise and maximise boxes")
            << false << true << 30 << QRect(500 - 4 - 3 * 18 + 2 - 30 - 2, 56, 30, 15);
        QTest::newRow("no boxes, not a tool window")
            << false << false << 30 << QRect(500 - 4 - 18 - 32, 56, 30, 15);
        QTest::newRow("tool window ignores its boxes")
            << true << true << 30 << QRect(500 - 4 - 18 - 32, 56, 30, 15);
    }
    void placement() {
        QFETCH(bool, tool);
        QFETCH(bool, minMax);
        QFETCH(int, widthProperty);
        const TitleBarWindow window{QRect(100, 50, 400, 300), tool, minMax};
        QTEST(placeTitleBarButton(window, {4, 18, 20}, widthProperty), "button");
    }

    void showTwiceGivesOneButtonAndCloseHides() {
        Monitor monitor;
        monitor.Show();
        QTRY_COMPARE(titleBarButtons().size(), 1);
        monitor.Show();
        QTRY_VERIFY(!monitor.Timer1->isActive());
        QCOMPARE(titleBarButtons().size(), 1);
        QPushButton* button = titleBarButtons().first();
        QCOMPARE(button->text(), QStringLiteral("Close"));
        QVERIFY(button->width() >= 30);
        QVERIFY(button->width() > button->fontMetrics().horizontalAdvance(button->text()));
        QCOMPARE(button->parentWidget(), monitor.Caption);
        QVERIFY(button->isVisible());

        // A release outside the button does nothing; inside, it clicks the hidden control once.
        QSignalSpy clicked(monitor.cmdTitleBarButton, &QPushButton::clicked);
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(button->width() + 20, 5));
        QCOMPARE(clicked.size(), 0);
        QVERIFY(monitor.isVisible());
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(clicked.size(), 1);
        QVERIFY(!monitor.isVisible());
        QVERIFY(titleBarButtons().isEmpty());
        QVERIFY(monitor.titleBarButton() == nullptr);
    }

    void buttonStaysLeftOfTheCloseBox() {
        Monitor monitor;
        monitor.Show();
        QTRY_COMPARE(titleBarButtons().size(), 1);
        QPushButton* button = titleBarButtons().first();
        for (const int width : {monitor.width(), monitor.width() + 150, monitor.minimumWidth()}) {
            monitor.resize(width, monitor.height());
            QCOMPARE(monitor.CloseBox->x() - button->geometry().right(), 3);
            QCOMPARE(button->y(), 2);
            QVERIFY(button->geometry().bottom() < monitor.Caption->height());
        }
    }

    void closeBoxHidesLikeClose() {
        Monitor monitor;
        monitor.Show();
        QTRY_COMPARE(titleBarButtons().size(), 1);
        QVERIFY(!monitor.close()); // refused: hidden instead
        QVERIFY(!monitor.isVisible());
        QVERIFY(titleBarButtons().isEmpty());
    }

    void writtenWhileHiddenIsThereWhenShown() {
        Monitor monitor;
        monitor.setTitle(QStringLiteral("Courivane Status - Connecting to: Acme"));
        monitor.writePage(QStringLiteral("<p>page</p>"));
        monitor.setCountdown(QStringLiteral("29"));
        QCOMPARE(monitor.windowTitle(), QStringLiteral("Courivane Status - Connecting to: Acme"));
        QCOMPARE(monitor.Label1->text(), QStringLiteral("29"));
        monitor.Show();
        QCOMPARE(monitor.WebBrowser1->toPlainText(), QStringLiteral("page"));
    }

    void theViewLoadsNothingThePageNames() {
        QTemporaryDir tmp;
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        const QString path = tmp.filePath(QStringLiteral("local.png"));
        QVERIFY(image.save(path));
        Monitor monitor;
        monitor.writePage(QStringLiteral("<p><img src=%1>x</p>").arg(path));
        monitor.WebBrowser1->document()->size(); // lays the page out, as showing it would
        QTextDocument* doc = monitor.WebBrowser1->document();
        for (const QUrl& url : {QUrl::fromLocalFile(path), QUrl(path)}) {
            const QVariant loaded = doc->resource(QTextDocument::ImageResource, url);
            QVERIFY(loaded.toByteArray().isEmpty() && loaded.value<QImage>().isNull());
        }
        QCOMPARE(monitor.WebBrowser1->toPlainText().trimmed().right(1), QStringLiteral("x"));
    }

    void resizeRule() {
        Monitor monitor;
        monitor.show();
        const int c = monitor.captionHeight();
        const int b = Monitor::kBorder;
        // The view fills the window under the caption: no dead band.
        monitor.resize(600, 400);
        QCOMPARE(monitor.WebBrowser1->geometry(), QRect(b, b + c, 600 - 2 * b, 400 - c - 2 * b));
        QCOMPARE(monitor.Caption->geometry(), QRect(b, b, 600 - 2 * b, c));
        // The minimum size keeps the caption usable and the view above 1000 twips of height.
        monitor.resize(10, 10);
        QVERIFY(monitor.width() * 15 >= 3000 && monitor.height() * 15 > 1000);
        QVERIFY(monitor.WebBrowser1->height() > 0);
    }

    void addButtonChecks_data() {
        QTest::addColumn<bool>("caption");
        QTest::addColumn<bool>("fake");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("captionStyle");
        QTest::addColumn<int>("created");
        QTest::newRow("a window without a caption of its own") << false << true << 30 << false << 0;
        QTest::newRow("no hidden control") << true << false << 30 << false << 0;
        QTest::newRow("width below 1") << true << true << 0 << false << 0;
        QTest::newRow("width below 1, caption style") << true << true << 0 << true << 1;
    }
    void addButtonChecks() {
        QFETCH(bool, caption);
        QFETCH(bool, fake);
        QFETCH(int, width);
        QFETCH(bool, captionStyle);
        CaptionedWindow w;
        if (!caption)
            w.caption->setObjectName(QString());
        {
            clsBtnTitleBar bar;
            bar.AddButton(&w.window, false, fake ? w.hidden : nullptr, QStringLiteral("X"), width,
                          captionStyle);
            QTEST(int(titleBarButtons().size()), "created");
        }
        // Teardown of any of them does no harm and leaves nothing behind.
        QTRY_VERIFY(titleBarButtons().isEmpty());
    }

    void buttonNeverOutlivesItsWindow() {
        clsBtnTitleBar bar;
        {
            CaptionedWindow w;
            bar.AddButton(&w.window, true, w.hidden, QStringLiteral("T"), 20, false);
            QCOMPARE(titleBarButtons().size(), 1);
            // Toggle mode passes the state on to the hidden check box.
            w.hidden->setCheckable(true);
            titleBarButtons().first()->click();
            QVERIFY(w.hidden->isChecked());
        }
        QTRY_VERIFY(titleBarButtons().isEmpty());
    }
};

QTEST_MAIN(TestMonitor)
#include "tst_monitor.moc"
