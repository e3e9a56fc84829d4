#include "config/AccountsFile.h"

#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

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
        QCOMPARE(AccountsFile::fileLines(entries), (QStringList{"A", "m", "u", "B", "n", "v"}));
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

    void incompleteTailIsReportedAndKeptApart_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("where");
        QTest::addColumn<AccountRecord>("incomplete");
        QTest::newRow("one line over")
            << QByteArray("A\r\nm\r\nu\r\nB\r\n") << 1 << "line 4" << AccountRecord{"B", "", ""};
        QTest::newRow("two lines over") << QByteArray("A\r\nm\r\nu\r\nB\r\nn\r\n") << 1 << "line 4"
                                        << AccountRecord{"B", "n", ""};
        QTest::newRow("only two lines")
            << QByteArray("A\r\nm\r\n") << 0 << "line 1" << AccountRecord{"A", "m", ""};
    }
    void incompleteTailIsReportedAndKeptApart() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, records);
        QFETCH(QString, where);
        writeBytes(dir(), kAccountsFileName, bytes);
        const AccountsRead back = AccountsFile(dir()).read();
        QCOMPARE(back.records.size(), records);
        QCOMPARE(back.problems.size(), 1);
        QVERIFY2(back.problems.first().contains(where), qPrintable(back.problems.first()));
        // The advice must not be a step that deletes the account.
        QVERIFY(!back.problems.first().contains(QStringLiteral("repair")));
        QVERIFY(back.incomplete.has_value());
        QTEST(*back.incomplete, "incomplete");
    }

    void mixedEncodingsSurviveAnUneditedSave() {
        // A UTF-8 line, a Windows-1252 line with bytes from 0x80 to 0x9F, and plain ASCII.
        const QByteArray old = "M\xc3\xbcnchen Hof\r\nmon1\r\nmuc\r\n"
                               "Caf\xe9 \x93Rose\x94 \x80\r\nmon2\r\ncafe\r\n";
        writeBytes(dir(), kAccountsFileName, old);
        const AccountsRead back = AccountsFile(dir()).read();
        QCOMPARE(back.records.at(0).CompanyName, QStringLiteral("München Hof"));
        QCOMPARE(back.records.at(1).CompanyName, QStringLiteral("Café \u201CRose\u201D \u20AC"));
        const LineBytes original(back.raw);
        QVERIFY(original.windows1252());
        QCOMPARE(AccountsFile(dir()).write(back.records, original), QString());
        QCOMPARE(readBytes(dir(), kAccountsFileName), old);

        // Edited lines go in the file's encoding, or UTF-8 where it has no byte for a character.
        QList<AccountRecord> edited = back.records;
        edited[0].UserName = QStringLiteral("mü");
        edited[1].UserName = QStringLiteral("caf\u0107");
        QCOMPARE(AccountsFile(dir()).write(edited, original), QString());
        QCOMPARE(readBytes(dir(), kAccountsFileName),
                 QByteArray("M\xc3\xbcnchen Hof\r\nmon1\r\nm\xfc\r\n"
                            "Caf\xe9 \x93Rose\x94 \x80\r\nmon2\r\ncaf\xc4\x87\r\n"));
        // Both ends of Windows-1252's upper half have their byte; what it lacks has none.
        QCOMPARE(toWindows1252(QStringLiteral("\u00a0\u00ff\u20ac")), QByteArray("\xa0\xff\x80"));
        QVERIFY(!toWindows1252(QStringLiteral("\u0107")));
        // A UTF-8 file stays UTF-8.
        QCOMPARE(AccountsFile(dir()).write(edited), QString());
        QVERIFY(readBytes(dir(), kAccountsFileName).contains("\r\nm\xc3\xbc\r\n"));
    }

    void filesThatAreNotFilesAreNotRead_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("FIFO") << "fifo"
                              << "not a regular file";
        QTest::newRow("link to /dev/zero") << "zero"
                                           << "not a regular file";
        QTest::newRow("directory") << "dir"
                                   << "not a regular file";
        QTest::newRow("larger than 64 MiB") << "large"
                                            << "larger than";
    }
    void filesThatAreNotFilesAreNotRead() {
        QFETCH(QString, kind);
        const QString path = dir().filePath(kAccountsFileName);
        const QByteArray native = QFile::encodeName(path);
        if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(native.constData(), 0600), 0);
        } else if (kind == QLatin1String("zero")) {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        } else if (kind == QLatin1String("dir")) {
            QVERIFY(dir().mkdir(kAccountsFileName));
        } else {
            writeBytes(dir(), kAccountsFileName, "A");
            QCOMPARE(::truncate(native.constData(), kMaxAccountsBytes + 1), 0);
        }
        const AccountsRead back = AccountsFile(dir()).read();
        QVERIFY(!back.usable);
        QVERIFY(back.exists);
        QCOMPARE(back.problems.size(), 1);
        QVERIFY2(back.problems.first().startsWith(dir().filePath(kAccountsFileName)),
                 qPrintable(back.problems.first()));
        QFETCH(QString, reason);
        QVERIFY2(back.problems.first().contains(reason), qPrintable(back.problems.first()));
    }

    void missingFileIsNoAccountsWithAProblem() {
        const AccountsRead back = AccountsFile(dir()).read();
        QVERIFY(!back.usable);
        QVERIFY(back.records.isEmpty());
        QCOMPARE(back.problems.size(), 1);
        QVERIFY(back.problems.first().startsWith(
            dir().filePath(QStringLiteral("CompUserNames.Txt not found"))));
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
