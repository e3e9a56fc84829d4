// Notices where there is no tray: they go to the desktop's notification service, over a private
// session bus that this test starts and stops.
#include "ui/Alert.h"

#include "FakeNotifications.h"

#include <QApplication>
#include <QDBusConnection>
#include <QIcon>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>

using namespace courivane;
using namespace courivane::testing;

class TestNotices : public QObject {
    Q_OBJECT
private slots:
    void aNoticeWithoutATrayGoesToTheDesktop() {
        FakeNotifications service;
        QVERIFY(service.registerOn(QDBusConnection::sessionBus()));
        Alert alert({});
        alert.addTrayIcon(QIcon()); // the offscreen desktop has no tray
        alert.showNotice(QStringLiteral("Failed Services!\\r\\nSMTP:          1"));
        QTRY_COMPARE(service.calls().size(), 1);
        const FakeNotifications::Call call = service.calls().first();
        QCOMPARE(call.summary, QStringLiteral("Courivane!"));
        QCOMPARE(call.body, QStringLiteral("Failed Services!\\r\\nSMTP:          1"));
        QCOMPARE(call.appName, QStringLiteral("Courivane"));
        QCOMPARE(call.appIcon, QStringLiteral("courivane"));
        QCOMPARE(call.hints.value(QStringLiteral("urgency")).toInt(), 2); // critical
        service.unregister();
    }

    void withoutAServiceNothingHappens() {
        Alert alert({});
        QSignalSpy shown(&alert, &Alert::noticeShown);
        alert.showNotice(QStringLiteral("Failed Services!"));
        QCOMPARE(shown.size(), 1); // asked for, and skipped quietly
    }
};

int main(int argc, char* argv[]) {
    // A bus of its own, in place before anything in the process looks for one.
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--nofork"),
               QStringLiteral("--print-address")});
    if (!bus.waitForStarted(5000) || !bus.waitForReadyRead(5000)) {
        std::fprintf(stderr, "dbus-daemon did not start\n");
        return 1;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
    int status = 0;
    {
        QApplication app(argc, argv);
        TestNotices test;
        status = QTest::qExec(&test, argc, argv);
    }
    bus.kill();
    bus.waitForFinished(5000);
    return status;
}

#include "tst_notices.moc"
