#include "ui/Alert.h"

#include "artwork/Artwork.h"
#include "ui/Assets.h"

#include "report/AlertRules.h"
#include "report/LampCompanies.h"
#include "report/LampRules.h"
#include "report/NoticeText.h"

#include <QAudioDevice>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QIcon>
#include <QMediaDevices>
#include <QMenu>
#include <QSoundEffect>
#include <QSystemTrayIcon>
#include <QUrl>

namespace courivane {

namespace {

QIcon trayIconOf(TrayState state) {
    QColor colour(150, 150, 150); // no pass has ended yet
    switch (state) {
    case TrayState::Green:
        colour = fromWindowsColour(kCaptionGreen);
        break;
    case TrayState::Orange:
        colour = fromWindowsColour(kCaptionOrange);
        break;
    case TrayState::Red:
        colour = fromWindowsColour(kCaptionRed);
        break;
    case TrayState::Waiting:
        break;
    }
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48})
        icon.addPixmap(QPixmap::fromImage(trayImage(colour, size)));
    return icon;
}

} // namespace

Alert::Alert(QStringList assetDirs, QObject* parent)
    : QObject(parent), m_assetDirs(std::move(assetDirs)), m_state(TrayState::Waiting) {}

Alert::~Alert() {
    removeTrayIcon();
}

void Alert::addTrayIcon() {
    if (m_tray)
        return;
    m_tray = new QSystemTrayIcon(trayIconOf(m_state), this);
    m_tray->setToolTip(kTrayTip);
    m_menu = new QMenu;
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    m_menu->addAction(QStringLiteral("Show Summary"), this, &Alert::showSummaryRequested);
    m_menu->addAction(QStringLiteral("Check Now"), this, &Alert::checkNowRequested);
    m_menu->addAction(QStringLiteral("Acknowledge"), this, &Alert::acknowledgeRequested);
    m_menu->addAction(QStringLiteral("Settings"), this, &Alert::settingsRequested);
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Close Application"), this, &Alert::closeApplicationRequested);
    m_tray->setContextMenu(m_menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger)
            emit trayClicked();
    });
    setTrayState(m_state, trayTooltipLines(m_state, {}, false));
    m_tray->show();
}

void Alert::removeTrayIcon() {
    if (!m_tray)
        return;
    m_tray->hide();
    delete m_tray;
    m_tray = nullptr;
    delete m_menu;
    m_menu = nullptr;
}

void Alert::setTrayState(TrayState state, const QStringList& tooltipLines) {
    const bool changed = state != m_state;
    m_state = state;
    if (!m_tray)
        return;
    if (changed)
        m_tray->setIcon(trayIconOf(state));
    m_tray->setToolTip(tooltipText(tooltipLines));
}

QString Alert::trayToolTip() const {
    return m_tray ? m_tray->toolTip() : QString();
}

bool Alert::trayIconShown() const {
    return m_tray && m_tray->isVisible();
}

void Alert::raise(const AlertDecision& decision) {
    if (decision.playSound)
        playWarning();
    if (decision.showNotice)
        showNotice(decision.noticeText);
}

void Alert::setSoundProblem(const QString& problem) {
    if (problem == m_soundProblem)
        return;
    m_soundProblem = problem;
    emit soundProblemChanged(problem);
}

QString Alert::playableSound() {
    const QString path = assetPath(m_assetDirs, kWarningSound);
    const QFileInfo file(path);
    if (!file.isFile()) {
        setSoundProblem(
            QStringLiteral("the warning sound cannot play: %1 is missing").arg(kWarningSound));
        return {};
    }
    if (!file.isReadable()) {
        setSoundProblem(QStringLiteral("the warning sound cannot play: %1 cannot be read")
                            .arg(file.absoluteFilePath()));
        return {};
    }
    // Asked for all the same: a device may come back, and the request is what a test sees.
    if (QMediaDevices::audioOutputs().isEmpty()) {
        setSoundProblem(QStringLiteral("the warning sound cannot play: no audio output device"));
        return path;
    }
    // A file that did not load says so once, not again until it has played.
    if (m_sound && m_sound->status() == QSoundEffect::Error &&
        m_sound->source() == QUrl::fromLocalFile(path))
        return path;
    setSoundProblem({});
    return path;
}

void Alert::checkSound() {
    playableSound();
}

void Alert::playWarning() {
    // No fallback sound: a file that cannot play plays nothing at all.
    const QString path = playableSound();
    if (path.isEmpty())
        return;
    if (!m_sound) {
        m_sound = new QSoundEffect(this);
        connect(m_sound, &QSoundEffect::statusChanged, this, [this] {
            if (m_sound->status() == QSoundEffect::Error)
                setSoundProblem(QStringLiteral("the warning sound cannot play: %1 is no sound "
                                               "this system can play")
                                    .arg(kWarningSound));
        });
    }
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
    // A notification service may read the body as markup: names reach it as text.
    QString body = text;
    body.replace(u'&', QStringLiteral("&amp;"))
        .replace(u'<', QStringLiteral("&lt;"))
        .replace(u'>', QStringLiteral("&gt;"));
    notify << kTrayTip << uint(0) << QStringLiteral("courivane") << kNoticeTitle << body
           << QStringList() << hints << int(-1);
    bus.send(notify);
}

} // namespace courivane
