#pragma once

#include <QDir>
#include <QObject>
#include <QString>
#include <QStringList>

class QIcon;
class QSoundEffect;
class QSystemTrayIcon;

namespace courivane {

struct EndOfPass;

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

    void addTrayIcon(const QIcon& icon);
    void removeTrayIcon();
    bool trayIconShown() const;

    // The sound and the notice the end of a pass asked for.
    void raise(const EndOfPass& end);
    void playWarning();
    void showNotice(const QString& text);

signals:
    void soundPlayed(const QString& path);
    void noticeShown(const QString& title, const QString& text);

private:
    void sendDesktopNotice(const QString& text);

    QStringList m_assetDirs;
    QSystemTrayIcon* m_tray = nullptr;
    QSoundEffect* m_sound = nullptr;
};

} // namespace courivane
