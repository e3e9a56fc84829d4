#include "config/AccountsFile.h"

#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace courivane;
using namespace courivane::testing;

class TestAccountsFile : public QObject {
    Q_OBJECT
private:
    QDir dir() const { return QDir(m_tmp->path()); }
    std::unique_ptr<QTemporaryDir> m_tmp;

private slots:
    void init() { m_tmp = std::make_unique<QTemporaryDir>(); }

    void writesThreeLinesPerRecord() {
        const QList<AccountRecord> records = {
            {QStringLiteral("Acme"), QStringLiteral("mon1"), QStringLiteral("acme")},
            {QStringLiteral(" Acme "), QStringLiteral("mon1:8080"), QStringLiteral("acme")},
        };
        QCOMPARE(AccountsFile(dir()).write(records), QString());
        QCOMPARE(readBytes(dir(), kAccountsFileName),
                 QByteArray("Acme\r\nmon1\r\nacme\r\n Acme \r\nmon1:8080\r\nacme\r\n"));
        const AccountsRead back = AccountsFile(dir()).read();
        QCOMPARE(back.records, records);
        QCOMPARE(back.problems, QStringList());
    }

    void entriesBecomeLines() {
        const QStringList entries = {QStringLiteral("A\tm\tu"), QStringLiteral("B\tn\tv")};
        QCOMPARE(AccountsFile::fileText(entries), QStringLiteral("A\r\nm\r\nu\r\nB\r\nn\r\nv\r\n"));
        QCOMPARE(AccountsFile(dir()).writeEntries(entries), QString());
        const AccountsRead back = AccountsFile(dir()).read();
        QStringList again;
        for (const AccountRecord& r : back.records)
            again << toListEntry(r);
        QCOMPARE(again, entries);
    }

    void emptyListIsOneLineEndAndReadsBackEmpty() {
        QCOMPARE(AccountsFile(dir()).writeEntries({}), QString());
        QCOMPARE(readBytes(dir(), kAccountsFileName), QByteArray("\r\n"));
        const AccountsRead back = AccountsFile(dir()).read();
        QVERIFY(back.records.isEmpty());
        QVERIFY(back.problems.isEmpty());
        QVERIFY(back.usable);
    }

    void readsLfAndKeepsDuplicates() {
        writeBytes(dir(), kAccountsFileName, "Acme\nmon1\nacme\nAcme\nmon1\nacme");
        const AccountsRead back = AccountsFile(dir()).read();
        QCOMPARE(back.records.size(), 2);
        QCOMPARE(back.records.at(0), back.records.at(1));
        QCOMPARE(back.records.at(1).UserName, QStringLiteral("acme"));
    }

    void incompleteTailIsReportedAndLeftOut_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("where");
        QTest::newRow("one line over") << QByteArray("A\r\nm\r\nu\r\nB\r\n") << 1 << "line 4";
        QTest::newRow("two lines over") << QByteArray("A\r\nm\r\nu\r\nB\r\nn\r\n") << 1 << "line 4";
        QTest::newRow("only two lines") << QByteArray("A\r\nm\r\n") << 0 << "line 1";
    }
    void incompleteTailIsReportedAndLeftOut() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, records);
        QFETCH(QString, where);
        writeBytes(dir(), kAccountsFileName, bytes);
        const AccountsRead back = AccountsFile(dir()).read();
        QCOMPARE(back.records.size(), records);
        QCOMPARE(back.problems.size(), 1);
        QVERIFY2(back.problems.first().contains(where), qPrintable(back.problems.first()));
    }

    void missingFileIsNoAccountsWithAProblem() {
        const AccountsRead back = AccountsFile(dir()).read();
        QVERIFY(!back.usable);
        QVERIFY(back.records.isEmpty());
        QCOMPARE(back.problems.size(), 1);
        QVERIFY(back.problems.first().startsWith(QStringLiteral("CompUserNames.Txt not found")));
    }

    void listEntryForm() {
        const AccountRecord r{QStringLiteral("A B"), QStringLiteral(" mon1"), QStringLiteral("u ")};
        QCOMPARE(toListEntry(r), QStringLiteral("A B\t mon1\tu "));
        QCOMPARE(fromListEntry(toListEntry(r)), r);
        QVERIFY(!fromListEntry(QStringLiteral("A\tB")));
        QVERIFY(!fromListEntry(QStringLiteral("A\tB\tC\tD")));
    }

    void writerRefusesTabsAndLineBreaks_data() {
        QTest::addColumn<AccountRecord>("record");
        QTest::addColumn<QString>("field");
        QTest::newRow("tab in company") << AccountRecord{"A\tx", "m", "u"} << "Company Name";
        QTest::newRow("CR in server") << AccountRecord{"A", "m\r", "u"} << "Monitoring Server";
        QTest::newRow("LF in user") << AccountRecord{"A", "m", "u\nv"} << "User Name";
    }
    void writerRefusesTabsAndLineBreaks() {
        QFETCH(AccountRecord, record);
        QFETCH(QString, field);
        writeBytes(dir(), kAccountsFileName, "Old\r\nmon\r\nold\r\n");
        const QString error = AccountsFile(dir()).write({{"Ok", "m", "u"}, record});
        QVERIFY2(error.contains(field) && error.contains(QStringLiteral("Account 2")),
                 qPrintable(error));
        QCOMPARE(readBytes(dir(), kAccountsFileName), QByteArray("Old\r\nmon\r\nold\r\n"));
    }

    void failedSaveKeepsTheOldFile() {
        const QByteArray old = "Old\r\nmon\r\nold\r\n";
        writeBytes(dir(), kAccountsFileName, old);
        QList<AccountRecord> many;
        for (int i = 0; i < 50; ++i)
            many.append(
                {QStringLiteral("Company %1").arg(i), QStringLiteral("mon"), QStringLiteral("u")});
        QString error;
        {
            const FileSizeLimit full(100);
            error = AccountsFile(dir()).write(many);
        }
        QVERIFY(!error.isEmpty());
        QCOMPARE(readBytes(dir(), kAccountsFileName), old);
    }
};

QTEST_GUILESS_MAIN(TestAccountsFile)
#include "tst_accountsfile.moc"
