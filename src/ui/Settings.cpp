#include "ui/Settings.h"

#include "config/AccountsFile.h"
#include "config/AlertsFile.h"
#include "config/OptionsFile.h"
#include "ui/MessageBox.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace courivane {

namespace {

// A grayed box counts as checked.
bool isOn(const QCheckBox* box) {
    return box->checkState() != Qt::Unchecked;
}

Qt::CheckState stateOf(bool on) {
    return on ? Qt::Checked : Qt::Unchecked;
}

// The dialog's boxes by line. A live box shows the value in use and changes it at once; the
// others show the file's line and reach the program only through "Save Settings".
struct BoxRow {
    OptionLine line;
    const char* box;
    bool live;
};
constexpr BoxRow kBoxRows[] = {
    {SoundLine, "Check1", false},  {PopupsLine, "Check3", false}, {MoveableLine, "Check4", true},
    {SplitLine, "Check5", true},   {GraphicLine, "Check6", true}, {ErrorsOnlyLine, "Check8", true},
    {SummaryLine, "Check7", true}, {ProxyLine, "Check2", false},
};

} // namespace

void TwoWayCheckBox::nextCheckState() {
    setCheckState(checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
}

Settings::Settings(const Options& live, QDir programDir, QWidget* parent)
    : QWidget(parent, Qt::Dialog), Check1(new TwoWayCheckBox(QStringLiteral("Enable Sound"), this)),
      Check2(new TwoWayCheckBox(QStringLiteral("Enable Proxy Server"), this)),
      Check3(new TwoWayCheckBox(QStringLiteral("Enable Message Popups"), this)),
      Check4(new TwoWayCheckBox(QStringLiteral("Make Moveable"), this)),
      Check5(new TwoWayCheckBox(QStringLiteral("Split ICMP and Web"), this)),
      Check6(new TwoWayCheckBox(QStringLiteral("Graphic Display"), this)),
      Check7(new TwoWayCheckBox(QStringLiteral("Status Summary"), this)),
      Check8(new TwoWayCheckBox(QStringLiteral("Show errors only"), this)),
      Label1(new QLabel(QStringLiteral("Proxy Server Address:"), this)),
      Label2(new QLabel(QStringLiteral("Port:"), this)), Text1(new QLineEdit(this)),
      Text2(new QLineEdit(this)), Command1(new QPushButton(QStringLiteral("Save Settings"), this)),
      Command2(new QPushButton(QStringLiteral("Close Application"), this)),
      Command3(new QPushButton(QStringLiteral("Accounts"), this)),
      Command4(new QPushButton(QStringLiteral("Close Window"), this)),
      RemindBox(new QCheckBox(QStringLiteral("Remind every"), this)),
      RemindMinutes(new QSpinBox(this)),
      RemindLabel(new QLabel(QStringLiteral("minutes while a failure is not acknowledged"), this)),
      SoundSign(new QLabel(QStringLiteral("\u26A0"), this)), SoundProblem(new QLabel(this)),
      m_live(live), m_dir(std::move(programDir)) {
    placeTwips(Check1, "Check1", 120, 120, 2295, 255);
    placeTwips(Check4, "Check4", 120, 480, 2055, 255);
    placeTwips(Check5, "Check5", 120, 840, 2535, 255);
    placeTwips(Check6, "Check6", 120, 1200, 2535, 255);
    placeTwips(Check7, "Check7", 120, 1560, 2415, 255);
    placeTwips(Check8, "Check8", 2880, 1560, 1815, 255);
    placeTwips(Check3, "Check3", 120, 1920, 2535, 255);
    placeTwips(Check2, "Check2", 120, 2280, 2295, 255);
    placeTwips(Label1, "Label1", 120, 2640, 2775, 255);
    placeTwips(Text1, "Text1", 120, 3000, 4455, 285);
    placeTwips(Label2, "Label2", 120, 3360, 735, 255);
    placeTwips(Text2, "Text2", 720, 3360, 855, 285);
    placeTwips(Command2, "Command2", 2880, 120, 1695, 255);
    placeTwips(Command4, "Command4", 2880, 480, 1695, 255);
    placeTwips(Command1, "Command1", 2880, 840, 1695, 255);
    placeTwips(Command3, "Command3", 2880, 1200, 1695, 255);
    // Below the designed dialog: the reminder, and why the sound cannot play.
    placeTwips(RemindBox, "RemindBox", 120, 3780, 1815, 285);
    placeTwips(RemindMinutes, "RemindMinutes", 1935, 3780, 735, 285);
    placeTwips(RemindLabel, "RemindLabel", 120, 4095, 4455, 255);
    placeTwips(SoundSign, "SoundSign", 2415, 120, 360, 255);
    placeTwips(SoundProblem, "SoundProblem", 120, 4410, 4455, 435);

    // Tab order 0 to 15, then the reminder.
    setUpDialog(this, QStringLiteral("Settings"), 4680, 4935,
                {Check1, Check2, Check4, Text1, Text2, Command2, Command4, Command1, Command3,
                 Check3, Check5, Check6, Check7, Check8, RemindBox, RemindMinutes});
    RemindMinutes->setRange(1, kMaxRemindMinutes);
    RemindMinutes->setValue(15);
    RemindMinutes->setEnabled(false);
    RemindBox->setToolTip(QStringLiteral("Off by default. Applies at once; the sound and a notice "
                                         "repeat while a failure nobody acknowledged lasts."));
    SoundProblem->setWordWrap(true);
    SoundProblem->setTextFormat(Qt::PlainText);
    for (QLabel* label : {SoundSign, SoundProblem}) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, QColor(0xcc, 0, 0));
        label->setPalette(p);
        label->hide();
    }
    const auto reminderMoved = [this] {
        RemindMinutes->setEnabled(RemindBox->isChecked());
        emit reminderChanged(RemindBox->isChecked() ? RemindMinutes->value() : 0);
    };
    connect(RemindBox, &QCheckBox::clicked, this, reminderMoved);
    connect(RemindMinutes, &QSpinBox::editingFinished, this, reminderMoved);

    for (const BoxRow& row : kBoxRows)
        if (row.live)
            connect(box(row.line), &QCheckBox::clicked, this,
                    [this, line = row.line] { boxClicked(line); });
    connect(Command1, &QPushButton::clicked, this, &Settings::save);
    connect(Command2, &QPushButton::clicked, this, &Settings::closeApplicationRequested);
    connect(Command3, &QPushButton::clicked, this, &Settings::accountsRequested);
    connect(Command4, &QPushButton::clicked, this, [this] {
        if (mayDiscard())
            close();
    });

    fill();
    // Centred on the screen, clear of the panel at its top.
    centreOnScreen(this);
}

TwoWayCheckBox* Settings::box(OptionLine line) const {
    for (const BoxRow& row : kBoxRows)
        if (row.line == line)
            return findChild<TwoWayCheckBox*>(QLatin1String(row.box), Qt::FindDirectChildrenOnly);
    return nullptr;
}

void Settings::fill() {
    // Filling sets boxes only; no option and no layout changes.
    const OptionsForm file = OptionsFile(m_dir).readForDialog(&m_fileBytes);
    const OptionsForm live = OptionsFile::formOf(m_live);
    for (const BoxRow& row : kBoxRows)
        box(row.line)->setCheckState(stateOf(row.live ? live.on[row.line] : file.on[row.line]));
    showErrorsOnlyBox();
    Text1->setText(file.address);
    Text2->setText(file.port);
    m_filled = shownForm();
}

void Settings::setReminder(int minutes) {
    RemindBox->setChecked(minutes > 0);
    RemindMinutes->setEnabled(minutes > 0);
    if (minutes > 0)
        RemindMinutes->setValue(minutes);
}

void Settings::setSoundProblem(const QString& problem) {
    SoundProblem->setText(QStringLiteral("Enable Sound: ") + problem);
    SoundSign->setToolTip(problem);
    SoundSign->setVisible(!problem.isEmpty());
    SoundProblem->setVisible(!problem.isEmpty());
}

void Settings::showErrorsOnlyBox() {
    // "Show errors only" is grayed while there is no summary to show errors in.
    Check8->setCheckState(m_live.summary ? stateOf(m_live.errorsOnly) : Qt::PartiallyChecked);
}

void Settings::showLive() {
    // A cycle read the file again: the live boxes show what is in use, and a value the cycle
    // put back is no edit of the operator's.
    const OptionsForm live = OptionsFile::formOf(m_live);
    for (const BoxRow& row : kBoxRows) {
        if (!row.live)
            continue;
        const bool on = live.on[row.line];
        if (isOn(box(row.line)) != on && row.line != ErrorsOnlyLine) {
            box(row.line)->setCheckState(stateOf(on));
            m_filled.on[row.line] = on;
        }
    }
}

OptionsForm Settings::shownForm() const {
    OptionsForm o;
    for (const BoxRow& row : kBoxRows)
        o.on[row.line] = isOn(box(row.line));
    o.address = Text1->text();
    o.port = Text2->text();
    return o;
}

bool Settings::mayDiscard() {
    return shownForm() == m_filled ||
           askQuestion(this, QStringLiteral("Discard the changes to the settings?"));
}

void Settings::closeEvent(QCloseEvent* event) {
    // The window manager's close asks as "Close Window" does; the program's own close at its
    // end does not wait for an answer.
    if (event->spontaneous() && !mayDiscard()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void Settings::boxClicked(OptionLine line) {
    const bool on = isOn(box(line));
    emit optionChanged(line, on);
    if (line == SummaryLine)
        showErrorsOnlyBox();
}

void Settings::save() {
    const OptionsForm o = shownForm();
    // Refused before anything is written.
    if (const QString fault = proxyLinesFault(o); !fault.isEmpty()) {
        showMessage(this, fault);
        return;
    }
    const OptionsFile file(m_dir);
    const QString error = file.write(o, m_fileBytes);
    if (!error.isEmpty()) {
        // The dialog stays open with the user's edits.
        showMessage(this, QStringLiteral("%1 could not be saved: %2").arg(file.path(), error));
        return;
    }
    // The first save brings an empty accounts list along, so that neither file is missing.
    const AccountsFile accounts(m_dir);
    if (const QString other = accounts.writeEmptyIfMissing(); !other.isEmpty())
        showMessage(this, QStringLiteral("%1 could not be saved: %2").arg(accounts.path(), other));
    m_filled = o;
    emit saved();
    close();
}

} // namespace courivane
