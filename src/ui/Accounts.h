#pragma once

#include "config/AccountsFile.h"

#include <QDir>
#include <QHash>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace courivane {

class PasswordStore;
struct FetchTarget;

// The accounts dialog: the working copy of the account list, one TAB-joined entry per account,
// written back to the accounts file only by "Save Settings". A password typed for an account is
// kept in the password store, never in the file, when the list is saved. The controls are found
// by their object names (List1, Text1 to Text4, Command1 to Command7).
class Accounts : public QWidget {
    Q_OBJECT
public:
    explicit Accounts(QDir programDir, PasswordStore* passwords = nullptr,
                      QWidget* parent = nullptr);

    QStringList entries() const;

signals:
    // The accounts file was written.
    void saved();

protected:
    // Unsaved edits are dropped only when the user says so.
    void closeEvent(QCloseEvent* event) override;

private:
    QListWidget* const List1;
    QLineEdit* const Text1; // Company Name
    QLineEdit* const Text2; // Monitoring Server
    QLineEdit* const Text3; // User Name
    QLineEdit* const Text4; // Password, empty for none
    QLabel* const Label1;
    QLabel* const Label2;
    QLabel* const Label3;
    QLabel* const Label4;
    QPushButton* const Command1; // Add
    QPushButton* const Command2; // Remove
    QPushButton* const Command3; // Save Settings
    QPushButton* const Command4; // Close Window
    QPushButton* const Command5; // up
    QPushButton* const Command6; // down
    QPushButton* const Command7; // Replace

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
    // The designed size, less what a small screen lacks, given up by the list and the boxes.
    QSize fitToScreen(QSize designedTwips);
    // The heads over the list's columns, where its tab stops put them.
    // The controls where the form has them, the list under heads of its own.
    void layOut();
    void connectControls();
    void placeHeads();
    // True when nothing is unsaved, or the user agrees to drop it.
    bool mayDiscard();

    // The password box's text for the account in the boxes, when the user changed it.
    void stagePassword();
    FetchTarget targetInBoxes() const;
    void savePasswords();

    QList<QLabel*> m_heads; // over the list's columns
    QDir m_dir;
    AccountsRead m_read; // the file as the dialog read it
    PasswordStore* m_passwords;
    bool m_passwordEdited = false;
    struct Staged {
        QString server;
        QString user;
        QString password;
    };
    QHash<QString, Staged> m_staged; // by server and user, until "Save Settings"
};

} // namespace courivane
