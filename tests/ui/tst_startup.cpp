#include "ui/Status.h"

#include "FakeMonitorServer.h"
#include "ProgramDir.h"
#include "TestFiles.h"
#include "polling/PollCycle.h"
#include "ui/Alert.h"
#include "ui/Monitor.h"
#include "ui/Settings.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

using namespace courivane;
using namespace courivane::testing;

namespace {
QByteArray status(const char* fields) {
    return FakeMonitorServer::httpReply(
        FakeMonitorServer::splitStatus(fields, "2026-07-01 12:00:00"));
}
} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private:
    FakeMonitorServer m_server;

private slots:
    void initTestCase() {
        QVERIFY(m_server.listen());
        // ICMP, Web, POP3, Receive, SMTP, Ryl, Send; the first answers late, so the pass lasts.
        m_server.setScript(QStringLiteral("/status/web.txt"),
                           {Script::Mode::Delayed, status("1011111"), 1, 150});
        m_server.setReply(QStringLiteral("/status/warn.txt"), status("1114111"));
    }

    void runsInOrder() {
        ProgramDir program;
        writeBytes(program.dir(), kOptionsFileName,
                   "YES\r\nYES\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nNO\r\n\r\n\r\n");
        const QByteArray server = m_server.address().toUtf8();
        writeBytes(program.dir(), kAccountsFileName,
                   "Web Down\r\n" + server + "\r\nweb\r\nWarned\r\n" + server + "\r\nwarn\r\n");
        Status panel(program.dir());
        QStringList events;
        connect(panel.cycle(), &PollCycle::passStarted, this,
                [&] { events << QStringLiteral("pass"); });
        connect(panel.monitor()->WebBrowser1, &QTextEdit::textChanged, this, [&] {
            if (!panel.monitor()->WebBrowser1->toPlainText().startsWith(QLatin1String("Loading")))
                events << QStringLiteral("page");
        });
        connect(panel.alert(), &Alert::soundPlayed, this,
                [&] { events << QStringLiteral("sound"); });
        connect(panel.alert(), &Alert::noticeShown, this,
                [&] { events << QStringLiteral("notice"); });
        connect(panel.cycle(), &PollCycle::countdownChanged, this,
                [&] { events << QStringLiteral("countdown"); });
        QSignalSpy done(panel.cycle(), &PollCycle::passFinished);

        panel.startUp();
        // The first pass is under way: loading text, panel shown, tray icon there, no countdown.
        QVERIFY(panel.isVisible());
        QVERIFY(panel.alert()->trayIconShown());
        QVERIFY(!panel.monitor()->isVisible());
        QCOMPARE(panel.monitor()->WebBrowser1->toPlainText(), QStringLiteral("Loading...."));
        QVERIFY(!panel.cycle()->Timer13->isActive());
        QVERIFY(panel.cycle()->isRunning());
        // The panel and its dialogs answer during the pass.
        panel.openSettings();
        QVERIFY(panel.settingsDialog() && panel.settingsDialog()->isVisible());

        QVERIFY(done.wait());
        QCOMPARE(events, (QStringList{"pass", "page", "sound", "notice", "countdown"}));
        QVERIFY(panel.monitor()->WebBrowser1->toPlainText().startsWith(
            QStringLiteral("1 Failed Service!")));
        QCOMPARE(panel.monitor()->windowTitle(), QStringLiteral("Courivane Status"));
        QVERIFY(panel.blinkTimer(QStringLiteral("Timer4"))->isActive());  // Web, red
        QVERIFY(panel.blinkTimer(QStringLiteral("Timer11"))->isActive()); // Receive, orange
        QVERIFY(!panel.blinkTimer(QStringLiteral("Timer3"))->isActive());
        QVERIFY(panel.cycle()->Timer13->isActive());
        QVERIFY(!panel.cycle()->Timer1->isActive());
        QCOMPARE(panel.monitor()->Label1->text(), QStringLiteral("30"));

        panel.closeApplication();
        QVERIFY(!panel.alert()->trayIconShown());
        QVERIFY(!panel.isVisible());
        QTRY_VERIFY(!panel.settingsDialog());
    }

    void missingFilesAreShownNotGreen() {
        ProgramDir program;
        Status panel(program.dir());
        QSignalSpy done(panel.cycle(), &PollCycle::passFinished);
        panel.startUp();
        QVERIFY(done.size() == 1 || done.wait());
        const QString page = panel.monitor()->WebBrowser1->toPlainText();
        QVERIFY(page.contains(QStringLiteral("Proxy.Txt not found")));
        QVERIFY(page.contains(QStringLiteral("CompUserNames.Txt not found")));
        QCOMPARE(panel.label(ConnectionLamp + 1)->palette().color(QPalette::Window),
                 QColor(255, 0, 0));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
