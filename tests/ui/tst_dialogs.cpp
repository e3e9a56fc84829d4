#include "ui/Accounts.h"
#include "ui/MessageBox.h"
#include "ui/Settings.h"
#include "ui/Status.h"

#include "ProgramDir.h"
#include "TestFiles.h"
#include "polling/PollCycle.h"

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

const std::tuple<const char*, const char*, const char*, const char*> kBrokenProxies[] = {
    {"line break in the address", "proxy1\n3128", "3128", "Address"},
    {"TAB in the address", "proxy\t1", "3128", "Address"},
    {"no address", "", "3128", "Address"},
    {"port zero", "proxy1", "0", "Port"},
    {"port too large", "proxy1", "65536", "Port"},
    {"port with a sign", "proxy1", "+3128", "Port"},
    {"port with letters", "proxy1", "31x", "Port"},
};

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
        QVERIFY(s->Check2->isChecked());
        QCOMPARE(s->Check7->checkState(), Qt::Unchecked);
        QCOMPARE(s->Check8->checkState(), Qt::PartiallyChecked); // grayed: StatusSummary is "NO"
        QCOMPARE(s->Text1->text(), QStringLiteral("proxy1"));
        QCOMPARE(s->Text2->text(), QStringLiteral("3128"));
        click(s->Check7);
        QCOMPARE(m_panel->flags().StatusSummary, kYes);
        QCOMPARE(s->Check8->checkState(), Qt::Checked);
        click(s->Check7);
        QCOMPARE(s->Check8->checkState(), Qt::PartiallyChecked);
        QCOMPARE(m_panel->flags().ShowErrorsOnly, kYes); // graying changes no flag
        // Saving with the grayed box writes "YES" on line 6, then closes.
        click(s->Command1);
        QCOMPARE(
            file(kOptionsFileName),
            QByteArray("YES\r\nNO\r\nNO\r\nYES\r\nNO\r\nYES\r\nNO\r\nYES\r\nproxy1\r\n3128\r\n"));
        QTRY_VERIFY(m_panel->settingsDialog() == nullptr);
        // The grayed box still takes clicks and sets the flag from its new state.
        s = openSettings();
        click(s->Check8);
        QCOMPARE(s->Check8->checkState(), Qt::Unchecked);
        QCOMPARE(m_panel->flags().ShowErrorsOnly, kNo);
    }

    void boxesThatActAtOnceAreNotSaved() {
        Settings* s = openSettings();
        click(s->Check4);
        QCOMPARE(m_panel->flags().MakeMoveable, kYes);
        click(s->Check5);
        QCOMPARE(m_panel->width(), 3270 / 15);
        click(s->Check6);
        QCOMPARE(m_panel->flags().GraphicDisplay, kNo);
        QVERIFY(m_panel->layout().labelVisible[1]);
        click(s->Command4);
        QTRY_VERIFY(m_panel->settingsDialog() == nullptr);
        QCOMPARE(file(kOptionsFileName), kOptions);
        // The next cycle reads MakeMoveable back from the file, not the display mode.
        writeBytes(m_program->dir(), kAccountsFileName, "\r\n");
        QSignalSpy done(m_panel->cycle(), &PollCycle::passFinished);
        m_panel->cycle()->runPass();
        QCOMPARE(done.size(), 1);
        QCOMPARE(m_panel->flags().MakeMoveable, kNo);
        QCOMPARE(m_panel->flags().GraphicDisplay, kNo);
    }

    void brokenProxyLinesAreRefused_data() { addRows(kBrokenProxies); }
    void brokenProxyLinesAreRefused() {
        const auto& [name, address, port, field] = currentRow(kBrokenProxies);
        Settings* s = openSettings();
        s->Text1->setText(address);
        s->Text2->setText(port);
        click(s->Command1);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().contains(field), qPrintable(messages.first()));
        QCOMPARE(file(kOptionsFileName), kOptions);
        QVERIFY(s->isVisible());
        // With the proxy off neither is written, so neither is refused: two empty lines.
        click(s->Check2);
        click(s->Command1);
        QCOMPARE(messages.size(), 1);
        QVERIFY(file(kOptionsFileName).endsWith("NO\r\n\r\n\r\n"));
        QTRY_VERIFY(m_panel->settingsDialog() == nullptr);
        QCOMPARE(openSettings()->Text1->text(), QString());
    }

    void aFailedSaveKeepsTheDialogOpen() {
        Settings* s = openSettings();
        s->Text1->setText(QString(300, u'x'));
        {
            const FileSizeLimit full(16);
            click(s->Command1);
        }
        QVERIFY(messages.size() == 1 && messages.first().contains("Proxy.Txt could not be saved"));
        QCOMPARE(file(kOptionsFileName), kOptions);
        QVERIFY(m_panel->settingsDialog() && s->isVisible());
        QCOMPARE(s->Text1->text(), QString(300, u'x'));
        Accounts* a = openAccounts();
        a->List1->clear();
        {
            const FileSizeLimit full(1);
            click(a->Command3);
        }
        QVERIFY(messages.size() == 2 &&
                messages.last().contains("CompUserNames.Txt could not be saved"));
        QCOMPARE(file(kAccountsFileName), kAccounts);
        QVERIFY(a->isVisible());
    }

    void incompleteAccountIsShownAndAskedAbout() {
        writeBytes(m_program->dir(), kAccountsFileName, "A\r\nm1\r\na\r\nHalf\r\nm2\r\n");
        Accounts* a = openAccounts();
        QCOMPARE(a->entries(), (QStringList{"A\tm1\ta", "Half\tm2\t"}));
        answer = false;
        click(a->Command3);
        QVERIFY(questions.size() == 1 && questions.first().contains("Half"));
        QCOMPARE(file(kAccountsFileName), QByteArray("A\r\nm1\r\na\r\nHalf\r\nm2\r\n"));
        // Completed in the boxes, it saves without a question.
        a->List1->setCurrentRow(1);
        doubleClick(a);
        a->Text3->setText(QStringLiteral("half"));
        click(a->Command7);
        click(a->Command3);
        QCOMPARE(questions.size(), 1);
        QCOMPARE(file(kAccountsFileName), QByteArray("A\r\nm1\r\na\r\nHalf\r\nm2\r\nhalf\r\n"));
    }

    void aFileThatCannotBeReadIsNeverReplaced() {
        const QString path = m_program->dir().filePath(kAccountsFileName);
        QVERIFY(QFile::remove(path) && m_program->dir().mkdir(kAccountsFileName));
        Accounts* a = openAccounts();
        QVERIFY(messages.size() == 1 && messages.first().contains("could not be read"));
        QCOMPARE(a->List1->count(), 0);
        type(a, "N", "m", "n");
        click(a->Command1);
        click(a->Command3);
        QCOMPARE(messages.size(), 2);
        QVERIFY(QFileInfo(path).isDir());
    }

    void aFileChangedMeanwhileIsReplacedOnlyWhenAgreed() {
        Accounts* a = openAccounts();
        writeBytes(m_program->dir(), kAccountsFileName, "Hand\r\nedit\r\nmade\r\n");
        answer = false;
        click(a->Command3);
        QCOMPARE(questions.size(), 1);
        QCOMPARE(file(kAccountsFileName), QByteArray("Hand\r\nedit\r\nmade\r\n"));
        answer = true;
        click(a->Command3);
        QCOMPARE(file(kAccountsFileName), kAccounts);
        click(a->Command3); // what it wrote itself is no change behind its back
        QCOMPARE(questions.size(), 2);
    }

    void anUneditedSaveKeepsEveryByte() {
        const QByteArray mixed =
            "M\xc3\xbcnchen\r\nm1\r\nmuc\r\nCaf\xe9 \x93Rose\x94\r\nm2\r\nc\r\n";
        writeBytes(m_program->dir(), kAccountsFileName, mixed);
        Accounts* a = openAccounts();
        QCOMPARE(a->entries().at(1), QStringLiteral("Café \u201CRose\u201D\tm2\tc"));
        click(a->Command3);
        QCOMPARE(file(kAccountsFileName), mixed);
        QVERIFY(questions.isEmpty());
    }

    void addValidateAndOneDialog() {
        Settings* s = openSettings();
        click(s->Command3);
        Accounts* a = m_panel->accountsDialog();
        click(s->Command3);
        QCOMPARE(m_panel->findChildren<Accounts*>(), QList<Accounts*>{a});
        a->List1->setCurrentRow(0);
        type(a, "D", "", "d");
        click(a->Command1);
        QCOMPARE(messages, QStringList{kCompleteAllDetails});
        QCOMPARE(a->Text1->text(), QStringLiteral("D"));
        type(a, "D", "m 4", " d ");
        click(a->Command1);
        QCOMPARE(a->entries().last(), QStringLiteral("D\tm 4\t d "));
        QVERIFY(a->Text1->text().isEmpty() && a->Text3->text().isEmpty());
        // A TAB or a line break in a field is refused.
        type(a, "E\tx", "m", "e");
        click(a->Command1);
        type(a, "E", "m\n", "e");
        click(a->Command1);
        QCOMPARE(messages.size(), 3);
        QVERIFY(messages.at(1).contains("Company Name"));
        QCOMPARE(a->List1->count(), 4);
        // It stays when the settings dialog closes, and is not read again.
        click(s->Command4);
        QTRY_VERIFY(m_panel->settingsDialog() == nullptr);
        QCOMPARE(openAccounts(), a);
        QCOMPARE(a->List1->count(), 4);
    }

    void replaceRemoveMovesAndClose() {
        Accounts* a = openAccounts();
        a->List1->setCurrentRow(-1);
        type(a, "X", "y", "z");
        for (QAbstractButton* b : {a->Command7, a->Command2, a->Command5})
            click(b); // nothing selected: nothing happens
        QCOMPARE(a->List1->count(), 3);
        QVERIFY(messages.isEmpty());
        a->List1->setCurrentRow(0);
        for (QAbstractButton* b : {a->Command5, a->Command6, a->Command6, a->Command6})
            click(b); // up on the first, down to the end and once more: nothing at the edges
        QCOMPARE(a->entries(), (QStringList{"B\tm2\tb", "C\tm3\tc", "A\tm1\ta"}));
        QCOMPARE(a->List1->currentRow(), 2);
        a->List1->setCurrentRow(1);
        doubleClick(a);
        QCOMPARE((QStringList{a->Text1->text(), a->Text2->text(), a->Text3->text()}),
                 (QStringList{"C", "m3", "c"}));
        click(a->Command7); // unchanged in its place, boxes emptied
        QCOMPARE(a->entries().at(1), QStringLiteral("C\tm3\tc"));
        QCOMPARE(a->Text1->text(), QString());
        a->List1->setCurrentRow(0);
        click(a->Command2);
        QCOMPARE(a->entries(), (QStringList{"C\tm3\tc", "A\tm1\ta"}));
        // An entry without two TABs is not split.
        a->List1->addItem(QStringLiteral("only\tone"));
        a->List1->setCurrentRow(2);
        doubleClick(a);
        QCOMPARE(a->Text1->text(), QString());
        // Closed without saving, the file is as it was; saved, the dialog stays.
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
