#include "ui/Monitor.h"
#include "ui/basHook.h"
#include "ui/clsBtnTitleBar.h"

#include "TestFiles.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>

using namespace courivane;
using namespace courivane::testing;

namespace {

QList<QPushButton*> titleBarButtons() {
    QList<QPushButton*> found;
    for (QWidget* w : QApplication::allWidgets())
        if (w->objectName() == QLatin1String("titleBarButton") && w->isVisible())
            found << static_cast<QPushButton*>(w);
    return found;
}

// A window at (100, 50), 400 wide; frame 4, caption buttons 18 wide, caption 20 high.
const std::tuple<const char*, bool, bool, int, QRect> kPlaces[] = {
    {"tool window, width 30", true, false, 30, {500 - 4 - 18 - 30 - 2, 56, 30, 15}},
    {"caption-button style", true, false, 0, {500 - 4 - 18 - 16 - 2, 56, 16, 15}},
    {"minimise and maximise boxes", false, true, 30, {500 - 4 - 3 * 18 + 2 - 30 - 2, 56, 30, 15}},
    {"no boxes, not a tool window", false, false, 30, {500 - 4 - 18 - 32, 56, 30, 15}},
    {"tool window ignores its boxes", true, true, 30, {500 - 4 - 18 - 32, 56, 30, 15}},
};

} // namespace

class TestMonitor : public QObject {
    Q_OBJECT
private slots:
    void placement_data() { addRows(kPlaces); }
    void placement() {
        const auto& [name, tool, minMax, width, button] = currentRow(kPlaces);
        QCOMPARE(placeTitleBarButton({QRect(100, 50, 400, 300), tool, minMax}, {4, 18, 20}, width),
                 button);
    }

    void oneCloseButtonThatHidesTheWindow() {
        Monitor monitor;
        monitor.Show();
        QTRY_COMPARE(titleBarButtons().size(), 1);
        monitor.Show();
        QTRY_VERIFY(!monitor.Timer1->isActive());
        QCOMPARE(titleBarButtons().size(), 1);
        QPushButton* button = titleBarButtons().first();
        QCOMPARE(button->text(), QStringLiteral("Close"));
        QVERIFY(button->width() > button->fontMetrics().horizontalAdvance(button->text()));
        QCOMPARE(button->parentWidget(), monitor.Caption);
        // It stays left of the close box, inside the caption, at any width.
        for (const int width : {monitor.width() + 150, monitor.minimumWidth()}) {
            monitor.resize(width, monitor.height());
            QCOMPARE(monitor.CloseBox->x() - button->geometry().right(), 3);
            QVERIFY(button->y() == 2 && button->geometry().bottom() < monitor.Caption->height());
        }
        // A release outside the button does nothing; inside, it clicks the hidden control once.
        QSignalSpy clicked(monitor.cmdTitleBarButton, &QPushButton::clicked);
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(button->width() + 20, 5));
        QVERIFY(clicked.isEmpty() && monitor.isVisible());
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(clicked.size(), 1);
        QVERIFY(!monitor.isVisible() && titleBarButtons().isEmpty() && !monitor.titleBarButton());
        // Closing is refused: the window hides, as with Close.
        monitor.Show();
        QTRY_COMPARE(titleBarButtons().size(), 1);
        QVERIFY(!monitor.close());
        QVERIFY(!monitor.isVisible() && titleBarButtons().isEmpty());
    }

    void pageAndTitleWhileHiddenAndTheViewLoadsNothing() {
        QTemporaryDir tmp;
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        const QString path = tmp.filePath(QStringLiteral("local.png"));
        QVERIFY(image.save(path));
        Monitor monitor;
        monitor.setTitle(QStringLiteral("Courivane Status - Connecting to: Acme"));
        monitor.setCountdown(QStringLiteral("29"));
        monitor.writePage(QStringLiteral("<p><img src=%1>x</p>").arg(path));
        QCOMPARE(monitor.windowTitle(), QStringLiteral("Courivane Status - Connecting to: Acme"));
        QCOMPARE(monitor.Label1->text(), QStringLiteral("29"));
        monitor.Show();
        QTextDocument* doc = monitor.WebBrowser1->document();
        for (const QUrl& url : {QUrl::fromLocalFile(path), QUrl(path)}) {
            const QVariant loaded = doc->resource(QTextDocument::ImageResource, url);
            QVERIFY(loaded.toByteArray().isEmpty() && loaded.value<QImage>().isNull());
        }
        QCOMPARE(monitor.WebBrowser1->toPlainText().trimmed().right(1), QStringLiteral("x"));
        // The view fills the window under the caption; the minimum keeps both usable.
        const int c = monitor.captionHeight(), b = Monitor::kBorder;
        monitor.resize(600, 400);
        QCOMPARE(monitor.WebBrowser1->geometry(), QRect(b, b + c, 600 - 2 * b, 400 - c - 2 * b));
        QCOMPARE(monitor.Caption->geometry(), QRect(b, b, 600 - 2 * b, c));
        monitor.resize(10, 10);
        QVERIFY(monitor.width() * 15 >= 3000 && monitor.height() * 15 > 1000);
    }

    void addButtonChecksAndTeardown() {
        // Without a caption of its own, a hidden control or a width, no button; with the caption
        // style a width below 1 is the caption buttons' width.
        for (const auto& [caption, hidden, width, captionStyle, created] :
             {std::tuple{false, true, 30, false, 0},
              {true, false, 30, false, 0},
              {true, true, 0, false, 0},
              {true, true, 0, true, 1},
              {true, true, 20, false, 1}}) {
            QWidget window;
            auto* bar = new QWidget(&window);
            bar->setObjectName(caption ? QStringLiteral("caption") : QString());
            (new QWidget(bar))->setObjectName(QStringLiteral("closeBox"));
            auto* control = new QPushButton(&window);
            control->setCheckable(true);
            window.resize(300, 200);
            bar->setGeometry(0, 0, 300, 20);
            window.show();
            {
                clsBtnTitleBar titleBar;
                titleBar.AddButton(&window, created && !captionStyle, hidden ? control : nullptr,
                                   QStringLiteral("X"), width, captionStyle);
                QCOMPARE(int(titleBarButtons().size()), created);
                // Toggle mode passes the state on to the hidden check box.
                if (created && !captionStyle) {
                    titleBarButtons().first()->click();
                    QVERIFY(control->isChecked());
                }
            }
            QTRY_VERIFY(titleBarButtons().isEmpty());
        }
        clsBtnTitleBar outlived;
        {
            QWidget window;
            auto* bar = new QWidget(&window);
            bar->setObjectName(QStringLiteral("caption"));
            window.show();
            outlived.AddButton(&window, false, new QPushButton(&window), QStringLiteral("T"), 20,
                               false);
        }
        QTRY_VERIFY(titleBarButtons().isEmpty()); // never outlives its window
    }
};

QTEST_MAIN(TestMonitor)
#include "tst_monitor.moc"
