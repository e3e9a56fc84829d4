#pragma once

#include "config/OptionsFile.h"
#include "polling/CycleState.h"
#include "report/AlertRules.h"
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
    // Acknowledges every company's failures present now, as the tray's Acknowledge does.
    void acknowledge();
    // Acknowledges or snoozes a company, or ends that by hand.
    void mark(MarkKind kind, const QString& company, const QString& comment,
              const QDateTime& until);
    void endMark(MarkKind kind, const QString& company);
    const AlertBook& alerts() const { return m_alerts; }
    // Minutes between reminders of failures nobody acknowledged; 0: none.
    void setReminder(int minutes);
    // Asks once, then ends the program as `end` does.
    void closeApplication();
    // Removes the tray icon, closes every window and ends the program, without asking.
    void end();

private:
    // The history's recorder on its own thread, and what the windows and the alerts take from it.
    void startHistory();
    // The end of a pass reaches the screen: page, lamps, blinks, tray, sound and notice.
    void showEndOfPass(const courivane::PassResult& result);
    // A live box of the settings dialog moved.
    void applyOption(OptionLine line, bool on);
    void trust(const QByteArray& pem, const QString& server);
    // The tray, and the panel's lamps or only their texts, as core's view of the last pass has
    // them; blinks start only when the alert rules chose them.
    enum class Shown { Tray, Texts, Lamps };
    void showView(Shown shown, const QList<Blink>& blinks = {});
    // The page of the last pass, its rows annotated from the history and the alerts.
    void showPage();
    // The alerts of the last pass: what is heard, what flaps, what the marks silence.
    void decideAlerts();
    // The lamps, the tray and the page as the alerts now stand, after a mark changed.
    void showMarks();
    void updateMarkedCompanies();
    void askMark(MarkKind kind, const QString& company);

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
    AlertBook m_alerts;
    std::array<bool, kLampCount> m_dimmed{};
    int m_remindMinutes = 0;
    // The start-up pass's alert waits for the marks the history kept.
    bool m_marksKnown = false;
    bool m_alertWaiting = false;
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
