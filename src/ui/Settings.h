#pragma once

#include "config/OptionsFile.h"
#include "config/TextLines.h"

#include <QCheckBox>
#include <QDir>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace courivane {

// A check box the user moves between unchecked and checked; only the program grays it, and a
// click on a grayed box unchecks it.
class TwoWayCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override;
};

// The settings dialog. The boxes of live options change the values in use at once: the dialog
// says which, and its owner applies it; the rest reach the program only through "Save Settings".
// The controls are found by their object names (Check1 to Check8, Text1, Text2, Command1 to
// Command4).
class Settings : public QWidget {
    Q_OBJECT
public:
    // `live` is the one record of the values in use, owned by the poll cycle; it outlives the
    // dialog. The owner changes it on `optionChanged` and calls `showLive` when a cycle has
    // read the file again.
    Settings(const Options& live, QDir programDir, QWidget* parent = nullptr);

    void showLive();
    // Minutes between reminders (0: none), as in use.
    void setReminder(int minutes);
    // Why the warning sound cannot play, beside Enable Sound; empty: nothing known.
    void setSoundProblem(const QString& problem);

signals:
    // A live box moved: the option's new value.
    void optionChanged(courivane::OptionLine line, bool on);
    void accountsRequested();
    void closeApplicationRequested();
    // The reminder changed; it applies at once.
    void reminderChanged(int minutes);
    // The options file was written.
    void saved();

protected:
    // Unsaved edits are dropped only when the user says so.
    void closeEvent(QCloseEvent* event) override;

private:
    TwoWayCheckBox* box(OptionLine line) const;
    void boxClicked(OptionLine line);
    void save();
    void fill();
    void showErrorsOnlyBox();
    // What "Save Settings" would write now.
    OptionsForm shownForm() const;
    // True when nothing is unsaved, or the user agrees to drop it.
    bool mayDiscard();

    TwoWayCheckBox* const Check1; // Enable Sound
    TwoWayCheckBox* const Check2; // Enable Proxy Server
    TwoWayCheckBox* const Check3; // Enable Message Popups
    TwoWayCheckBox* const Check4; // Make Moveable
    TwoWayCheckBox* const Check5; // Split ICMP and Web
    TwoWayCheckBox* const Check6; // Graphic Display
    TwoWayCheckBox* const Check7; // Status Summary
    TwoWayCheckBox* const Check8; // Show errors only
    QLabel* const Label1;
    QLabel* const Label2;
    QLineEdit* const Text1;      // proxy address
    QLineEdit* const Text2;      // proxy port
    QPushButton* const Command1; // Save Settings
    QPushButton* const Command2; // Close Application
    QPushButton* const Command3; // Accounts
    QPushButton* const Command4; // Close Window
    QCheckBox* const RemindBox;
    QSpinBox* const RemindMinutes;
    QLabel* const RemindLabel;
    QLabel* const SoundSign;    // beside Enable Sound while the sound cannot play
    QLabel* const SoundProblem; // and why, under the boxes

    const Options& m_live;
    QDir m_dir;
    LineBytes m_fileBytes; // the options file's lines as they were read
    OptionsForm m_filled;  // what the dialog showed when it was filled or last saved
};

} // namespace courivane
