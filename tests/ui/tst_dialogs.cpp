#include "polling/FetchSecurity.h"
#include "ui/Accounts.h"
#include "ui/MessageBox.h"
#include "ui/Settings.h"
#include "ui/Status.h"

#include "ProgramDir.h"
#include "TestFiles.h"
#include "Windows.h"
#include "polling/PollCycle.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using namespace courivane;
using namespace courivane::testing;

namespace {

const QByteArray kOptions =
    "YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nNO\r\nYES\r\nproxy1\r\n3128\r\n";
const QByteArray kAccounts = "A\r\nm1\r\na\r\nB\r\nm2\r\nb\r\nC\r\nm3\r\nc\r\n";

QStringList messages;
QStringList questions;
bool answer = true;

// As a user would: a click on the button or box, a double-click on the selected entry.
void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
}
void doubleClick(Accounts* a) {
    if (QListWidgetItem* item = a->List1->currentItem())
        emit a->List1->itemDoubleClicked(item);
}
void type(Accounts* a, const QString& company, const QString& server, const QString& user) {
    a->Text1->setText(company);
    a->Text2->setText(server);
    a->Text3->setText(user);
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ProgramDir> m_program;
    std::unique_ptr<Status> m_panel;

    QByteArray file(const QString& name) const { return readBytes(m_program->dir(), name); }
    Settings* openSettings() {
        m_panel->openSettings();
        return m_panel->settingsDialog();
    }
    Accounts* openAccounts() {
        m_panel->openAccounts();
        return m_panel->accountsDialog();
    }

private slots:
    void initTestCase() {
        setMessageHandler([](QWidget*, const QString& text) { messages << text; });
        setQuestionHandler([](QWidget*, const QString& text) { return questions << text, answer; });
    }
    void init() {
        messages.clear();
        questions.clear();
        answer = true;
        m_program = std::make_unique<ProgramDir>();
        writeBytes(m_program->dir(), kOptionsFileName, kOptions);
        writeBytes(m_program->dir(), kAccountsFileName, kAccounts);
        m_panel = std::make_unique<Status>(m_program->dir());
        OptionsFile(m_program->dir()).readStartup(m_panel->flags());
        m_panel->applyStartupLayout();
    }
    void cleanup() {
        m_panel.reset();
        m_program.reset();
    }

    void settingsShowTheFileAndTheLiveFlags() {
        m_panel->flags().GraphicDisplay = kNo; // changed at once earlier, not saved
        m_panel->flags().ShowErrorsOnly = kYes;
        Settings* s = openSettings();
        QVERIFY(s->Check1->isChecked() && !s->Check3->isChecked() && !s->Check6->isChecked());
        QCOMPARE(s->Text1->text() + s->Text2->text(), QStringLiteral("proxy13128"));
        // Grayed while StatusSummary is off; graying changes no flag.
        QCOMPARE(s->Check8->checkState(), Qt::PartiallyChecked);
        click(s->Check7);
        QCOMPARE(s->Check8->checkState(), Qt::Checked);
        click(s->Check7);
        QCOMPARE(s->Check8->checkState(), Qt::PartiallyChecked);
        QCOMPARE(m_panel->flags().ShowErrorsOnly, kYes);
        // Saving with the grayed box writes "YES" on line 6, then closes.
        click(s->Command1);
        QCOMPARE(
            file(kOptionsFileName),
            QByteArray("YES\r\nNO\r\nNO\r\nYES\r\nNO\r\nYES\r\nNO\r\nYES\r\nproxy1\r\n3128\r\n"));
        QTRY_VERIFY(m_panel->settingsDialog() == nullptr);
    }

    void boxesThatActAtOnceAreNotSaved() {
        m_panel->flags().ShowErrorsOnly = kYes; // the grayed box still sets it from its new state
        Settings* s = openSettings();
        for (QAbstractButton* box : {s->Check4, s->Check5, s->Check6, s->Check8})
            click(box);
        QCOMPARE(m_panel->flags().MakeMoveable + m_panel->flags().SplitIcmpWeb +
                     m_panel->flags().GraphicDisplay + m_panel->flags().ShowErrorsOnly,
                 QStringLiteral("YESNONONO"));
        QCOMPARE(m_panel->width(), 5550 / 15); // labels, no Web
        click(s->Command4);
        QTRY_VERIFY(m_panel->settingsDialog() == nullptr);
        QCOMPARE(file(kOptionsFileName), kOptions);
    }

    void aRefusedOrFailedSaveKeepsTheDialogOpen() {
        Settings* s = openSettings();
        s->Text2->setText(QStringLiteral("0"));
        click(s->Command1);
        QVERIFY(messages.size() == 1 && messages.first().contains("Port"));
        s->Text2->setText(QStringLiteral("3128"));
        s->Text1->setText(QString(300, u'x'));
        {
            const FileSizeLimit full(16);
            click(s->Command1);
        }
        QVERIFY(messages.size() == 2 && messages.last().contains("Proxy.Txt could not be saved"));
        QCOMPARE(file(kOptionsFileName), kOptions);
        QVERIFY(m_panel->settingsDialog() && s->isVisible());
        QCOMPARE(s->Text1->text(), QString(300, u'x'));
        // With the proxy off neither line is written, so neither is refused.
        s->Text1->setText(QStringLiteral("a\tb"));
        click(s->Check2);
        click(s->Command1);
        QCOMPARE(messages.size(), 2);
        QVERIFY(file(kOptionsFileName).endsWith("NO\r\n\r\n\r\n"));
        QTRY_VERIFY(m_panel->settingsDialog() == nullptr);
        Accounts* a = openAccounts();
        a->List1->clear();
        {
            const FileSizeLimit full(1);
            click(a->Command3);
        }
        QVERIFY(messages.size() == 3 &&
                messages.last().contains("CompUserNames.Txt could not be saved"));
        QCOMPARE(file(kAccountsFileName), kAccounts);
        QVERIFY(a->isVisible());
    }

    void aPasswordGoesToTheStoreAndNeverToAFile() {
        auto passwords = std::make_shared<MemoryPasswordStore>();
        m_panel->setPasswordStore(passwords);
        Accounts* a = openAccounts();
        type(a, "Vault", " https://m9:8443 ", "vault");
        QTest::keyClicks(a->Text4, QStringLiteral("Pa55-word"));
        click(a->Command1);
        QVERIFY(a->Text4->text().isEmpty());
        // Kept only once the list is saved, under the names a fetch looks it up by.
        answer = false;
        click(a->Command4);
        QVERIFY(questions.last().contains("Discard"));
        answer = true;
        click(a->Command3);
        const auto stored = [&]() -> std::optional<QString> {
            std::optional<QString> found;
            bool done = false;
            passwords->find("https://m9:8443", "vault", this, [&](std::optional<QString> p) {
                found = p;
                done = true;
            });
            if (!QTest::qWaitFor([&] { return done; }))
                qFatal("the password store never answered");
            return found;
        };
        QCOMPARE(stored(), std::optional<QString>("Pa55-word"));
        for (const QString& name : QDir(m_program->dir()).entryList(QDir::Files))
            QVERIFY2(!file(name).contains("Pa55"), qPrintable(name));
        // The entry's password shows when it is taken into the boxes; cleared, it is removed.
        a->List1->setCurrentRow(a->List1->count() - 1);
        doubleClick(a);
        QTRY_COMPARE(a->Text4->text(), QStringLiteral("Pa55-word"));
        a->Text4->selectAll();
        QTest::keyClick(a->Text4, Qt::Key_Delete);
        click(a->Command7);
        click(a->Command3);
        QVERIFY(!stored());
    }

    void aSettingsSaveKeepsTheBytesOfTheProxyLines() {
        // The proxy's name as an editor in Windows-1252 wrote it.
        const QByteArray old =
            "YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nYES\r\nNO\r\nYES\r\npr\xf6xy\r\n3128\r\n";
        writeBytes(m_program->dir(), kOptionsFileName, old);
        Settings* s = openSettings();
        QCOMPARE(s->Text1->text(), QStringLiteral("pr\u00f6xy"));
        click(s->Command1);
        QCOMPARE(file(kOptionsFileName), old);
    }

    void aSaveAsksFirstAndKeepsTheBytesOfUneditedLines() {
        // A line in Windows-1252, as an editor there wrote it.
        const QByteArray old = "A\r\nm1\r\na\xe9\r\nHalf\r\nm2\r\n";
        writeBytes(m_program->dir(), kAccountsFileName, old);
        Accounts* a = openAccounts();
        QCOMPARE(a->entries(), (QStringList{"A\tm1\ta\u00e9", "Half\tm2\t"}));
        answer = false;
        click(a->Command3);
        QVERIFY(questions.size() == 1 && questions.first().contains("Half"));
        // Completed in the boxes; then a file changed meanwhile is replaced only when agreed.
        a->List1->setCurrentRow(1);
        doubleClick(a);
        a->Text3->setText(QStringLiteral("half"));
        click(a->Command7);
        writeBytes(m_program->dir(), kAccountsFileName, "Hand\r\nedit\r\n");
        click(a->Command3);
        QVERIFY(questions.size() == 2 && questions.last().contains("changed"));
        QCOMPARE(file(kAccountsFileName), QByteArray("Hand\r\nedit\r\n"));
        answer = true;
        click(a->Command3);
        QCOMPARE(file(kAccountsFileName), old + "half\r\n");
        click(a->Command3); // what it wrote itself is no change behind its back
        QCOMPARE(questions.size(), 3);
    }

    void aFileThatCannotBeReadIsNeverReplaced() {
        const QString path = m_program->dir().filePath(kAccountsFileName);
        QVERIFY(QFile::remove(path) && m_program->dir().mkdir(kAccountsFileName));
        Accounts* a = openAccounts();
        QVERIFY(messages.size() == 1 && messages.first().contains("could not be read"));
        QCOMPARE(a->List1->count(), 0);
        click(a->Command3);
        QVERIFY(messages.size() == 2 && messages.last().contains("not saved"));
        QVERIFY(QFileInfo(path).isDir());
    }

    void addValidateAndOneDialog() {
        Settings* s = openSettings();
        click(s->Command3);
        Accounts* a = m_panel->accountsDialog();
        click(s->Command3);
        QCOMPARE(windowsOf<Accounts>(), QList<Accounts*>{a});
        // Refused with the reason, the boxes kept.
        type(a, "E\tx", "m", "e");
        click(a->Command1);
        QVERIFY(messages.size() == 1 && messages.first().contains("Company Name"));
        QCOMPARE(a->Text1->text(), QStringLiteral("E\tx"));
        type(a, "D", "m 4", " d ");
        click(a->Command1);
        QCOMPARE(a->entries().last(), QStringLiteral("D\tm 4\t d "));
        QVERIFY(a->Text1->text().isEmpty() && a->Text3->text().isEmpty());
        // It stays when the settings dialog closes, and is not read again.
        click(s->Command4);
        QTRY_VERIFY(m_panel->settingsDialog() == nullptr);
        QCOMPARE(openAccounts(), a);
        QCOMPARE(a->List1->count(), 4);
    }

    void replaceRemoveMovesAndClose() {
        Accounts* a = openAccounts();
        a->List1->setCurrentRow(0);
        for (QAbstractButton* b : {a->Command5, a->Command6, a->Command6, a->Command6})
            click(b); // up on the first, down to the end and once more: nothing at the edges
        QCOMPARE(a->entries(), (QStringList{"B\tm2\tb", "C\tm3\tc", "A\tm1\ta"}));
        a->List1->setCurrentRow(1);
        doubleClick(a);
        QCOMPARE(a->Text1->text() + a->Text2->text() + a->Text3->text(), QStringLiteral("Cm3c"));
        a->Text1->setText(QStringLiteral("X"));
        click(a->Command7); // replaced in its place, boxes emptied
        QCOMPARE(a->entries().at(1), QStringLiteral("X\tm3\tc"));
        QCOMPARE(a->Text1->text(), QString());
        a->List1->setCurrentRow(0);
        click(a->Command2);
        QCOMPARE(a->entries(), (QStringList{"X\tm3\tc", "A\tm1\ta"}));
        // Closed with unsaved edits, it asks first (No keeps it open); closed without saving,
        // the file is as it was; saved, the dialog stays.
        answer = false;
        click(a->Command4);
        QCOMPARE(questions, QStringList{"Discard the changes to the accounts list?"});
        QVERIFY(a->isVisible());
        answer = true;
        click(a->Command4);
        QTRY_VERIFY(m_panel->accountsDialog() == nullptr);
        QCOMPARE(file(kAccountsFileName), kAccounts);
        a = openAccounts();
        a->List1->clear();
        click(a->Command3);
        QCOMPARE(file(kAccountsFileName), QByteArray("\r\n"));
        QVERIFY(a->isVisible());
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
