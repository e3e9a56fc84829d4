#pragma once

#include "config/AccountsFile.h"

#include <QDir>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace courivane {

// The accounts dialog: the working copy of the account list, one TAB-joined entry per account,
// written back to the accounts file only by "Save Settings".
class Accounts : public QWidget {
    Q_OBJECT
public:
    explicit Accounts(QDir programDir, QWidget* parent = nullptr);

    QListWidget* const List1;
    QLineEdit* const Text1; // Company Name
    QLineEdit* const Text2; // Monitoring Server
    QLineEdit* const Text3; // User Name
    QLabel* const Label1;
    QLabel* const Label2;
    QLabel* const Label3;
    QPushButton* const Command1; // Add
    QPushButton* const Command2; // Remove
    QPushButton* const Command3; // Save Settings
    QPushButton* const Command4; // Close Window
    QPushButton* const Command5; // up
    QPushButton* const Command6; // down
    QPushButton* const Command7; // Replace

    QStringList entries() const;

protected:
    // Unsaved edits are dropped only when the user says so.
    void closeEvent(QCloseEvent* event) override;

private:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void List1_DblClick();

    // The entry the three boxes make, or nothing after telling the user why not.
    bool validEntry(QString& entry);
    void moveSelected(int step);
    void clearBoxes();
    // The list as the dialog shows the file it read.
    QStringList shownEntries() const;
    // True when nothing is unsaved, or the user agrees to drop it.
    bool mayDiscard();

    QDir m_dir;
    AccountsRead m_read; // the file as the dialog read it
};

} // namespace courivane
