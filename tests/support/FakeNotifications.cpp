#include "FakeNotifications.h"

namespace courivane::testing {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
} // namespace

bool FakeNotifications::registerOn(QDBusConnection bus) {
    m_connection = bus.name();
    return bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots) &&
           bus.registerService(kService);
}

void FakeNotifications::unregister() {
    QDBusConnection bus(m_connection);
    bus.unregisterService(kService);
    bus.unregisterObject(kPath);
}

uint FakeNotifications::Notify(const QString& appName, uint, const QString& appIcon,
                               const QString& summary, const QString& body, const QStringList&,
                               const QVariantMap& hints, int) {
    m_calls.append({appName, appIcon, summary, body, hints});
    return static_cast<uint>(m_calls.size());
}

} // namespace courivane::testing
