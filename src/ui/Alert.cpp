#include "ui/Alert.h"

#include "ui/Assets.h"

#include "report/LampRules.h"
#include "report/NoticeText.h"

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
    // Where the desktop shows no notices, the notice is skipped quietly.
    if (m_tray && QSystemTrayIcon::supportsMessages())
        m_tray->showMessage(kNoticeTitle, text, QSystemTrayIcon::Critical);
    emit noticeShown(kNoticeTitle, text);
}

} // namespace courivane
