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
#include <QTest>

using namespace courivane;
using namespace courivane::testing;

namespace {

const QByteArray kOptions =
    "YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nNO\r\nYES\r\nproxy1\r\n3128\r\n";

QStringList messages;
QStringList questions;
bool answer = true;

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ProgramDir> m_program;
    std::unique_ptr<Status> m_panel;

    Settings* openSettings() {
        m_panel->openSettings();
        return m_panel->settingsDialog();
    }
    Accounts* openAccounts() {
        m_panel->openAccounts();
        return m_panel->accountsDialog();
    }
    // As a user would: a click on the button, a double-click on the selected entry.
    static void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    static void doubleClick(Accounts* a) {
        if (QListWidgetItem* item = a->List1->currentItem())
            emit a->List1->itemDoubleClicked(item);
    }
    void type(Accounts* a, const QString& company, const QString& server, const QString& user) {
        a->Text1->setText(company);
        a->Text2->setText(server);
        a->Text3->setText(user);
    }

private slots:
    void initTestCase() {
        setMessageHandler([](QWidget*, const QString& text) { messages << text; });
        setQuestionHandler([](QWidget*, const QString& text) {
            questions << text;
            return answer;
        });
    }
    void init() {
        messages.clear();
        questions.clear();
        answer = true;
        m_program = std::make_unique<ProgramDir>();
        writeBytes(m_program->dir(), kOptionsFileName, kOptions);
        writeBytes(m_program->dir(), kAccountsFileName,
                   "A\r\nm1\r\na\r\nB\r\nm2\r\nb\r\nC\r\nm3\r\nc\r\n");
        m_panel = std::make_unique<Status>(m_program->dir());
        OptionsFile(m_program->dir()).readStartup(m_panel->flags());
        m_panel->applyStartupLayout();
    }
    void cleanup() {
        m_panel.reset();
        m_program.reset();
    }

    void settingsFillsFromFileAndLiveFlags() {
        m_panel->flags().GraphicDisplay = kNo; // changed at once earlier, not saved
        Settings* s = openSettings();
        QVERIFY(s->Check1->isChecked());
        QVERIFY(!s->Check3->isChecked());
        QVERIFY(!s->Check6->isChecked());
        QCOMPARE(s->Check7->checkState(), Qt::Unchecked);
        QCOMPARE(s->Check8->checkState(), Qt::PartiallyChecked); // StatusSummary is "NO"
        QVERIFY(s->Check2->isChecked());
        QCOMPARE(s->Text1->text(), QStringLiteral("proxy1"));
        QCOMPARE(s->Text2->text(), QStringLiteral("3128"));
        QCOMPARE(m_panel->flags().GraphicDisplay, kNo);
        // Saving with the grayed box writes "YES" on line 6, then closes.
        click(s->Command1);
        QCOMPARE(
            readBytes(m_program->dir(), kOptionsFileName),
            QByteArray("YES\r\nNO\r\nNO\r\nYES\r\nNO\r\nYES\r\nNO\r\nYES\r\nproxy1\r\n3128\r\n"));
        QTRY_VERIFY(m_panel->settingsDialog() == nullptr);
    }

    void statusSummaryAndShowErrorsOnly() {
        m_panel->flags().ShowErrorsOnly = kYes;
        Settings* s = openSettings();
        QTest::mouseClick(s->Check7, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(m_panel->flags().StatusSummary, kYes);
        QCOMPARE(s->Check8->checkState(), Qt::Checked);
        QTest::mouseClick(s->Check7, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(s->Check8->checkState(), Qt::PartiallyChecked);
        QCOMPARE(m_panel->flags().ShowErrorsOnly, kYes); // graying changes no flag
        // The grayed box still takes clicks and sets the flag from its new state.
        QTest::mouseClick(s->Check8, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(s->Check8->checkState(), Qt::Unchecked);
        QCOMPARE(m_panel->flags().ShowErrorsOnly, kNo);
    }

    void boxesThatActAtOnce() {
        Settings* s = openSettings();
        QTest::mouseClick(s->Check4, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(m_panel->flags().MakeMoveable, kYes);
        QTest::mouseClick(s->Check5, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(m_panel->flags().SplitIcmpWeb, kNo);
        QCOMPARE(m_panel->width(), 3270 / 15);
        QTest::mouseClick(s->Check5, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(m_panel->width(), 3630 / 15);
        QTest::mouseClick(s->Check6, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(m_panel->flags().GraphicDisplay, kNo);
        QVERIFY(m_panel->layout().labelVisible[1]);
        click(s->Command4);
        QTRY_VERIFY(m_panel->settingsDialog() == nullptr);
        // Not saved: the file keeps the old values; the next cycle puts MakeMoveable back.
        QCOMPARE(readBytes(m_program->dir(), kOptionsFileName), kOptions);
        writeBytes(m_program->dir(), kAccountsFileName, "\r\n");
        QSignalSpy done(m_panel->cycle(), &PollCycle::passFinished);
        m_panel->cycle()->runPass();
        QCOMPARE(done.size(), 1);
        QCOMPARE(m_panel->flags().MakeMoveable, kNo);
        QCOMPARE(m_panel->flags().GraphicDisplay, kNo);
    }

    void proxyOffSavesTwoEmptyLines() {
        Settings* s = openSettings();
        QTest::mouseClick(s->Check2, Qt::LeftButton, {}, QPoint(5, 5));
        click(s->Command1);
        QVERIFY(readBytes(m_program->dir(), kOptionsFileName).endsWith("NO\r\n\r\n\r\n"));
        QTRY_VERIFY(m_panel->settingsDialog() == nullptr);
        Settings* again = openSettings();
        QCOMPARE(again->Text1->text(), QString());
        QCOMPARE(again->Text2->text(), QString());
    }

    void failedSaveKeepsTheDialogOpen() {
        Settings* s = openSettings();
        s->Text1->setText(QString(300, u'x'));
        {
            const FileSizeLimit full(16);
            click(s->Command1);
        }
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages.first().contains(QStringLiteral("Proxy.Txt could not be saved")));
        QCOMPARE(readBytes(m_program->dir(), kOptionsFileName), kOptions);
        QVERIFY(m_panel->settingsDialog() && m_panel->settingsDialog()->isVisible());
        QCOMPARE(s->Text1->text(), QString(300, u'x'));
    }

    void brokenProxyLinesAreRefused_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("field");
        QTest::newRow("line break in the address") << "proxy1\n3128"
                                                   << "3128"
                                                   << "Address";
        QTest::newRow("TAB in the address") << "proxy\t1"
                                            << "3128"
                                            << "Address";
        QTest::newRow("no address") << ""
                                    << "3128"
                                    << "Address";
        QTest::newRow("port zero") << "proxy1"
                                   << "0"
                                   << "Port";
        QTest::newRow("port too large") << "proxy1"
                                        << "65536"
                                        << "Port";
        QTest::newRow("port with a sign") << "proxy1"
                                          << "+3128"
                                          << "Port";
        QTest::newRow("port with letters") << "proxy1"
                                           << "31x"
                                           << "Port";
    }
    void brokenProxyLinesAreRefused() {
        QFETCH(QString, address);
        QFETCH(QString, port);
        QFETCH(QString, field);
        Settings* s = openSettings();
        s->Text1->setText(address);
        s->Text2->setText(port);
        click(s->Command1);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().contains(field), qPrintable(messages.first()));
        QCOMPARE(readBytes(m_program->dir(), kOptionsFileName), kOptions);
        QVERIFY(s->isVisible());
        // With the proxy off, neither is written, so neither is refused.
        QTest::mouseClick(s->Check2, Qt::LeftButton, {}, QPoint(5, 5));
        click(s->Command1);
        QCOMPARE(messages.size(), 1);
        QVERIFY(readBytes(m_program->dir(), kOptionsFileName).endsWith("NO\r\n\r\n\r\n"));
    }

    void incompleteAccountIsShownAndAskedAbout() {
        writeBytes(m_program->dir(), kAccountsFileName, "A\r\nm1\r\na\r\nHalf\r\nm2\r\n");
        Accounts* a = openAccounts();
        QCOMPARE(a->entries(), (QStringList{"A\tm1\ta", "Half\tm2\t"}));
        answer = false;
        click(a->Command3);
        QCOMPARE(questions.size(), 1);
        QVERIFY(questions.first().contains(QStringLiteral("Half")));
        QCOMPARE(readBytes(m_program->dir(), kAccountsFileName),
                 QByteArray("A\r\nm1\r\na\r\nHalf\r\nm2\r\n"));
        // Completed in the boxes, it saves without a question.
        a->List1->setCurrentRow(1);
        doubleClick(a);
        a->Text3->setText(QStringLiteral("half"));
        click(a->Command7);
        click(a->Command3);
        QCOMPARE(questions.size(), 1);
        QCOMPARE(readBytes(m_program->dir(), kAccountsFileName),
                 QByteArray("A\r\nm1\r\na\r\nHalf\r\nm2\r\nhalf\r\n"));
    }

    void aFileThatCannotBeReadIsNeverReplaced() {
        const QString path = m_program->dir().filePath(kAccountsFileName);
        QVERIFY(QFile::remove(path));
        QVERIFY(m_program->dir().mkdir(kAccountsFileName));
        Accounts* a = openAccounts();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().contains(QStringLiteral("could not be read")),
                 qPrintable(messages.first()));
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
        QCOMPARE(readBytes(m_program->dir(), kAccountsFileName),
                 QByteArray("Hand\r\nedit\r\nmade\r\n"));
        answer = true;
        click(a->Command3);
        QCOMPARE(readBytes(m_program->dir(), kAccountsFileName),
                 QByteArray("A\r\nm1\r\na\r\nB\r\nm2\r\nb\r\nC\r\nm3\r\nc\r\n"));
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
        QCOMPARE(readBytes(m_program->dir(), kAccountsFileName), mixed);
        QVERIFY(questions.isEmpty());
    }

    void oneAccountsDialog() {
        Settings* s = openSettings();
        click(s->Command3);
        Accounts* first = m_panel->accountsDialog();
        QVERIFY(first);
        first->List1->addItem(QStringLiteral("D\tm\td"));
        click(s->Command3);
        QCOMPARE(m_panel->accountsDialog(), first);
        QCOMPARE(first->List1->count(), 4); // not read again
        // It stays when the settings dialog closes.
        click(s->Command4);
        QTRY_VERIFY(m_panel->settingsDialog() == nullptr);
        QCOMPARE(m_panel->accountsDialog(), first);
    }

    void addAndValidation() {
        Accounts* a = openAccounts();
        QCOMPARE(a->entries(), (QStringList{"A\tm1\ta", "B\tm2\tb", "C\tm3\tc"}));
        a->List1->setCurrentRow(0);
        type(a, "D", "", "d");
        click(a->Command1);
        QCOMPARE(messages, QStringList{kCompleteAllDetails});
        QCOMPARE(a->List1->count(), 3);
        QCOMPARE(a->Text1->text(), QStringLiteral("D"));
        type(a, "D", "m 4", " d ");
        click(a->Command1);
        QCOMPARE(a->entries().last(), QStringLiteral("D\tm 4\t d "));
        QCOMPARE(a->Text1->text(), QString());
        QCOMPARE(a->Text3->text(), QString());
        // A TAB or a line break in a field is refused.
        messages.clear();
        type(a, "E\tx", "m", "e");
        click(a->Command1);
        type(a, "E", "m\n", "e");
        click(a->Command1);
        QCOMPARE(messages.size(), 2);
        QVERIFY(messages.first().contains(QStringLiteral("Company Name")));
        QCOMPARE(a->List1->count(), 4);
    }

    void replaceRemoveAndMoves() {
        Accounts* a = openAccounts();
        a->List1->clearSelection();
        a->List1->setCurrentRow(-1);
        type(a, "X", "y", "z");
        click(a->Command7);
        click(a->Command2);
        click(a->Command5);
        QCOMPARE(a->List1->count(), 3);
        QVERIFY(messages.isEmpty());

        a->List1->setCurrentRow(0);
        click(a->Command5); // up on the first: nothing
        QCOMPARE(a->entries().first(), QStringLiteral("A\tm1\ta"));
        click(a->Command6);
        click(a->Command6); // walks to the end
        QCOMPARE(a->entries(), (QStringList{"B\tm2\tb", "C\tm3\tc", "A\tm1\ta"}));
        QCOMPARE(a->List1->currentRow(), 2);
        click(a->Command6); // down on the last: nothing
        QCOMPARE(a->entries().last(), QStringLiteral("A\tm1\ta"));

        a->List1->setCurrentRow(1);
        doubleClick(a);
        QCOMPARE(a->Text1->text(), QStringLiteral("C"));
        QCOMPARE(a->Text2->text(), QStringLiteral("m3"));
        QCOMPARE(a->Text3->text(), QStringLiteral("c"));
        click(a->Command7); // unchanged in its place, boxes emptied
        QCOMPARE(a->entries(), (QStringList{"B\tm2\tb", "C\tm3\tc", "A\tm1\ta"}));
        QCOMPARE(a->Text1->text(), QString());
        a->List1->setCurrentRow(0);
        click(a->Command2);
        QCOMPARE(a->entries(), (QStringList{"C\tm3\tc", "A\tm1\ta"}));

        // An entry without two TABs is not split.
        a->List1->addItem(QStringLiteral("only\tone"));
        a->List1->setCurrentRow(2);
        doubleClick(a);
        QCOMPARE(a->Text1->text(), QString());
    }

    void saveAndClose() {
        Accounts* a = openAccounts();
        a->List1->setCurrentRow(0);
        click(a->Command2);
        click(a->Command4); // not saved: the file is as it was
        QTRY_VERIFY(m_panel->accountsDialog() == nullptr);
        QCOMPARE(openAccounts()->List1->count(), 3);
        a = m_panel->accountsDialog();
        a->List1->clear();
        click(a->Command3);
        QCOMPARE(readBytes(m_program->dir(), kAccountsFileName), QByteArray("\r\n"));
        QVERIFY(a->isVisible()); // saving keeps the dialog open
        type(a, "Z", "mz", "z");
        click(a->Command1);
        {
            const FileSizeLimit full(1);
            click(a->Command3);
        }
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages.first().contains(QStringLiteral("CompUserNames.Txt could not be saved")));
        QCOMPARE(readBytes(m_program->dir(), kAccountsFileName), QByteArray("\r\n"));
        QCOMPARE(a->List1->count(), 1);
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
