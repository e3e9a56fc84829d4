#pragma once

#include "config/OptionsFile.h"
#include "polling/CycleState.h"
#include "report/LampCompanies.h"
#include "report/LampRules.h"
#include "ui/PanelLayout.h"

#include <QDir>
#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>

class QLabel;
class QTimer;

namespace courivane {

class Accounts;
class Alert;
class Monitor;
class PasswordStore;
class PollCycle;
class Settings;

// The status panel: a borderless, stay-on-top strip of ten elements (settings button, eight
// lamps, status button), each as a picture and as a label. It owns the options, the poll cycle,
// the summary window and the alert for the life of the program.
class Status : public QWidget {
    Q_OBJECT
public:
    // `configDir` holds the two files; the pictures and the sound are looked for in `assetDirs`,
    // in order (by default the configuration directory, as a portable install has it).
    explicit Status(QDir configDir, QStringList assetDirs = {}, QWidget* parent = nullptr);
    ~Status() override;

    // The load event: lays the panel out, shows it and runs the first pass.
    void startUp();
    // A note for the user, shown in red above the first page.
    void addStartupNote(const QString& note) { m_startupNotes << note; }

    OptionFlags& flags() { return m_flags; }
    PollCycle* cycle() const { return m_cycle; }
    Monitor* monitor() const { return m_monitor.get(); }
    Alert* alert() const { return m_alert; }
    const PanelLayout& layout() const { return m_layout; }
    QDir programDir() const { return m_dir; }
    // Where passwords are kept: the desktop's keyring unless a test hands another store.
    PasswordStore* passwordStore() const { return m_passwords.get(); }
    void setPasswordStore(std::shared_ptr<PasswordStore> store);

    QLabel* picture(int element) const { return m_pictures.at(element); }
    QLabel* label(int element) const { return m_labels.at(element); }
    QTimer* blinkTimer(const QString& name) const;

    // Panel layout operations; the settings dialog calls the two toggles.
    void applyStartupLayout();
    void applySplit();
    void applyDisplayMode();
    void centreAtTop();

    // Both forms of a lamp in one colour.
    void setLamp(Lamp lamp, LampColour colour);
    // The end of a pass reaches the screen: lamps, blinks, sound and notice.
    void showEndOfPass(const courivane::PassResult& result);

    void openSettings();
    void openAccounts();
    void showSummary();
    // The tray icon's click: the summary window shown, or hidden when it is in view.
    void toggleSummary();
    void checkNow();
    // Silences the sound and the notices for the failures present now.
    void acknowledge();
    const Acknowledgement& acknowledgement() const { return m_ack; }
    // Removes the tray icon and ends the program.
    void closeApplication();

    Settings* settingsDialog() const;
    Accounts* accountsDialog() const;

public slots:
    // The handler of blink timer Timer3 + index.
    void blinkTick(int timerIndex);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildElements();
    void placeElements();
    void updateMask();
    void startBlink(Lamp lamp, LampColour colour);
    // Tooltips, accessible descriptions and the tray from the last pass.
    void showLampTexts();

    QDir m_dir;
    QStringList m_assetDirs;
    QStringList m_startupNotes;
    OptionFlags m_flags;
    PanelLayout m_layout;
    int m_splitFlag = 1;
    Alert* m_alert = nullptr;
    PollCycle* m_cycle = nullptr;
    std::shared_ptr<PasswordStore> m_passwords;
    std::unique_ptr<Monitor> m_monitor;
    QPointer<Settings> m_settings;
    QPointer<Accounts> m_accounts;
    std::array<QLabel*, kElementCount> m_pictures{};
    std::array<QLabel*, kElementCount> m_labels{};
    // Timer3 to Timer12, in the order of core's table of blink timers; a blink group per lamp.
    std::array<QTimer*, kBlinkTimerCount> m_blinkTimers{};
    std::array<BlinkGroup, kLampCount> m_blinkGroups{};
    // Who failed and warned in the last pass, and what the user acknowledged of it.
    LampCompanies m_companies;
    std::array<LampColour, kLampCount> m_colours{};
    Acknowledgement m_ack;
    bool m_passEnded = false;
    // Where the pointer holds the panel during a drag with a button other than the left one.
    std::optional<QPoint> m_dragOffset;
};

} // namespace courivane
