// The lamp panel: its layout rules, and the real panel offscreen, wired to a pass against the
// fake server.
#include "ui/Status.h"

#include "app/Program.h"

#include "FakeMonitorServer.h"
#include "ProgramDir.h"
#include "TestFiles.h"
#include "Windows.h"
#include "artwork/Artwork.h"
#include "polling/PollCycle.h"
#include "ui/Alert.h"
#include "ui/MessageBox.h"
#include "ui/Monitor.h"
#include "ui/PanelLayout.h"
#include "ui/Platform.h"
#include "ui/Settings.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTextBrowser>
#include <QTimer>

using namespace courivane;
using namespace courivane::testing;

namespace {

// The left edges, in twips, of the visible pictures, then of the visible labels.
std::pair<QList<int>, QList<int>> lefts(const PanelLayout& l) {
    std::pair<QList<int>, QList<int>> shown;
    for (int e = 0; e < kElementCount; ++e) {
        if (l.pictureVisible[e])
            shown.first << l.pictureLeft(e);
        if (l.labelVisible[e])
            shown.second << l.labelLeft(e);
    }
    return shown;
}

const QList<int> kLamps = {0, 360, 720, 1085, 1445, 1805, 2165, 2525, 2885, 3245};
const QList<int> kLampsNoWeb = {0, 360, 725, 1085, 1445, 1805, 2165, 2525, 2885};
const QList<int> kLabels = {0, 240, 960, 1700, 2420, 3140, 3860, 4580, 5300, 6020};
const QList<int> kLabelsNoWeb = {0, 240, 980, 1700, 2420, 3140, 3860, 4580, 5300};

// Neither word: pictures from the display step, the text width and a Web label from the split
// step; a split value that is neither is laid out split.
const std::tuple<const char*, const char*, const char*, int, int, QList<int>, QList<int>>
    kLayouts[] = {
        {"lamps, split", "YES", "YES", 1, 3630, kLamps, {}},
        {"lamps, no Web", "YES", "NO", 0, 3270, kLampsNoWeb, {}},
        {"labels, split", "NO", "YES", 1, 6270, {}, kLabels},
        {"labels, no Web", "NO", "NO", 0, 5550, {}, kLabelsNoWeb},
        {"graphic neither",
         "yes",
         "YES",
         1,
         6270,
         QList<int>{0, 360, 1085, 1445, 1805, 2165, 2525, 2885, 3245},
         {960}},
        {"split neither", "YES", "no", 1, 3630, kLamps, {}},
};

QColor captionOf(const QLabel* label) {
    return label->palette().color(QPalette::Window);
}
QColor centreOf(const QLabel* picture) {
    return picture->pixmap().toImage().pixelColor(12, 12);
}

} // namespace

class TestPanel : public QObject {
    Q_OBJECT
private slots:
    void layouts_data() { addRows(kLayouts); }
    void layouts() {
        const auto& [name, graphic, split, splitFlag, width, pictures, labels] =
            currentRow(kLayouts);
        PanelLayout l;
        Options options;
        std::tie(options.graphicLine, options.splitLine) =
            std::pair(lineSays(graphic), lineSays(split));
        applyStartupLayout(l, options.graphicLine, options.splitLine);
        QCOMPARE(options.startupWeb(), splitFlag == 1);
        QCOMPARE(l.width, width);
        QCOMPARE(lefts(l), std::pair(pictures, labels));
        // The real panel takes the layout, centred at the top, 25 pixels high.
        ProgramDir program;
        Status panel({program.dir().path()});
        panel.applyStartupLayout(options);
        panel.show();
        QCOMPARE(panel.geometry(),
                 QRect((panel.screen()->geometry().width() - width / 15) / 2, 0, width / 15, 25));
        QCOMPARE(panel.label(3)->isVisible(), l.labelVisible[3]);
        QCOMPARE(panel.picture(3)->x(), l.pictureLeft(3) / 15);
        // The buttons in either form show what they are: never a blank square.
        for (const char* button : {"Label11", "Label12"}) {
            const QLabel* shown = control<QLabel>(&panel, button);
            QVERIFY(!shown->pixmap().isNull() && !shown->toolTip().isEmpty());
        }
    }

    void platformChoice() {
        // The user's choice stands; Wayland goes to XWayland where there is one.
        const std::tuple<QByteArray, QByteArray, QByteArray, QByteArray, bool, bool> rows[] = {
            {"", "", ":0", "", false, false},
            {"", "wayland-0", ":0", "xcb", true, false},
            {"", "wayland-0", "", "", true, true},
            {"wayland", "wayland-0", ":0", "", false, false}};
        for (const auto& [qpa, wayland, display, platform, terminal, page] : rows) {
            const PlatformChoice c = choosePlatform(qpa, wayland, display);
            QCOMPARE(c.platform, platform);
            QCOMPARE(!c.terminalNote.isEmpty(), terminal);
            QCOMPARE(!c.pageNote.isEmpty(), page);
        }
    }

    void lampsInBothFormsAndBlinks() {
        ProgramDir program;
        Status panel({program.dir().path()});
        // Before the first render: the design look, orange captions.
        QCOMPARE(captionOf(panel.label(1)), QColor(255, 128, 0));
        QCOMPARE(panel.picture(1)->pixmap().toImage(), designLampImage());
        const QColor colours[] = {QColor(0, 255, 0), QColor(255, 0, 0), QColor(255, 128, 0),
                                  Qt::white};
        for (int colour = 0; colour < 4; ++colour) { // in the order of LampColour
            for (int lamp = 0; lamp < kLampCount; ++lamp) {
                panel.setLamp(Lamp(lamp), LampColour(colour));
                QCOMPARE(captionOf(panel.label(lamp + 1)), colours[colour]);
                QCOMPARE(centreOf(panel.picture(lamp + 1)),
                         lampImage(colours[colour]).pixelColor(12, 12));
            }
        }
        // The panel runs a blink core chose: white, then the lamp's colour again.
        panel.blinkTick(blinkTimerIndex(ReceiveLamp, LampColour::Orange));
        QCOMPARE(captionOf(panel.label(ReceiveLamp + 1)), QColor(Qt::white));
        panel.blinkTick(blinkTimerIndex(ReceiveLamp, LampColour::Orange));
        QCOMPARE(captionOf(panel.label(ReceiveLamp + 1)), QColor(255, 128, 0));
    }

    void aMissingBitmapKeepsThePicture() {
        ProgramDir program(QStringList{});
        Status panel({program.dir().path()});
        const QImage before = panel.picture(4)->pixmap().toImage();
        panel.setLamp(SmtpLamp, LampColour::Red);
        QCOMPARE(panel.picture(4)->pixmap().toImage(), before);
        QCOMPARE(captionOf(panel.label(4)), QColor(255, 0, 0));
    }

    void withoutMasksTheKeyIsSeeThrough() {
        // A Wayland compositor has no window masks: the magenta around a lamp is transparent.
        ProgramDir program;
        for (const Status::Keying keying : {Status::Keying::Mask, Status::Keying::Alpha}) {
            Status panel({program.dir().path()}, nullptr, keying);
            panel.applyStartupLayout(Options());
            panel.show();
            panel.setLamp(SmtpLamp, LampColour::Red);
            const QImage shot = panel.grab().toImage();
            const QPoint lamp = panel.picture(int(SmtpLamp) + FirstLampElement)->pos();
            const bool alpha = keying == Status::Keying::Alpha;
            QCOMPARE(shot.pixelColor(lamp).alpha(), alpha ? 0 : 255); // a corner: the key
            const QColor centre = shot.pixelColor(lamp + QPoint(12, 12));
            QVERIFY(centre.alpha() == 255 && centre.red() > 180 && centre.green() < 80);
            QCOMPARE(shot.pixelColor(lamp).rgb() == QColor(255, 0, 255).rgb(), !alpha);
        }
    }

    void redAndOrangeLampsCarryASign() {
        ProgramDir program;
        Status panel({program.dir().path()});
        QLabel* smtp = panel.picture(int(SmtpLamp) + FirstLampElement);
        // White pixels in the lamp's lower right quarter: the badge's.
        const auto badge = [smtp] {
            const QImage image = smtp->pixmap().toImage();
            int white = 0;
            for (int y = image.height() / 2; y < image.height(); ++y)
                for (int x = image.width() / 2; x < image.width(); ++x)
                    white += image.pixelColor(x, y).lightness() > 200 ? 1 : 0;
            return white;
        };
        const std::tuple<LampColour, bool> looks[] = {
            {LampColour::Green, false}, {LampColour::Red, true}, {LampColour::Orange, true}};
        for (const auto& [colour, signed_] : looks) {
            panel.setLamp(SmtpLamp, colour);
            QCOMPARE(badge() >= 4, signed_);
            QCOMPARE(centreOf(smtp).green() < 80, colour == LampColour::Red); // still the colour
        }
    }

    void mouse() {
        ProgramDir program;
        Program app(program.dir());
        Status& panel = *app.panel();
        panel.applyStartupLayout(Options());
        panel.show();
        const QPoint home = panel.pos();
        panel.move(home + QPoint(40, 90));
        // A double-click on any lamp puts the panel back, whatever MakeMoveable says.
        QTest::mouseDClick(panel.picture(7), Qt::LeftButton);
        QCOMPARE(panel.pos(), home);
        // One settings dialog however often it is asked for.
        QTest::mouseClick(panel.picture(SettingsElement), Qt::LeftButton);
        Settings* first = app.settingsDialog();
        QVERIFY(first && first->isVisible());
        QTest::mouseClick(panel.picture(SettingsElement), Qt::LeftButton);
        QCOMPARE(windowsOf<Settings>(), QList<Settings*>{first});
        QTest::mouseClick(panel.picture(StatusElement), Qt::LeftButton);
        QVERIFY(app.monitor()->isVisible());
    }

    void startUpRunsInOrder() {
        FakeMonitorServer server;
        QVERIFY(server.listen());
        // ICMP, Web, POP3, Receive, SMTP, Ryl, Send; the first answers late, so the pass lasts.
        const QByteArray time = FakeMonitorServer::now();
        server.setScript(
            QStringLiteral("/status/web.txt"),
            {FakeMonitorServer::httpReply(FakeMonitorServer::splitStatus("1011111", time)), 0,
             150});
        server.setReply(
            QStringLiteral("/status/warn.txt"),
            FakeMonitorServer::httpReply(FakeMonitorServer::splitStatus("1114111", time)));
        ProgramDir program;
        writeBytes(program.dir(), kOptionsFileName,
                   "YES\r\nYES\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nNO\r\n\r\n\r\n");
        const QByteArray s = server.address().toUtf8();
        writeBytes(program.dir(), kAccountsFileName,
                   "Web Down\r\n" + s + "\r\nweb\r\nWarned\r\n" + s + "\r\nwarn\r\n");
        Program app(program.dir());
        Status& panel = *app.panel();
        QStringList events;
        const auto note = [&](const char* event) { return [&events, event] { events << event; }; };
        connect(app.cycle(), &PollCycle::passStarted, this, note("pass"));
        connect(control<QTextBrowser>(app.monitor(), "WebBrowser1"), &QTextEdit::textChanged, this,
                note("page"));
        connect(app.alert(), &Alert::soundPlayed, this, note("sound"));
        connect(app.alert(), &Alert::noticeShown, this, note("notice"));
        connect(app.cycle(), &PollCycle::countdownChanged, this, note("countdown"));
        QSignalSpy done(app.cycle(), &PollCycle::passFinished);

        app.startUp();
        // The first pass is under way: loading text, panel shown, tray icon there, no countdown.
        QVERIFY(panel.isVisible() && app.alert()->trayIconShown());
        QCOMPARE(control<QTextBrowser>(app.monitor(), "WebBrowser1")->toPlainText(),
                 QStringLiteral("Loading...."));
        QVERIFY(!control<QTimer>(app.cycle(), "Timer13")->isActive() && app.cycle()->isRunning());
        // Where the machine has no audio output, the line says so after what it says of passes.
        const auto passLine = [&] {
            return control<QLabel>(app.monitor(), "PassLine")
                ->text()
                .section(" - the warning", 0, 0);
        };
        QCOMPARE(passLine(), QStringLiteral("Checking: 0 of 2"));
        // The panel and its dialogs answer during the pass.
        app.openSettings();
        QVERIFY(app.settingsDialog() && app.settingsDialog()->isVisible());

        QVERIFY(done.wait());
        QCOMPARE(events, (QStringList{"page", "pass", "page", "sound", "notice", "countdown"}));
        QVERIFY(control<QTextBrowser>(app.monitor(), "WebBrowser1")
                    ->toPlainText()
                    .startsWith("1 Failed Service!"));
        QCOMPARE(app.monitor()->windowTitle(), QStringLiteral("Courivane Status"));
        QVERIFY(panel.blinkTimer(QStringLiteral("Timer4"))->isActive());  // Web, red
        QVERIFY(panel.blinkTimer(QStringLiteral("Timer11"))->isActive()); // Receive, orange
        QVERIFY(!panel.blinkTimer(QStringLiteral("Timer3"))->isActive());
        QVERIFY(control<QTimer>(app.cycle(), "Timer13")->isActive() &&
                !control<QTimer>(app.cycle(), "Timer1")->isActive());
        QCOMPARE(app.cycle()->countdownCounter(), 30);
        QVERIFY2(passLine().contains(QRegularExpression(
                     "^Checked at \\d\\d:\\d\\d:\\d\\d - 2 accounts in 0\\.\\d s$")),
                 qPrintable(passLine()));
        // Who is red, where the pointer and a screen reader ask.
        QCOMPARE(app.alert()->trayState(), TrayState::Red);
        QVERIFY(app.alert()->trayToolTip().contains("Web failed: Web Down"));
        QVERIFY(panel.picture(2)->toolTip().contains("Failing: Web Down"));
        QCOMPARE(panel.label(2)->accessibleDescription(), QStringLiteral("failing, 1 company"));

        // Acknowledged: the blink stops, the lamp dims; a new failure is heard again.
        app.acknowledge();
        QVERIFY(!panel.blinkTimer(QStringLiteral("Timer4"))->isActive());
        QCOMPARE(panel.label(2)->palette().color(QPalette::Window),
                 fromWindowsColour(kCaptionDimRed));
        QVERIFY(app.alert()->trayToolTip().contains("(acknowledged)"));
        server.setReply(
            QStringLiteral("/status/warn.txt"),
            FakeMonitorServer::httpReply(FakeMonitorServer::splitStatus("1114011", time)));
        events.clear();
        // Check Now, from the tray's menu.
        const QList<QAction*> entries = app.alert()->trayMenu()->actions();
        const auto checkNow = std::find_if(entries.cbegin(), entries.cend(), [](QAction* a) {
            return a->text() == QLatin1String("Check Now");
        });
        QVERIFY(checkNow != entries.cend());
        (*checkNow)->trigger();
        QVERIFY(app.cycle()->isRunning() && !control<QTimer>(app.cycle(), "Timer13")->isActive());
        QVERIFY(done.wait());
        QVERIFY(events.contains("sound"));
        // The new failure re-lights its own lamp only: Web Down stays acknowledged and dim.
        QVERIFY(app.alerts().mark(MarkKind::Acknowledged, QStringLiteral("Web Down")));
        QCOMPARE(panel.label(2)->palette().color(QPalette::Window),
                 fromWindowsColour(kCaptionDimRed));
        QCOMPARE(panel.label(4)->palette().color(QPalette::Window), fromWindowsColour(kCaptionRed));
        QVERIFY(control<QTimer>(app.cycle(), "Timer13")->isActive());

        // Close Application asks once; "No" keeps the monitor running.
        QStringList asked;
        bool answer = false;
        setQuestionHandler([&](QWidget*, const QString& text) { return asked << text, answer; });
        app.closeApplication();
        QVERIFY(app.alert()->trayIconShown() && panel.isVisible());
        answer = true;
        app.closeApplication();
        setQuestionHandler({});
        QCOMPARE(asked.size(), 2);
        QVERIFY(!app.alert()->trayIconShown() && !panel.isVisible());
        QTRY_VERIFY(!app.settingsDialog());
    }

    // A company whose SMTP fails on every other pass, with the countdown shortened: a few
    // notices until the flapping is found, then the one that says so, and quiet after it.
    void aFlappingCompanyIsHeardAFewTimesThenOnce() {
        FakeMonitorServer server;
        QVERIFY(server.listen());
        const QByteArray time = FakeMonitorServer::now();
        const QByteArray failing =
            FakeMonitorServer::httpReply(FakeMonitorServer::splitStatus("1111011", time));
        const QByteArray fine =
            FakeMonitorServer::httpReply(FakeMonitorServer::splitStatus("1111111", time));
        const QString path = QStringLiteral("/status/flap.txt");
        server.setReply(path, failing);
        ProgramDir program;
        writeBytes(program.dir(), kOptionsFileName,
                   "YES\r\nYES\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nNO\r\n\r\n\r\n");
        writeBytes(program.dir(), kAccountsFileName,
                   "Bravo Flap\r\n" + server.address().toUtf8() + "\r\nflap\r\n");
        Program app(program.dir());
        QStringList notices;
        connect(app.alert(), &Alert::noticeShown, this,
                [&](const QString&, const QString& text) { notices << text; });
        int passes = 0;
        connect(app.cycle(), &PollCycle::passFinished, this, [&] {
            server.setReply(path, ++passes % 2 ? fine : failing);
            for (const char* timer : {"Timer1", "Timer13"})
                control<QTimer>(app.cycle(), timer)->setInterval(1);
        });
        app.startUp();
        QTRY_VERIFY_WITH_TIMEOUT(passes >= 20, 30000);
        QVERIFY2(notices.size() <= 4, qPrintable(notices.join(" | ")));
        QVERIFY(notices.first().endsWith("\r\nBravo Flap: SMTP failed"));
        QCOMPARE(notices.filter("is flapping").size(), 1);
        QCOMPARE(notices.last(), QStringLiteral("Bravo Flap: SMTP is flapping"));
        // Its row and its lamp say so; the lamp shows what the last pass saw.
        QCOMPARE(app.panel()->picture(4)->toolTip().contains("Bravo Flap (flapping)"),
                 passes % 2 == 1);
        QVERIFY(app.alerts().flapping(QStringLiteral("Bravo Flap"), SmtpLamp));
        QVERIFY(control<QTextBrowser>(app.monitor(), "WebBrowser1")
                    ->toPlainText()
                    .contains("SMTP flapping"));
    }

    // An acknowledgement made from a row's menu outlives a restart: the start-up pass does not
    // sound for what the operator already acknowledged.
    void anAcknowledgementOutlivesARestart() {
        FakeMonitorServer server;
        QVERIFY(server.listen());
        server.setReply(QStringLiteral("/status/down.txt"),
                        FakeMonitorServer::httpReply(
                            FakeMonitorServer::splitStatus("1111011", FakeMonitorServer::now())));
        ProgramDir program;
        writeBytes(program.dir(), kOptionsFileName,
                   "YES\r\nYES\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nNO\r\n\r\n\r\n");
        writeBytes(program.dir(), kAccountsFileName,
                   "Granite Works\r\n" + server.address().toUtf8() + "\r\ndown\r\n");
        const QString company = QStringLiteral("Granite Works");
        {
            Program app(program.dir());
            QSignalSpy done(app.cycle(), &PollCycle::passFinished);
            app.startUp();
            QVERIFY(done.wait());
            QTRY_VERIFY(app.alerts().hasFailures(company)); // once the kept marks are read
            emit app.monitor()->markRequested(MarkKind::Acknowledged, company);
            auto* dialog = app.monitor()->findChild<QDialog*>("AcknowledgeDialog");
            QVERIFY(dialog && dialog->isVisible());
            control<QLineEdit>(dialog, "comment")->setText("ticket 42");
            control<QComboBox>(dialog, "end")->setCurrentIndex(1); // for 1 hour
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            const AlertMark* mark = app.alerts().mark(MarkKind::Acknowledged, company);
            QVERIFY(mark && mark->comment == "ticket 42" && mark->until.isValid());
            QVERIFY(control<QTextBrowser>(app.monitor(), "WebBrowser1")
                        ->toPlainText()
                        .contains(QRegularExpression("Acknowledged \\d\\d:\\d\\d \\(SMTP\\) "
                                                     "until \\d\\d:\\d\\d: ticket 42")));
        }
        Program app(program.dir());
        QStringList heard;
        connect(app.alert(), &Alert::noticeShown, this, [&] { heard << "notice"; });
        connect(app.alert(), &Alert::soundPlayed, this, [&] { heard << "sound"; });
        QSignalSpy done(app.cycle(), &PollCycle::passFinished);
        app.startUp();
        QVERIFY(done.wait());
        QTRY_VERIFY(app.alerts().mark(MarkKind::Acknowledged, company));
        QCOMPARE(heard, QStringList());
        QCOMPARE(app.panel()->label(4)->palette().color(QPalette::Window),
                 fromWindowsColour(kCaptionDimRed));
    }
};

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"
