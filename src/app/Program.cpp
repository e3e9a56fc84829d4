#include "app/Program.h"

#include "config/AlertsFile.h"
#include "history/HistoryRecorder.h"
#include "polling/FetchSecurity.h"
#include "polling/PollCycle.h"
#include "report/SummaryPage.h"
#include "ui/Accounts.h"
#include "ui/Alert.h"
#include "ui/HistoryWindow.h"
#include "ui/KeyringPasswords.h"
#include "ui/MarkDialog.h"
#include "ui/MessageBox.h"
#include "ui/Monitor.h"
#include "ui/Settings.h"
#include "ui/Status.h"
#include "ui/X11Desktop.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QWindow>

namespace courivane {

namespace {

// How the operator last left the summary window's rows, beside the configuration.
const QString kViewFileName = QStringLiteral("View.ini");

// One dialog of each kind: asked for again, the open one comes forward.
bool broughtForward(QWidget* dialog) {
    if (!dialog)
        return false;
    dialog->raise();
    dialog->activateWindow();
    return true;
}

} // namespace

Program::Program(QDir configDir, QStringList assetDirs, QObject* parent)
    : QObject(parent), m_dir(std::move(configDir)) {
    if (assetDirs.isEmpty())
        assetDirs = QStringList{m_dir.path()};
    m_panel = std::make_unique<Status>(assetDirs);
    m_monitor = std::make_unique<Monitor>();
    m_alert = new Alert(assetDirs, this);
    m_cycle = new PollCycle(m_dir, Options(), this);
    setPasswordStore(std::make_shared<KeyringPasswords>());
    m_colours.fill(LampColour::White);

    connect(m_cycle, &PollCycle::titleChanged, m_monitor.get(), &Monitor::setTitle);
    connect(m_cycle, &PollCycle::passFinished, this, &Program::showEndOfPass);
    connect(m_cycle, &PollCycle::statusLineChanged, m_monitor.get(),
            [this](const StatusLine& line) {
                // The line under the page also says when history is off or paused, or the
                // sound cannot play, and why.
                QStringList parts{line.text};
                if (m_history && !m_history->problem().isEmpty())
                    parts << m_history->problem();
                if (!m_alert->soundProblem().isEmpty())
                    parts << m_alert->soundProblem();
                m_monitor->setPassLine(parts.join(QStringLiteral(" - ")), line.late);
            });
    connect(m_cycle, &PollCycle::optionsRead, this, [this](const Options& options) {
        m_panel->setMoveable(options.moveable);
        if (m_settings)
            m_settings->showLive();
    });
    connect(m_panel.get(), &Status::settingsRequested, this, &Program::openSettings);
    connect(m_panel.get(), &Status::summaryRequested, this, &Program::showSummary);
    connect(m_monitor.get(), &Monitor::checkNowRequested, this, &Program::checkNow);
    connect(m_monitor.get(), &Monitor::accountsRequested, this, &Program::openAccounts);
    connect(m_monitor.get(), &Monitor::trustRequested, this, &Program::trust);
    // The order of the summary's rows is the operator's, kept between passes and restarts.
    connect(m_monitor.get(), &Monitor::rowOrderChanged, this, [this](const RowOrder& order) {
        QSettings view(m_dir.filePath(kViewFileName), QSettings::IniFormat);
        view.setValue(QStringLiteral("rows/order"), order.text());
    });
    connect(m_alert, &Alert::trayClicked, this, &Program::toggleSummary);
    connect(m_alert, &Alert::showSummaryRequested, this, &Program::showSummary);
    connect(m_alert, &Alert::checkNowRequested, this, &Program::checkNow);
    connect(m_alert, &Alert::acknowledgeRequested, this, &Program::acknowledge);
    connect(m_alert, &Alert::settingsRequested, this, &Program::openSettings);
    connect(m_alert, &Alert::closeApplicationRequested, this, &Program::closeApplication);
    connect(m_monitor.get(), &Monitor::markRequested, this, &Program::askMark);
    connect(m_monitor.get(), &Monitor::markEndRequested, this, &Program::endMark);
    // Why the sound cannot play is said where the operator looks, once.
    connect(m_alert, &Alert::soundProblemChanged, this, [this](const QString& problem) {
        if (m_settings)
            m_settings->setSoundProblem(problem);
        m_cycle->announceStatus();
    });
}

Program::~Program() {
    // The dialogs are windows of their own (so that the panel stays above them).
    delete m_settings;
    delete m_accounts;
    for (const QPointer<HistoryWindow>& window : std::as_const(m_historyWindows))
        delete window;
}

Settings* Program::settingsDialog() const {
    return m_settings;
}

Accounts* Program::accountsDialog() const {
    return m_accounts;
}

void Program::setPasswordStore(std::shared_ptr<PasswordStore> store) {
    m_passwords = std::move(store);
    m_cycle->setPasswordStore(m_passwords.get());
}

void Program::startHistory() {
    m_history = new HistoryRecorder(m_dir.filePath(kHistoryFileName), m_historyDays, this);
    // What failed and cleared while the summary window was put away is said when it is back.
    connect(m_monitor.get(), &Monitor::hidden, this,
            [this] { m_awaySince = QDateTime::currentDateTimeUtc(); });
    connect(m_history, &HistoryRecorder::cleared, this,
            [this](const QList<Outage>& outages, const QDateTime& since) {
                if (!m_monitor->isVisible())
                    return;
                const QDateTime now = QDateTime::currentDateTimeUtc();
                QStringList all;
                for (const Outage& o : outages)
                    all << outageText(o, now);
                m_monitor->setAwayLine(whileAwayText(outages, since, now), all);
            });
    connect(m_monitor.get(), &Monitor::historyRequested, m_history, &HistoryRecorder::askCompany);
    connect(m_history, &HistoryRecorder::companyHistory, this,
            [this](const CompanyHistory& history) {
                auto* window = new HistoryWindow(history);
                m_historyWindows << window;
                window->show();
            });
    connect(m_history, &HistoryRecorder::marksLoaded, this, [this](const QList<AlertMark>& marks) {
        m_alerts.load(marks);
        m_marksKnown = true;
        if (m_alertWaiting)
            decideAlerts();
        else
            showMarks();
    });
    connect(m_history, &HistoryRecorder::updated, this, [this] {
        if (m_lastPass)
            showPage();
        m_cycle->announceStatus();
    });
}

void Program::startUp() {
    m_alert->addTrayIcon();
    m_remindMinutes = readRemindMinutes(m_dir);
    m_monitor->setRowOrder(
        RowOrder::fromText(QSettings(m_dir.filePath(kViewFileName), QSettings::IniFormat)
                               .value(QStringLiteral("rows/order"))
                               .toString()));
    m_monitor->showPage(PassPage::ofText(SummaryPage::kLoadingText));
    startHistory();
    Options options;
    const QStringList problems = m_startupNotes + OptionsFile(m_dir).readStartup(options);
    m_cycle->setOptions(options);
    m_panel->setMoveable(options.moveable);
    m_panel->applyStartupLayout(options);
    showView(Shown::Tray);
    // A strip that watches everything is seen from every virtual desktop.
    x11::showOnAllDesktops(m_panel->windowHandle());
    m_panel->show();
    x11::showOnAllDesktops(m_panel->windowHandle());
    if (options.sound)
        m_alert->checkSound();
    // With no history there are no kept marks to wait for.
    if (m_historyDays <= 0)
        m_marksKnown = true;
    m_cycle->runStartupPass(problems);
    // A first start without accounts says so at once, with the way to add them.
    if (!QFileInfo::exists(AccountsFile(m_dir).path()))
        showSummary();
}

void Program::showEndOfPass(const PassResult& result) {
    m_companies = lampCompanies(result.rows);
    m_colours = result.end.colours;
    m_passEnded = true;
    // What changed is remembered on the history's own thread; the rows say since when their
    // trouble lasts as far as the history has answered, and again once it has this pass.
    m_lastPass = result;
    if (m_history)
        m_history->record(result.rows, result.endedAt.addMSecs(-result.durationMs), result.endedAt);
    if (m_marksKnown) {
        decideAlerts();
        return;
    }
    // Not heard before it is known whether the operator acknowledged or snoozed it.
    m_alertWaiting = true;
    showPage();
    showView(Shown::Lamps);
}

void Program::decideAlerts() {
    m_alertWaiting = false;
    const PassResult& result = *m_lastPass;
    const Options& options = m_cycle->options();
    const AlertDecision decision =
        m_alerts.endOfPass(result.end, result.counters, m_companies.failures, result.endedAt,
                           {options.sound, options.popups, result.web, m_remindMinutes});
    if (m_history)
        for (const AlertMark& ended : decision.ended)
            m_history->saveMark(ended);
    m_dimmed = decision.dimmed;
    m_alerts.annotate(m_companies, result.endedAt);
    showPage();
    showView(Shown::Lamps, decision.blinks);
    m_alert->raise(decision);
    updateMarkedCompanies();
}

void Program::showMarks() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    m_dimmed = m_alerts.dimmed(now);
    m_alerts.annotate(m_companies, now);
    showView(Shown::Lamps);
    if (m_lastPass)
        showPage();
    updateMarkedCompanies();
}

void Program::updateMarkedCompanies() {
    Monitor::MarkedCompanies marked;
    marked.failing = m_alerts.failingLamps();
    for (const AlertMark& m : m_alerts.marks())
        (m.kind == MarkKind::Snoozed ? marked.snoozed : marked.acknowledged).insert(m.company);
    m_monitor->setMarkedCompanies(std::move(marked));
}

void Program::showPage() {
    // Annotated where it is kept: each page says afresh what the history and the alerts say.
    PassResult& shown = *m_lastPass;
    if (m_history)
        m_history->annotate(shown.rows);
    m_alerts.annotate(shown.rows, QDateTime::currentDateTimeUtc());
    // The tooltips name since when, too, once the history has said it.
    if (m_history && !m_history->since().isEmpty()) {
        m_companies.since = m_history->companySince();
        m_companies.at = shown.endedAt;
        showView(Shown::Texts);
    }
    PassPage page = pageOf(shown, shown.rows.isEmpty());
    page.setShownAt(shown.endedAt);
    m_monitor->showPage(std::move(page));
}

void Program::showView(Shown shown, const QList<Blink>& blinks) {
    const PassView view = passView(m_colours, blinks, m_companies, m_dimmed, m_passEnded);
    if (shown == Shown::Lamps)
        m_panel->showView(view);
    else if (shown == Shown::Texts)
        m_panel->showTexts(view);
    m_alert->setTrayState(view.tray, view.trayLines);
}

void Program::acknowledge() {
    const QList<AlertMark> marks = m_alerts.acknowledgeAll(QDateTime::currentDateTimeUtc());
    if (m_history)
        for (const AlertMark& m : marks)
            m_history->saveMark(m);
    showMarks();
}

void Program::mark(MarkKind kind, const QString& company, const QString& comment,
                   const QDateTime& until) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const std::optional<AlertMark> made = kind == MarkKind::Snoozed
                                              ? m_alerts.snooze(company, until, comment, now)
                                              : m_alerts.acknowledge(company, comment, until, now);
    if (made && m_history)
        m_history->saveMark(*made);
    showMarks();
}

void Program::endMark(MarkKind kind, const QString& company) {
    const std::optional<AlertMark> ended =
        m_alerts.end(kind, company, QDateTime::currentDateTimeUtc());
    if (ended && m_history)
        m_history->saveMark(*ended);
    showMarks();
}

void Program::askMark(MarkKind kind, const QString& company) {
    QStringList about;
    for (const Failure& f : std::as_const(m_companies.failures))
        if (f.company == company)
            about << failureText(f);
    auto* dialog =
        new MarkDialog(kind, company, about, QDateTime::currentDateTimeUtc(), m_monitor.get());
    connect(dialog, &MarkDialog::chosen, this, &Program::mark);
    dialog->open();
}

void Program::setReminder(int minutes) {
    m_remindMinutes = minutes;
    if (const QString error = writeRemindMinutes(m_dir, minutes); !error.isEmpty())
        showMessage(m_settings ? static_cast<QWidget*>(m_settings) : m_monitor.get(),
                    QStringLiteral("%1 could not be saved: %2")
                        .arg(m_dir.filePath(kAlertsFileName), error));
}

void Program::applyOption(OptionLine line, bool on) {
    Options options = m_cycle->options();
    options.*optionRow(line)->member = on;
    m_cycle->setOptions(options);
    if (line == MoveableLine)
        m_panel->setMoveable(on);
    else if (line == SplitLine)
        m_panel->applySplit(options);
    else if (line == GraphicLine)
        m_panel->applyDisplayMode(options);
}

void Program::trust(const QByteArray& pem, const QString& server) {
    if (const QString error = trustCertificate(m_dir, pem, server); !error.isEmpty()) {
        showMessage(m_monitor.get(),
                    QStringLiteral("%1 could not be saved: %2").arg(kCertificatesFileName, error));
        return;
    }
    // Asked again at once, so that the row shows what the server says.
    checkNow();
}

void Program::checkNow() {
    m_cycle->checkNow();
}

void Program::toggleSummary() {
    if (m_monitor->isVisible() && !m_monitor->isMinimized())
        m_monitor->Hide();
    else
        showSummary();
}

void Program::showSummary() {
    const bool back = !m_monitor->isVisible();
    m_monitor->Show(m_panel->isVisible() ? m_panel->frameGeometry() : QRect());
    if (back && m_history && m_awaySince.isValid())
        m_history->askCleared(m_awaySince);
}

void Program::openSettings() {
    if (broughtForward(m_settings))
        return;
    // Not transient for the panel: a window manager would stack it above the panel.
    m_settings = new Settings(m_cycle->options(), m_dir);
    connect(m_settings, &Settings::optionChanged, this, &Program::applyOption);
    connect(m_settings, &Settings::accountsRequested, this, &Program::openAccounts);
    // What was saved is checked at once, not at the end of the countdown.
    connect(m_settings, &Settings::saved, m_cycle, &PollCycle::checkSoon);
    connect(m_settings, &Settings::closeApplicationRequested, this, &Program::closeApplication);
    connect(m_settings, &Settings::reminderChanged, this, &Program::setReminder);
    m_settings->setReminder(m_remindMinutes);
    m_settings->setSoundProblem(m_alert->soundProblem());
    m_settings->show();
}

void Program::openAccounts() {
    if (broughtForward(m_accounts))
        return;
    m_accounts = new Accounts(m_dir, m_passwords.get());
    connect(m_accounts, &Accounts::saved, m_cycle, &PollCycle::checkSoon);
    m_accounts->show();
}

void Program::closeApplication() {
    QWidget* asking = m_settings ? static_cast<QWidget*>(m_settings) : m_monitor.get();
    if (askQuestion(asking, QStringLiteral("Close Courivane? Nothing is checked until it is "
                                           "started again.")))
        end();
}

void Program::end() {
    m_alert->removeTrayIcon();
    if (m_settings)
        m_settings->close();
    if (m_accounts)
        m_accounts->close();
    m_monitor->Hide();
    m_panel->hide();
    QCoreApplication::quit();
}

} // namespace courivane
