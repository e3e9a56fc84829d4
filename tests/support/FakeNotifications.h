#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace courivane::testing {

// The desktop's notification service, as far as a notice needs it: it records each Notify call.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString appName;
        QString appIcon;
        QString summary;
        QString body;
        QVariantMap hints;
    };

    // Takes the service name on the bus; false when that fails.
    bool registerOn(QDBusConnection bus);
    void unregister();
    QList<Call> calls() const { return m_calls; }

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout);

private:
    QList<Call> m_calls;
    QString m_connection;
};

} // namespace courivane::testing
