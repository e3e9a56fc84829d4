#include "ui/Alert.h"

#include "ui/Assets.h"

#include "report/LampRules.h"
#include "report/NoticeText.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QIcon>
#include <QSoundEffect>
#include <QSystemTrayIcon>
#include <QUrl>

namespace courivane {

Alert::Alert(QStringList assetDirs, QObject* parent)
    : QObject(parent), m_assetDirs(std::move(assetDirs)) {}

Alert::~Alert() {
    removeTrayIcon();
}

void Alert::addTrayIcon(const QIcon& icon) {
    if (m_tray)
        return;
    m_tray = new QSystemTrayIcon(icon, this);
    m_tray->setToolTip(kTrayTip);
    m_tray->show();
}

void Alert::removeTrayIcon() {
    if (!m_tray)
        return;
    m_tray->hide();
    delete m_tray;
    m_tray = nullptr;
}

bool Alert::trayIconShown() const {
    return m_tray && m_tray->isVisible();
}

void Alert::raise(const EndOfPass& end) {
    if (end.playSound)
        playWarning();
    if (end.showNotice)
        showNotice(end.noticeText);
}

void Alert::playWarning() {
    const QString path = assetPath(m_assetDirs, kWarningSound);
    // No fallback sound: a missing file plays nothing at all.
    if (!QFileInfo(path).isFile())
        return;
    if (!m_sound)
        m_sound = new QSoundEffect(this);
    m_sound->setSource(QUrl::fromLocalFile(path));
    m_sound->play();
    emit soundPlayed(path);
}

void Alert::showNotice(const QString& text) {
    if (m_tray && QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages())
        m_tray->showMessage(kNoticeTitle, text, QSystemTrayIcon::Critical);
    else
        sendDesktopNotice(text);
    emit noticeShown(kNoticeTitle, text);
}

void Alert::sendDesktopNotice(const QString& text) {
    // No tray that shows messages (GNOME has none by default): the desktop's notification
    // service gets the same notice. Where there is none either, it is skipped quietly.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(kNotificationService).value())
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        kNotificationService, QStringLiteral("/org/freedesktop/Notifications"),
        kNotificationService, QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("urgency"), QVariant::fromValue(uchar(2))},
        {QStringLiteral("desktop-entry"), QStringLiteral("org.courivane.Courivane")}};
    notify << kTrayTip << uint(0) << QStringLiteral("courivane") << kNoticeTitle << text
           << QStringList() << hints << int(-1);
    bus.send(notify);
}

} // namespace courivane
