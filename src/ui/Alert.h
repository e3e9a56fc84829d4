#pragma once

#include <QDir>
#include <QObject>
#include <QString>
#include <QStringList>

class QIcon;
class QMenu;
class QSoundEffect;
class QSystemTrayIcon;

namespace courivane {

struct AlertDecision;
enum class TrayState;

inline const QString kWarningSound = QStringLiteral("warning.wav");
inline const QString kNotificationService = QStringLiteral("org.freedesktop.Notifications");

// The tray icon and the warning sound. Each effect is also announced by a signal, so that a test
// sees exactly what was asked for.
class Alert : public QObject {
    Q_OBJECT
public:
    // The warning sound is looked for in `assetDirs`, in order.
    explicit Alert(QStringList assetDirs, QObject* parent = nullptr);
    ~Alert() override;

    // The tray icon, grey until the first pass ends, with its menu.
    void addTrayIcon();
    void removeTrayIcon();
    bool trayIconShown() const;
    // The worst state in the icon and the tooltip's lines, shown as text.
    void setTrayState(TrayState state, const QStringList& tooltipLines);
    TrayState trayState() const { return m_state; }
    QString trayToolTip() const;
    QMenu* trayMenu() const { return m_menu; }

    // The sound and the notice the end of a pass asked for.
    void raise(const AlertDecision& decision);
    void playWarning();
    void showNotice(const QString& text);
    // Why the warning sound cannot play (no audio output, the file missing, unreadable or not
    // playable); empty while nothing is known against it. Looked at without playing.
    void checkSound();
    const QString& soundProblem() const { return m_soundProblem; }

signals:
    // A left click on the tray icon, and the entries of its menu.
    void trayClicked();
    void showSummaryRequested();
    void checkNowRequested();
    void acknowledgeRequested();
    void settingsRequested();
    void closeApplicationRequested();

    void soundPlayed(const QString& path);
    // The sound's problem changed: said once, not on every alert.
    void soundProblemChanged(const QString& problem);
    void noticeShown(const QString& title, const QString& text);

private:
    void sendDesktopNotice(const QString& text);
    // The warning sound's path when it can be played; otherwise empty, and the problem said.
    QString playableSound();
    void setSoundProblem(const QString& problem);

    QStringList m_assetDirs;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_menu = nullptr;
    TrayState m_state;
    QSoundEffect* m_sound = nullptr;
    QString m_soundProblem;
};

} // namespace courivane
