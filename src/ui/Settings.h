#pragma once

#include "config/TextLines.h"

#include <QCheckBox>
#include <QDir>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace courivane {

struct OptionFlags;

// A check box the user moves between unchecked and checked; only the program grays it, and a
// click on a grayed box unchecks it.
class TwoWayCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override;
};

// The settings dialog: five boxes change the live options at once (the panel hears of the two
// that change its layout); the rest reach the program only through "Save Settings".
class Settings : public QWidget {
    Q_OBJECT
public:
    Settings(OptionFlags& flags, QDir programDir, QWidget* parent = nullptr);

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

signals:
    void splitToggled();
    void displayModeToggled();
    void accountsRequested();
    void closeApplicationRequested();

private:
    void Check4_Click();
    void Check5_Click();
    void Check6_Click();
    void Check7_Click();
    void Check8_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();

    void fill();

    OptionFlags& m_flags;
    QDir m_dir;
    LineBytes m_fileBytes; // the options file's lines as they were read
};

} // namespace courivane
