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

struct EndOfPass;
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
    void raise(const EndOfPass& end);
    void playWarning();
    void showNotice(const QString& text);

signals:
    // A left click on the tray icon, and the entries of its menu.
    void trayClicked();
    void showSummaryRequested();
    void checkNowRequested();
    void acknowledgeRequested();
    void settingsRequested();
    void closeApplicationRequested();

    void soundPlayed(const QString& path);
    void noticeShown(const QString& title, const QString& text);

private:
    void sendDesktopNotice(const QString& text);

    QStringList m_assetDirs;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_menu = nullptr;
    TrayState m_state;
    QSoundEffect* m_sound = nullptr;
};

} // namespace courivane
