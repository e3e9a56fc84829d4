// Notices where there is no tray: they go to the desktop's notification service, over a private
// session bus that this test starts and stops.
#include "ui/Alert.h"

#include <QApplication>
#include <QDBusConnection>
#include <QIcon>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace courivane;

// The desktop's notification service, as far as a notice needs it: it records each call.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList calls;
public slots:
    uint Notify(const QString& appName, uint, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int) {
        calls << QStringList{appName, appIcon, summary, body,
                             QString::number(hints.value(QStringLiteral("urgency")).toInt())}
                     .join(u'|');
        return uint(calls.size());
    }
};

class TestNotices : public QObject {
    Q_OBJECT
private slots:
    void aNoticeWithoutATrayGoesToTheDesktop() {
        FakeNotifications service;
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
        Alert alert({});
        alert.addTrayIcon(); // the offscreen desktop has no tray
        alert.showNotice(QStringLiteral("Failed Services!\r\nSMTP:          1"));
        // Critical urgency: 2.
        QTRY_COMPARE(service.calls, QStringList{"Courivane|courivane|Courivane!|Failed "
                                                "Services!\r\nSMTP:          1|2"});
        bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    }

    // A warning sound that cannot play is said once, not on every alert, and no longer once
    // the file is there.
    void aSoundThatCannotPlayIsSaidOnce() {
        QTemporaryDir dir;
        Alert alert({dir.path()});
        QSignalSpy said(&alert, &Alert::soundProblemChanged);
        alert.checkSound();
        alert.playWarning();
        alert.playWarning();
        QCOMPARE(said.size(), 1);
        QCOMPARE(alert.soundProblem(),
                 QStringLiteral("the warning sound cannot play: warning.wav is missing"));
        QVERIFY(QFile::copy(qEnvironmentVariable("COURIVANE_BIN") + "/warning.wav",
                            dir.filePath("warning.wav")));
        alert.checkSound();
        QVERIFY(!alert.soundProblem().contains("missing"));
    }
};

int main(int argc, char* argv[]) {
    // A bus of its own, in place before anything in the process looks for one.
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address"});
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
