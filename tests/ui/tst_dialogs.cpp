#include "app/Program.h"
#include "polling/FetchSecurity.h"
#include "ui/Accounts.h"
#include "ui/MessageBox.h"
#include "ui/Monitor.h"

#include "ui/Settings.h"
#include "ui/Status.h"
#include <QLabel>
#include <QTextBrowser>

#include "ProgramDir.h"
#include "TestFiles.h"
#include "Windows.h"
#include "polling/PollCycle.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>

using namespace courivane;
using namespace courivane::testing;

namespace {

const QByteArray kOptions =
    "YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nNO\r\nYES\r\nproxy1\r\n3128\r\n";
// Loopback servers on a closed port: a save starts a pass, which asks them at once.
const QByteArray kAccounts =
    "A\r\n127.0.0.1:1\r\na\r\nB\r\n127.0.0.2:1\r\nb\r\nC\r\n127.0.0.3:1\r\nc\r\n";

QStringList messages;
QStringList questions;
bool answer = true;

QAbstractButton* button(const QWidget* dialog, const char* name) {
    return control<QAbstractButton>(dialog, name);
}
QCheckBox* check(const QWidget* dialog, const char* name) {
    return control<QCheckBox>(dialog, name);
}
QLineEdit* edit(const QWidget* dialog, const char* name) {
    return control<QLineEdit>(dialog, name);
}
QListWidget* list(const Accounts* a) {
    return control<QListWidget>(a, "List1");
}

// As a user would: a click on the button or box, a double-click on the selected entry, keys
// typed over a box's text.
void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
}
void clickEntry(Accounts* a) {
    QListWidget* entries = list(a);
    if (QListWidgetItem* item = entries->currentItem())
        QTest::mouseClick(entries->viewport(), Qt::LeftButton, {},
                          entries->visualItemRect(item).center());
}
void doubleClick(Accounts* a) {
    QListWidget* entries = list(a);
    if (QListWidgetItem* item = entries->currentItem()) {
        // The view takes a double-click on the entry the press before it hit.
        const QPoint at = entries->visualItemRect(item).center();
        QTest::mouseClick(entries->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(entries->viewport(), Qt::LeftButton, {}, at);
    }
}
void type(QLineEdit* box, const QString& text) {
    box->selectAll();
    // A TAB or a line break cannot be typed into a box, only pasted.
    if (text.isEmpty())
        QTest::keyClick(box, Qt::Key_Delete);
    else if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c < u' '; }))
        box->insert(text);
    else
        QTest::keyClicks(box, text);
}
void type(Accounts* a, const QString& company, const QString& server, const QString& user) {
    type(edit(a, "Text1"), company);
    type(edit(a, "Text2"), server);
    type(edit(a, "Text3"), user);
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ProgramDir> m_program;
    std::unique_ptr<Program> m_app;

    QByteArray file(const QString& name) const { return readBytes(m_program->dir(), name); }
    Settings* openSettings() {
        m_app->openSettings();
        return m_app->settingsDialog();
    }
    Accounts* openAccounts() {
        m_app->openAccounts();
        return m_app->accountsDialog();
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
        m_app = std::make_unique<Program>(m_program->dir());
        Options options;
        OptionsFile(m_program->dir()).readStartup(options);
        m_app->cycle()->setOptions(options);
        m_app->panel()->applyStartupLayout(options);
    }
    void theRowOrderAndTheHistoryOutliveARestart() {
        // Direct connections: the passes below ask the loopback servers alone.
        writeBytes(m_program->dir(), kOptionsFileName,
                   QByteArray(kOptions).replace("YES\r\nproxy1\r\n3128", "NO\r\n\r\n"));
        emit m_app->monitor()->rowOrderChanged({RowOrder::Key::Service, 2, true});
        QString shown;
        for (int run = 0; run < 2; ++run) {
            m_app = std::make_unique<Program>(m_program->dir());
            QSignalSpy done(m_app->cycle(), &PollCycle::passFinished);
            m_app->startUp();
            QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, 20000);
            QCOMPARE(m_app->monitor()->rowOrder().text(), QStringLiteral("service 2 reversed"));
            // Each unreachable row says since when, once the history has answered, and a
            // restart keeps the time.
            const auto view = [this] {
                return control<QTextBrowser>(m_app->monitor(), "WebBrowser1")->toPlainText();
            };
            QTRY_VERIFY_WITH_TIMEOUT(view().contains("since "), 10000);
            const QString since = view().mid(view().indexOf("since "), 11);
            if (run == 1)
                QCOMPARE(since, shown);
            shown = since;
        }
    }

    void cleanup() {
        m_app.reset();
        m_program.reset();
    }

    void settingsShowTheFileAndTheLiveFlags() {
        Options live = m_app->cycle()->options(); // changed at once earlier, not saved
        live.graphic = false;
        live.errorsOnly = true;
        m_app->cycle()->setOptions(live);
        Settings* s = openSettings();
        QVERIFY(check(s, "Check1")->isChecked() && !check(s, "Check3")->isChecked() &&
                !check(s, "Check6")->isChecked());
        QCOMPARE(edit(s, "Text1")->text() + edit(s, "Text2")->text(), QStringLiteral("proxy13128"));
        // Grayed while StatusSummary is off; graying changes no flag.
        QCOMPARE(check(s, "Check8")->checkState(), Qt::PartiallyChecked);
        click(check(s, "Check7"));
        QCOMPARE(check(s, "Check8")->checkState(), Qt::Checked);
        QVERIFY(m_app->cycle()->options().summary);
        click(check(s, "Check7"));
        QCOMPARE(check(s, "Check8")->checkState(), Qt::PartiallyChecked);
        QVERIFY(m_app->cycle()->options().errorsOnly);
        // Saving with the grayed box writes "YES" on line 6, then closes.
        click(button(s, "Command1"));
        QCOMPARE(
            file(kOptionsFileName),
            QByteArray("YES\r\nNO\r\nNO\r\nYES\r\nNO\r\nYES\r\nNO\r\nYES\r\nproxy1\r\n3128\r\n"));
        QTRY_VERIFY(m_app->settingsDialog() == nullptr);
    }

    void boxesThatActAtOnceAreNotSaved() {
        Options live = m_app->cycle()->options();
        live.errorsOnly = true; // the grayed box still sets it from its new state
        m_app->cycle()->setOptions(live);
        Settings* s = openSettings();
        for (QAbstractButton* box :
             {check(s, "Check4"), check(s, "Check5"), check(s, "Check6"), check(s, "Check8")})
            click(box);
        const Options& now = m_app->cycle()->options();
        QCOMPARE(std::tuple(now.moveable, now.web, now.graphic, now.errorsOnly),
                 std::tuple(true, false, false, false));
        QCOMPARE(m_app->panel()->width(), 5550 / 15); // labels, no Web
        // A cycle reads line 3 again: the unsaved tick is undone, and the open dialog shows the
        // value in use, with nothing left to ask about for that box.
        QSignalSpy passes(m_app->cycle(), &PollCycle::passFinished);
        m_app->cycle()->runPass();
        QTRY_COMPARE(passes.size(), 1);
        QVERIFY(!m_app->cycle()->options().moveable && !check(s, "Check4")->isChecked());
        click(button(s, "Command4"));
        QCOMPARE(questions.size(), 1); // the display boxes are still unsaved edits
        QTRY_VERIFY(m_app->settingsDialog() == nullptr);
        QCOMPARE(file(kOptionsFileName), kOptions);
    }

    void aRefusedOrFailedSaveKeepsTheDialogOpen() {
        Settings* s = openSettings();
        type(edit(s, "Text2"), QStringLiteral("0"));
        click(button(s, "Command1"));
        QVERIFY(messages.size() == 1 && messages.first().contains("Port"));
        type(edit(s, "Text2"), QStringLiteral("3128"));
        type(edit(s, "Text1"), QString(300, u'x'));
        {
            const FileSizeLimit full(16);
            click(button(s, "Command1"));
        }
        QVERIFY(messages.size() == 2 && messages.last().contains("Proxy.Txt could not be saved"));
        QCOMPARE(file(kOptionsFileName), kOptions);
        QVERIFY(m_app->settingsDialog() && s->isVisible());
        QCOMPARE(edit(s, "Text1")->text(), QString(300, u'x'));
        Accounts* a = openAccounts();
        list(a)->clear();
        {
            const FileSizeLimit full(1);
            click(button(a, "Command3"));
        }
        QVERIFY(messages.size() == 3 &&
                messages.last().contains("CompUserNames.Txt could not be saved"));
        QCOMPARE(file(kAccountsFileName), kAccounts);
        QVERIFY(a->isVisible());
        // Neither failed save left a half-written file behind.
        QCOMPARE(QDir(m_program->dir()).entryList({"*.Txt*"}, QDir::Files | QDir::Hidden),
                 (QStringList{kAccountsFileName, kOptionsFileName}));
    }

    void aFirstSaveWritesBothFilesAndIsCheckedAtOnce() {
        // A first start: no file yet.
        QFile::remove(m_program->dir().filePath(kOptionsFileName));
        QFile::remove(m_program->dir().filePath(kAccountsFileName));
        QSignalSpy passes(m_app->cycle(), &PollCycle::passStarted);
        Accounts* a = openAccounts();
        // The list has a head over each column, left to right.
        QStringList heads;
        int left = -1;
        for (const char* name : {"ListHead1", "ListHead2", "ListHead3"}) {
            const auto* head = control<QLabel>(a, name);
            QVERIFY(head->x() > left);
            left = head->x();
            heads << head->text();
        }
        QCOMPARE(heads, QStringList({"Company Name", "Monitoring Server", "User Name"}));
        type(a, "Acme", "127.0.0.1:1", "acme");
        click(button(a, "Command1"));
        click(button(a, "Command3"));
        QCOMPARE(file(kAccountsFileName), QByteArray("Acme\r\n127.0.0.1:1\r\nacme\r\n"));
        // The options the program used without a file: notices on.
        QCOMPARE(file(kOptionsFileName), QByteArray("YES\r\nYES\r\nNO\r\nYES\r\nYES\r\nNO\r\n"
                                                    "YES\r\nNO\r\n\r\n\r\n"));
        QCOMPARE(passes.size(), 1);
        // The other way round: a Settings save brings an empty accounts list.
        QFile::remove(m_program->dir().filePath(kAccountsFileName));
        click(button(openSettings(), "Command1"));
        QCOMPARE(file(kAccountsFileName), QByteArray("\r\n"));
        QTRY_COMPARE(passes.size(), 2);
    }

    void settingsAskBeforeDroppingWhatWasNotSaved() {
        Settings* s = openSettings();
        click(button(s, "Command4")); // nothing changed: no question
        QVERIFY(questions.isEmpty());
        QTRY_VERIFY(!m_app->settingsDialog());
        s = openSettings();
        type(edit(s, "Text1"), QStringLiteral("proxy2"));
        answer = false;
        click(button(s, "Command4"));
        QVERIFY(questions.size() == 1 && questions.last().contains("Discard") && s->isVisible());
        answer = true;
        click(button(s, "Command4"));
        QVERIFY(!s->isVisible());
        QCOMPARE(file(kOptionsFileName), kOptions);
    }

    void aPasswordGoesToTheStoreAndNeverToAFile() {
        auto passwords = std::make_shared<MemoryPasswordStore>();
        m_app->setPasswordStore(passwords);
        Accounts* a = openAccounts();
        type(a, "Vault", " https://127.0.0.9:8443 ", "vault");
        QTest::keyClicks(edit(a, "Text4"), QStringLiteral("Pa55-word"));
        click(button(a, "Command1"));
        QVERIFY(edit(a, "Text4")->text().isEmpty());
        // Kept only once the list is saved, under the names a fetch looks it up by.
        answer = false;
        click(button(a, "Command4"));
        QVERIFY(questions.last().contains("Discard"));
        answer = true;
        click(button(a, "Command3"));
        const auto stored = [&](const QString& server = "https://127.0.0.9:8443",
                                const QString& user = "vault") -> std::optional<QString> {
            std::optional<QString> found;
            bool done = false;
            passwords->find(server, user, this, [&](std::optional<QString> p) {
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
        // The entry's password shows when one click takes it into the boxes; cleared, it is
        // removed.
        list(a)->setCurrentRow(list(a)->count() - 1);
        clickEntry(a);
        QTRY_COMPARE(edit(a, "Text4")->text(), QStringLiteral("Pa55-word"));
        edit(a, "Text4")->selectAll();
        QTest::keyClick(edit(a, "Text4"), Qt::Key_Delete);
        click(button(a, "Command7"));
        click(button(a, "Command3"));
        QVERIFY(!stored());
        // A double-click on an entry asks before it drops a password being typed.
        QTest::keyClicks(edit(a, "Text4"), QStringLiteral("half-typed"));
        answer = false;
        list(a)->setCurrentRow(0);
        doubleClick(a);
        QVERIFY(questions.last().contains("Discard the password typed"));
        QCOMPARE(edit(a, "Text4")->text(), QStringLiteral("half-typed"));
        answer = true;
        doubleClick(a);
        QVERIFY(edit(a, "Text4")->text().isEmpty());
        // A password typed for an entry removed before the save is not kept.
        type(a, "Gone", "https://127.0.0.8:1", "gone");
        QTest::keyClicks(edit(a, "Text4"), QStringLiteral("n0t-kept"));
        click(button(a, "Command1"));
        list(a)->setCurrentRow(list(a)->count() - 1);
        click(button(a, "Command2"));
        click(button(a, "Command3"));
        QVERIFY(!stored("https://127.0.0.8:1", "gone"));
        // One for a plain server is kept only when the operator insists.
        for (const bool insist : {false, true}) {
            answer = insist;
            type(a, "Plain", "127.0.0.7:1", "plain");
            QTest::keyClicks(edit(a, "Text4"), QStringLiteral("s3cret"));
            click(button(a, "Command1"));
            QVERIFY(questions.last().contains("sent only over https://"));
            answer = true;
            click(button(a, "Command3"));
            QCOMPARE(stored("127.0.0.7:1", "plain").has_value(), insist);
        }
    }

    void aSettingsSaveKeepsTheBytesOfTheProxyLines() {
        // The proxy's name as an editor in Windows-1252 wrote it.
        const QByteArray old =
            "YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nYES\r\nNO\r\nYES\r\npr\xf6xy\r\n3128\r\n";
        writeBytes(m_program->dir(), kOptionsFileName, old);
        Settings* s = openSettings();
        QCOMPARE(edit(s, "Text1")->text(), QStringLiteral("pr\u00f6xy"));
        click(button(s, "Command1"));
        QCOMPARE(file(kOptionsFileName), old);
    }

    void aSaveAsksFirstAndKeepsTheBytesOfUneditedLines() {
        // A line in Windows-1252, as an editor there wrote it.
        const QByteArray old = "A\r\n127.0.0.1:1\r\na\xe9\r\nHalf\r\n127.0.0.2:1\r\n";
        writeBytes(m_program->dir(), kAccountsFileName, old);
        Accounts* a = openAccounts();
        QCOMPARE(a->entries(), (QStringList{"A\t127.0.0.1:1\ta\u00e9", "Half\t127.0.0.2:1\t"}));
        answer = false;
        click(button(a, "Command3"));
        QVERIFY(questions.size() == 1 && questions.first().contains("Half"));
        // Completed in the boxes; then a file changed meanwhile is replaced only when agreed.
        list(a)->setCurrentRow(1);
        doubleClick(a);
        type(edit(a, "Text3"), QStringLiteral("half"));
        click(button(a, "Command7"));
        writeBytes(m_program->dir(), kAccountsFileName, "Hand\r\nedit\r\n");
        click(button(a, "Command3"));
        QVERIFY(questions.size() == 2 && questions.last().contains("changed"));
        QCOMPARE(file(kAccountsFileName), QByteArray("Hand\r\nedit\r\n"));
        answer = true;
        click(button(a, "Command3"));
        QCOMPARE(file(kAccountsFileName), old + "half\r\n");
        click(button(a, "Command3")); // what it wrote itself is no change behind its back
        QCOMPARE(questions.size(), 3);
    }

    void aFileThatCannotBeReadIsNeverReplaced() {
        const QString path = m_program->dir().filePath(kAccountsFileName);
        QVERIFY(QFile::remove(path) && m_program->dir().mkdir(kAccountsFileName));
        Accounts* a = openAccounts();
        QVERIFY(messages.size() == 1 && messages.first().contains("could not be read"));
        QCOMPARE(list(a)->count(), 0);
        click(button(a, "Command3"));
        QVERIFY(messages.size() == 2 && messages.last().contains("not saved"));
        QVERIFY(QFileInfo(path).isDir());
    }

    void addValidateAndOneDialog() {
        Settings* s = openSettings();
        click(button(s, "Command3"));
        Accounts* a = m_app->accountsDialog();
        click(button(s, "Command3"));
        QCOMPARE(windowsOf<Accounts>(), QList<Accounts*>{a});
        // Refused with the reason, the boxes kept.
        type(a, "E\tx", "m", "e");
        click(button(a, "Command1"));
        QVERIFY(messages.size() == 1 && messages.first().contains("Company Name"));
        QCOMPARE(edit(a, "Text1")->text(), QStringLiteral("E\tx"));
        type(a, "D", "m 4", " d ");
        click(button(a, "Command1"));
        QCOMPARE(a->entries().last(), QStringLiteral("D\tm 4\t d "));
        QVERIFY(edit(a, "Text1")->text().isEmpty() && edit(a, "Text3")->text().isEmpty());
        // It stays when the settings dialog closes, and is not read again.
        click(button(s, "Command4"));
        QTRY_VERIFY(m_app->settingsDialog() == nullptr);
        QCOMPARE(openAccounts(), a);
        QCOMPARE(list(a)->count(), 4);
    }

    void replaceRemoveMovesAndClose() {
        Accounts* a = openAccounts();
        list(a)->setCurrentRow(0);
        for (QAbstractButton* b : {button(a, "Command5"), button(a, "Command6"),
                                   button(a, "Command6"), button(a, "Command6")})
            click(b); // up on the first, down to the end and once more: nothing at the edges
        QCOMPARE(a->entries(),
                 (QStringList{"B\t127.0.0.2:1\tb", "C\t127.0.0.3:1\tc", "A\t127.0.0.1:1\ta"}));
        list(a)->setCurrentRow(1);
        doubleClick(a);
        QCOMPARE(edit(a, "Text1")->text() + edit(a, "Text2")->text() + edit(a, "Text3")->text(),
                 QStringLiteral("C127.0.0.3:1c"));
        type(edit(a, "Text1"), QStringLiteral("X"));
        click(button(a, "Command7")); // replaced in its place, boxes emptied
        QCOMPARE(a->entries().at(1), QStringLiteral("X\t127.0.0.3:1\tc"));
        QCOMPARE(edit(a, "Text1")->text(), QString());
        list(a)->setCurrentRow(0);
        click(button(a, "Command2"));
        QCOMPARE(a->entries(), (QStringList{"X\t127.0.0.3:1\tc", "A\t127.0.0.1:1\ta"}));
        // Closed with unsaved edits, it asks first (No keeps it open); closed without saving,
        // the file is as it was; saved, the dialog stays.
        answer = false;
        click(button(a, "Command4"));
        QCOMPARE(questions, QStringList{"Discard the changes to the accounts list?"});
        QVERIFY(a->isVisible());
        answer = true;
        click(button(a, "Command4"));
        QTRY_VERIFY(m_app->accountsDialog() == nullptr);
        QCOMPARE(file(kAccountsFileName), kAccounts);
        a = openAccounts();
        list(a)->clear();
        click(button(a, "Command3"));
        QCOMPARE(file(kAccountsFileName), QByteArray("\r\n"));
        QVERIFY(a->isVisible());
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
