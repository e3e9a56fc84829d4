#include "report/SummaryPage.h"
#include "ui/HistoryWindow.h"
#include "ui/MessageBox.h"
#include "ui/Monitor.h"
#include "ui/basHook.h"
#include "ui/clsBtnTitleBar.h"

#include "Windows.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

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
} // namespace

class TestMonitor : public QObject {
    Q_OBJECT
private slots:
    void oneCloseButtonThatHidesTheWindow() {
        Monitor monitor;
        monitor.Show();
        monitor.Show();
        QTRY_VERIFY(!control<QTimer>(&monitor, "Timer1")->isActive());
        QCOMPARE(titleBarButtons().size(), 1);
        // Where it stands in the caption is checked on a real desktop, moved and resized.
        QPushButton* button = titleBarButtons().first();
        // A release outside the button does nothing; inside, it clicks the hidden control once.
        QSignalSpy clicked(control<QPushButton>(&monitor, "cmdTitleBarButton"),
                           &QPushButton::clicked);
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(button->width() + 20, 5));
        QVERIFY(clicked.isEmpty() && monitor.isVisible());
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(clicked.size(), 1);
        QVERIFY(!monitor.isVisible() && titleBarButtons().isEmpty());
        // Closing is refused: the window hides, as with Close.
        monitor.Show();
        QTRY_COMPARE(titleBarButtons().size(), 1);
        QVERIFY(!monitor.close() && !monitor.isVisible());
        QVERIFY(titleBarButtons().isEmpty());
    }

    void theViewLoadsNothingThePageNames() {
        QTemporaryDir tmp;
        QImage image(4, 4, QImage::Format_RGB32);
        const QString path = tmp.filePath(QStringLiteral("local.png"));
        QVERIFY(image.save(path));
        Monitor monitor;
        monitor.showPage(PassPage::ofText(QStringLiteral("<p><img src=%1>x</p>").arg(path)));
        monitor.Show();
        QTextDocument* doc = control<QTextBrowser>(&monitor, "WebBrowser1")->document();
        for (const QUrl& url : {QUrl::fromLocalFile(path), QUrl(path)}) {
            const QVariant loaded = doc->resource(QTextDocument::ImageResource, url);
            QVERIFY(loaded.toByteArray().isEmpty() && loaded.value<QImage>().isNull());
        }
        QCOMPARE(control<QTextBrowser>(&monitor, "WebBrowser1")->toPlainText().trimmed().right(1),
                 QStringLiteral("x"));
    }

    void aLogLinkNoBrowserOpensGivesItsAddress() {
        // Offscreen there is no web browser to open a link with.
        QStringList messages;
        setMessageHandler([&](QWidget*, const QString& text) { messages << text; });
        Monitor monitor;
        emit control<QTextBrowser>(&monitor, "WebBrowser1")
            ->anchorClicked(QUrl(QStringLiteral("http://m1/logs/a%1B.txt")));
        emit control<QTextBrowser>(&monitor, "WebBrowser1")
            ->anchorClicked(QUrl(QStringLiteral("file:///etc/passwd")));
        setMessageHandler({});
        QCOMPARE(messages, QStringList{"No web browser could open the log. Its address:\n"
                                       "http://m1/logs/a%1B.txt"});
    }

    void aLongPageIsShownAWindowOfRowsAtATime() {
        QList<AccountRow> rows;
        for (int i = 0; i < 3000; ++i) {
            AccountRow row;
            row.company = QStringLiteral("Company %1").arg(i);
            row.logUrl = QStringLiteral("http://m/logs/same"); // one server and user for all
            row.rowClass = RowFailed;
            row.reply.failed = true;
            row.reply.reason = QStringLiteral("refused %1").arg(i);
            rows << row;
        }
        Monitor monitor;
        monitor.Show();
        monitor.showPage(PassPage::ofPass(rows, false, true, false, {}));
        auto* bar = monitor.findChild<QScrollBar*>(QStringLiteral("pageRows"));
        QVERIFY(bar && bar->isVisible() && bar->maximum() > 2900);
        QTextBrowser* view = control<QTextBrowser>(&monitor, "WebBrowser1");
        const auto shown = [view] { return view->toPlainText(); };
        QVERIFY(shown().contains("3000 Failed Services!") && shown().contains("Company 0\n"));
        QVERIFY(shown().count("Company ") < 100);
        // A row's reason, its own even where accounts share a server and a user.
        const auto reasonOf = [view](const QString& company) {
            const QPoint at = view->cursorRect(view->document()->find(company)).center();
            QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
            QApplication::sendEvent(view->viewport(), &help);
            return QToolTip::text();
        };
        QCOMPARE(reasonOf("Company 1"), QStringLiteral("<p>refused 1</p>"));
        // The view says it on the row as well, with a sign beside the colour.
        QVERIFY(shown().contains("\u2716 Company 1\nError Connecting! refused 1"));
        // The end of the page, under the headline and the heads.
        QTest::keyClick(view, Qt::Key_End);
        QVERIFY(shown().contains("Company 2999") && shown().contains("Company Name"));
        QVERIFY(shown().contains("3000 Failed Services!") && !shown().contains("Company 0\n"));
        QCOMPARE(reasonOf("Company 2998"), QStringLiteral("<p>refused 2998</p>"));
        // A short page is the page as it is, scrolled by the view itself.
        monitor.showPage(PassPage::ofPass(rows.mid(0, 3), false, true, false, {}));
        QVERIFY(!bar->isVisible() && shown().contains("Company 2"));
    }

    void findAndSortAsAnOperatorDoes() {
        QList<AccountRow> rows;
        for (const char* name : {"Östra Hamn", "Acme", "Ostend", "Bakery"}) {
            AccountRow row;
            row.company = QString::fromUtf8(name);
            row.reply.services = {{IcmpLamp, Verdict::Ok}};
            rows << row;
        }
        Monitor monitor;
        monitor.Show();
        monitor.showPage(PassPage::ofPass(rows, false, true, false, {}));
        QSignalSpy ordered(&monitor, &Monitor::rowOrderChanged);
        QTextBrowser* view = control<QTextBrowser>(&monitor, "WebBrowser1");
        auto* box = control<QLineEdit>(&monitor, "findBox");
        const auto shown = [view] { return view->toPlainText(); };
        // Ctrl+F, then the name without its accent: both companies, the pass's count kept.
        QVERIFY(QTest::qWaitForWindowActive(&monitor));
        QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(box->hasFocus());
        QTest::keyClicks(box, QStringLiteral("ost"));
        QVERIFY(shown().contains("Östra Hamn") && shown().contains("Ostend") &&
                !shown().contains("Acme") && shown().contains("4 OK Services!"));
        QCOMPARE(control<QLabel>(&monitor, "findCount")->text(), QStringLiteral("2 of 4"));
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(box->text().isEmpty() && shown().contains("Acme"));
        // A click on the Company Name head sorts; "File order" puts the file's order back.
        const QPoint head = view->cursorRect(view->document()->find("Company Name")).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, head);
        QVERIFY(shown().indexOf("Acme") < shown().indexOf("Bakery") &&
                shown().indexOf("Bakery") < shown().indexOf("Ostend"));
        QCOMPARE(ordered.size(), 1);
        QCOMPARE(ordered.last().first().value<RowOrder>().text(), QStringLiteral("company"));
        QTest::mouseClick(control<QToolButton>(&monitor, "fileOrder"), Qt::LeftButton);
        QVERIFY(shown().indexOf("Östra Hamn") < shown().indexOf("Acme"));
        QCOMPARE(ordered.last().first().value<RowOrder>().text(), QStringLiteral("file"));
    }

    void aRowOpensItsCompanysHistory() {
        AccountRow row;
        row.company = QStringLiteral("Acme <b>");
        row.reply.failed = true;
        Monitor monitor;
        monitor.Show();
        monitor.showPage(PassPage::ofPass({row}, false, true, false, {}));
        QSignalSpy asked(&monitor, &Monitor::historyRequested);
        QTextBrowser* view = control<QTextBrowser>(&monitor, "WebBrowser1");
        const QPoint at = view->cursorRect(view->document()->find("Acme")).center();
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().first().toString(), QStringLiteral("Acme <b>"));
        // What the history window shows of it: a line a slot with its shares, the outages.
        CompanyHistory history;
        history.company = row.company;
        history.now = QDateTime(QDate(2026, 7, 1), QTime(12, 0), Qt::UTC);
        history.lines.append({{row.company, "m", "u"}, SmtpLamp, {}, {0.5, std::nullopt, 0.25}});
        Outage outage{{row.company, "m", "u"}, SmtpLamp, history.now.addSecs(-600), {}, {}};
        history.outages = {outage};
        HistoryWindow window(history);
        QCOMPARE(window.windowTitle(), QStringLiteral("History of Acme <b>"));
        QStringList shares;
        for (const QLabel* label : window.findChildren<QLabel*>())
            if (label->text().endsWith(u'%') || label->text() == u"-")
                shares << label->text();
        QCOMPARE(shares, QStringList({"50.0 %", "-", "25.0 %"}));
        const auto* table = control<QTableWidget>(&window, "outages");
        QCOMPARE(table->item(0, 2)->text() + u' ' + table->item(0, 3)->text(),
                 QStringLiteral("ongoing 10 min"));
    }

    void aRefusedCertificateCanBeTrustedFromItsRow() {
        QFile pem(QStringLiteral(COURIVANE_TLS_DIR "/self-signed.pem"));
        QVERIFY(pem.open(QIODevice::ReadOnly));
        AccountRow row;
        row.company = QStringLiteral("Vault");
        row.logUrl = QStringLiteral("https://m9/logs/vault/index.html");
        row.rowClass = RowFailed;
        row.reply.failed = true;
        row.reply.reason = QStringLiteral("certificate not trusted");
        row.reply.certificate = pem.readAll();
        row.reply.certificateServer = QStringLiteral("m9:443");
        Monitor monitor;
        monitor.Show();
        monitor.showPage(PassPage::ofPass({row}, false, true, false, {}));
        QStringList asked;
        setQuestionHandler([&](QWidget*, const QString& text) { return asked << text, true; });
        QSignalSpy trusted(&monitor, &Monitor::trustRequested);
        QTextBrowser* view = control<QTextBrowser>(&monitor, "WebBrowser1");
        const QPoint at = view->cursorRect(view->document()->find("Vault")).center();
        QTimer::singleShot(100, [] {
            QWidget* menu = QApplication::activePopupWidget();
            QVERIFY(menu);
            QCOMPARE(static_cast<QMenu*>(menu)->actions().first()->text(),
                     QStringLiteral("Trust this certificate..."));
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &menu);
        setQuestionHandler({});
        QCOMPARE(trusted.size(), 1);
        QCOMPARE(trusted.first().first().toByteArray(), row.reply.certificate);
        QCOMPARE(trusted.first().last().toString(), QStringLiteral("m9:443"));
        QVERIFY(asked.size() == 1 && asked.first().contains("for https://m9:443 only") &&
                asked.first().contains("Subject: localhost (Courivane tests)") &&
                asked.first().contains("SHA-256: "));
    }

    void broughtBackWhollyOnScreenAndClearOfThePanel() {
        const QRect room(0, 0, 1280, 800), panel(519, 0, 242, 25);
        // Off the top and the left, it comes back below the panel it would lie under.
        QCOMPARE(placeOnScreen({-300, -200, 600, 400}, room, panel), QPoint(0, 25));
        // Off the bottom right: inside, clear of the panel already.
        QCOMPARE(placeOnScreen({1000, 700, 600, 400}, room, panel), QPoint(680, 400));
        // Too tall to fit below the panel: wholly on the screen comes first.
        QCOMPARE(placeOnScreen({100, -50, 600, 790}, room, panel), QPoint(100, 0));
        // Beside the panel, nothing to keep clear of.
        QCOMPARE(placeOnScreen({0, -10, 300, 200}, room, panel), QPoint(0, 0));
    }

    void theButtonSitsJustLeftOfTheCloseBox() {
        // The rule: two pixels inside the frame at the top, and two pixels left of the room the
        // close box takes at the right.
        QCOMPARE(placeTitleBarButton({0, 0, 400, 20}, {0, 30, 20}, 50), QRect(318, 2, 50, 15));
        QCOMPARE(placeTitleBarButton({10, 10, 400, 30}, {4, 20, 24}, 50), QRect(334, 16, 50, 19));
        // On the window's own caption: inside it, clear of the close box and of the title.
        Monitor monitor;
        monitor.Show();
        QTRY_VERIFY(monitor.titleBarButton() && monitor.titleBarButton()->button());
        const QRect button = monitor.titleBarButton()->button()->geometry();
        QVERIFY(control(&monitor, "caption")->rect().contains(button));
        QCOMPARE(button.right() + 1 + 2, control(&monitor, "closeBox")->x());
    }

    void aButtonNeverOutlivesItsWindow() {
        clsBtnTitleBar bar;
        {
            QWidget window;
            (new QWidget(&window))->setObjectName(QStringLiteral("caption"));
            window.show();
            bar.AddButton(&window, new QPushButton(&window), QStringLiteral("T"), 20);
            QCOMPARE(titleBarButtons().size(), 1);
        }
        QTRY_VERIFY(titleBarButtons().isEmpty());
    }
};

QTEST_MAIN(TestMonitor)
#include "tst_monitor.moc"
