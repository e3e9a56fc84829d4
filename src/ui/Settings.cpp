#include "ui/Settings.h"

#include "config/OptionsFile.h"
#include "ui/MessageBox.h"
#include "ui/Twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace courivane {

namespace {

bool checkedOrGrayed(const QCheckBox* box) {
    return box->checkState() != Qt::Unchecked;
}

Qt::CheckState stateOf(bool on) {
    return on ? Qt::Checked : Qt::Unchecked;
}

} // namespace

void TwoWayCheckBox::nextCheckState() {
    setCheckState(checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
}

Settings::Settings(OptionFlags& flags, QDir programDir, QWidget* parent)
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
      Command4(new QPushButton(QStringLiteral("Close Window"), this)), m_flags(flags),
      m_dir(std::move(programDir)) {
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

    // Tab order 0 to 15.
    setUpDialog(this, QStringLiteral("Settings"), 4680, 3735,
                {Check1, Check2, Check4, Text1, Text2, Command2, Command4, Command1, Command3,
                 Check3, Check5, Check6, Check7, Check8});

    connect(Check4, &QCheckBox::clicked, this, &Settings::Check4_Click);
    connect(Check5, &QCheckBox::clicked, this, &Settings::Check5_Click);
    connect(Check6, &QCheckBox::clicked, this, &Settings::Check6_Click);
    connect(Check7, &QCheckBox::clicked, this, &Settings::Check7_Click);
    connect(Check8, &QCheckBox::clicked, this, &Settings::Check8_Click);
    connect(Command1, &QPushButton::clicked, this, &Settings::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Settings::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Settings::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Settings::Command4_Click);

    fill();
    // Centred on the screen, clear of the panel at its top.
    centreOnScreen(this);
}

void Settings::fill() {
    // Filling sets boxes only; no flag and no layout changes.
    const OptionTexts file = OptionsFile(m_dir).readForDialog(&m_fileBytes);
    const OptionFlags& f = m_flags;
    Check1->setCheckState(stateOf(isYes(file[SoundLine])));
    Check3->setCheckState(stateOf(isYes(file[PopupsLine])));
    Check4->setCheckState(stateOf(isYes(f.MakeMoveable)));
    Check5->setCheckState(stateOf(isYes(f.SplitIcmpWeb)));
    Check6->setCheckState(stateOf(isYes(f.GraphicDisplay)));
    Check8->setCheckState(stateOf(isYes(f.ShowErrorsOnly)));
    Check7->setCheckState(stateOf(isYes(f.StatusSummary)));
    if (!isYes(f.StatusSummary))
        Check8->setCheckState(Qt::PartiallyChecked);
    Check2->setCheckState(stateOf(isYes(file[ProxyLine])));
    Text1->setText(file[AddressLine]);
    Text2->setText(file[PortLine]);
}

void Settings::Check4_Click() {
    m_flags.MakeMoveable = yesNo(Check4->checkState() != Qt::Unchecked);
}

void Settings::Check5_Click() {
    m_flags.SplitIcmpWeb = yesNo(Check5->checkState() != Qt::Unchecked);
    emit splitToggled();
}

void Settings::Check6_Click() {
    m_flags.GraphicDisplay = yesNo(Check6->checkState() != Qt::Unchecked);
    emit displayModeToggled();
}

void Settings::Check7_Click() {
    OptionFlags& f = m_flags;
    if (Check7->checkState() == Qt::Unchecked) {
        f.StatusSummary = kNo;
        Check8->setCheckState(Qt::PartiallyChecked);
    } else {
        f.StatusSummary = kYes;
        Check8->setCheckState(stateOf(isYes(f.ShowErrorsOnly)));
    }
}

void Settings::Check8_Click() {
    switch (Check8->checkState()) {
    case Qt::Unchecked:
        m_flags.ShowErrorsOnly = kNo;
        break;
    case Qt::Checked:
        m_flags.ShowErrorsOnly = kYes;
        break;
    case Qt::PartiallyChecked:
        break;
    }
}

void Settings::Command1_Click() {
    OptionTexts o;
    o[SoundLine] = yesNo(checkedOrGrayed(Check1));
    o[PopupsLine] = yesNo(checkedOrGrayed(Check3));
    o[MoveableLine] = yesNo(checkedOrGrayed(Check4));
    o[SplitLine] = yesNo(checkedOrGrayed(Check5));
    o[GraphicLine] = yesNo(checkedOrGrayed(Check6));
    o[ErrorsOnlyLine] = yesNo(checkedOrGrayed(Check8));
    o[SummaryLine] = yesNo(checkedOrGrayed(Check7));
    o[ProxyLine] = yesNo(checkedOrGrayed(Check2));
    o[AddressLine] = Text1->text();
    o[PortLine] = Text2->text();
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
    close();
}

void Settings::Command2_Click() {
    emit closeApplicationRequested();
}

void Settings::Command3_Click() {
    emit accountsRequested();
}

void Settings::Command4_Click() {
    close();
}

} // namespace courivane
