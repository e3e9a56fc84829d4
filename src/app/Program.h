#pragma once

#include "config/OptionsFile.h"
#include "polling/CycleState.h"
#include "report/LampCompanies.h"

#include <QDir>
#include <QObject>
#include <QPointer>

#include <array>
#include <memory>
#include <optional>

namespace courivane {

class Accounts;
class Alert;
class HistoryRecorder;
class HistoryWindow;
class Monitor;
class PasswordStore;
class PollCycle;
class Settings;
class Status;

// The running monitor: creates the poll cycle, the panel, the summary window, the alert and the
// dialogs, and wires them. The decisions are core's; each window shows what it is handed.
class Program : public QObject {
    Q_OBJECT
public:
    // `configDir` holds the two files; the pictures and the sound are looked for in `assetDirs`,
    // in order (by default the configuration directory, as a portable install has it).
    explicit Program(QDir configDir, QStringList assetDirs = {}, QObject* parent = nullptr);
    ~Program() override;

    // The load event: reads the options, lays the panel out, shows it and runs the first pass.
    void startUp();
    // A note for the user, shown in red above the first page.
    void addStartupNote(const QString& note) { m_startupNotes << note; }
    // How many days of history start-up opens the store with; 0: none.
    void setHistoryDays(int days) { m_historyDays = days; }
    HistoryRecorder* history() const { return m_history; }

    Status* panel() const { return m_panel.get(); }
    PollCycle* cycle() const { return m_cycle; }
    Monitor* monitor() const { return m_monitor.get(); }
    Alert* alert() const { return m_alert; }
    Settings* settingsDialog() const;
    Accounts* accountsDialog() const;
    // Where passwords are kept: the desktop's keyring unless a test hands another store.
    void setPasswordStore(std::shared_ptr<PasswordStore> store);

    void openSettings();
    void openAccounts();
    void showSummary();
    // The tray icon's click: the summary window shown, or hidden when it is in view.
    void toggleSummary();
    void checkNow();
    // Silences the sound and the notices for the failures present now.
    void acknowledge();
    const Acknowledgement& acknowledgement() const { return m_ack; }
    // Removes the tray icon, closes every window and ends the program.
    void closeApplication();

private:
    // The end of a pass reaches the screen: page, lamps, blinks, tray, sound and notice.
    void showEndOfPass(const courivane::PassResult& result);
    // A live box of the settings dialog moved.
    void applyOption(OptionLine line, bool on);
    void trust(const QByteArray& pem, const QString& server);
    void showTray();
    // The page of the last pass, its rows annotated from the history.
    void showPage();

    QDir m_dir;
    QStringList m_startupNotes;
    std::unique_ptr<Status> m_panel;
    std::unique_ptr<Monitor> m_monitor;
    Alert* m_alert = nullptr;
    PollCycle* m_cycle = nullptr;
    std::shared_ptr<PasswordStore> m_passwords;
    QPointer<Settings> m_settings;
    QPointer<Accounts> m_accounts;
    // Who failed and warned in the last pass, and what the user acknowledged of it.
    LampCompanies m_companies;
    std::array<LampColour, kLampCount> m_colours{};
    Acknowledgement m_ack;
    bool m_passEnded = false;
    int m_historyDays = 31;
    HistoryRecorder* m_history = nullptr;
    // The last pass shown, for its page once the history says since when its rows' trouble
    // lasts.
    std::optional<PassResult> m_lastPass;
    // When the summary window was last put away.
    QDateTime m_awaySince;
    QList<QPointer<HistoryWindow>> m_historyWindows;
};

} // namespace courivane
